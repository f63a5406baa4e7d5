#pragma once

#include "cli/batch_jobs.h"

#include <QString>
#include <QStringList>

#include <optional>

// The lines the other machines send back. Each is of a fixed form whose free text (a machine's
// name, trevalon-batch's last line) travels as hexadecimal bytes, so no file name can end a line,
// add one or cut one short; anything else is not a report and is shown as such.

// A shell word that prints the bytes of the shell expression's output as hexadecimal, on one line
// without a line end: printf '%s' and od, never echo, which reads backslashes in a name.
QString ShellHexOf(const QString& shellCommand);

// A line a remote job printed, as RemoteJobCommand writes it:
//   trevalon-remote <job> started <hex machine>
//   trevalon-remote <job> loudness <hex loudness report of the converter there>
//   trevalon-remote <job> ended <status> <hex last line of trevalon-batch there>
struct RemoteEvent
{
    enum class Kind
    {
        Started,
        Loudness,
        Ended
    };
    Kind kind = Kind::Started;
    int job = -1;
    QString host;   // Started: the machine
    int status = 0; // Ended: 0 converted, 1 failed, 4 no converted file
    QString reason; // Ended with a failure: trevalon-batch's reason for the source
    QString loudness; // Loudness: the converter's line after "conv: " ("loudness ...")
};
// Empty for a line of any other form or a job number outside the batch.
std::optional<RemoteEvent> ParseRemoteLine(const QString& line, const QVector<BatchJob>& jobs);

// A reason as a local run gives it: the path of the copy on the other machine (the converter names
// its input) becomes the source's own path, as shown.
QString LocalReason(const QString& reason, const QString& remoteFolder, int job,
                    const BatchJob& source);

// The start check's answers, one line a machine:
//   trevalon-machine ok|missing|failed <hex sshlogin> <hex reason>
// give the lines of the sshlogin file whose machine converted the test tone, and a sentence for
// each other machine saying why it is left out. jobsPerMachine (--jobs) is written in front of
// each usable line that gives no count of its own; a line's own count wins.
struct MachineSelection
{
    QStringList usable;
    QStringList skipped;
};
MachineSelection SelectMachines(const QString& loginFileText, const QString& checkOutput,
                                int jobsPerMachine = 0);
