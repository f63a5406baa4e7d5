#pragma once

#include "cli/batch_jobs.h"
#include "engine/conversion_settings.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// How a batch is handed to GNU parallel. Everything a job needs is decided here, on this machine:
// the other machine only runs trevalon-batch on one copied-in source with explicit settings flags,
// so its own settings files play no part.

// The trevalon-batch flags that reproduce the settings' format, bitrate, rate, channels and cutter.
QStringList RemoteSettingsFlags(const ConversionSettings& settings);

// The text as one word for a POSIX shell.
QString ShellQuoted(const QString& text);

// The machines named in a sshlogin file: lines that are neither empty nor comments.
int CountSshLogins(const QString& fileText);

// Jobs with the same output must run one after the other in list order, so each job gets a round:
// the number of earlier jobs with its output. A round starts when the one before it has ended.
QVector<int> SameOutputRounds(const QVector<BatchJob>& jobs);

// A source as parallel copies it: "/./" marks the whole absolute path as relative to the remote
// working folder, so sources of the same name from different folders never meet there.
QString TransferPath(const QString& absoluteSource);
QString RemoteSourcePath(const QString& absoluteSource);

struct RemoteRunSetup
{
    QString sshLoginFile;  // absolute
    QString remoteProgram; // trevalon-batch on the other machines
    QStringList settingsFlags;
    QString remoteFolder;   // the run's working folder on every machine, below the login folder
    QString stagingFolder;  // local folder the converted files come back to, one <job>.out each
    QString listFolder;     // local folder of the argument lists (transfer, source and job lists)
    int retries = 2;        // attempts per job, each on a machine where it has not failed yet
    int jobsPerMachine = 0; // jobs on every machine; 0: the N/ of its line, else one per core
};

// The shell command parallel runs on the other machine for one job. {1}, {2}, {3} are the transfer
// path, the source below the working folder and the job number. It reports a line when it starts
// and one when the conversion is over; it fails (so parallel retries elsewhere) only when the
// machine cannot convert at all: no trevalon-batch, a source that did not arrive, a broken
// connection.
QString RemoteJobCommand(const QString& remoteProgram, const QStringList& settingsFlags);

// The pass that asks every machine of the sshlogin file, all at once, whether it can be logged in
// to and runs trevalon-batch; each machine that answers prints one "trevalon-machine" line.
QStringList MachineCheckArguments(const RemoteRunSetup& setup);

// The lines of the sshlogin file whose machine answered that it can convert, and a sentence for
// each other machine saying why it is left out.
struct MachineSelection
{
    QStringList usable;
    QStringList skipped;
};
MachineSelection SelectMachines(const QString& loginFileText, const QString& checkOutput);

// The arguments of the parallel run that converts one round.
QStringList ParallelArguments(const RemoteRunSetup& setup);
// The arguments of the pass that removes the run's working folder on every machine, whatever the
// jobs left there (a stopped job leaves its copied source).
QStringList RemoteCleanupArguments(const RemoteRunSetup& setup);

// The three argument lists for parallel, NUL-separated, in job order.
struct RemoteJobLists
{
    QByteArray transfer;
    QByteArray source;
    QByteArray job;
};
RemoteJobLists BuildRemoteJobLists(const QVector<BatchJob>& jobs, const QVector<int>& selection);

// A line a remote job printed, as RemoteJobCommand writes it.
struct RemoteEvent
{
    enum class Kind
    {
        Started,
        Ended
    };
    Kind kind = Kind::Started;
    int job = -1;
    QString host;   // Started: the machine
    int status = 0; // Ended: 0 converted, 1 failed, 4 no converted file
    QString reason; // Ended with a failure: trevalon-batch's reason for the source
};
std::optional<RemoteEvent> ParseRemoteLine(const QString& line, const QVector<BatchJob>& jobs);

// A reason as a local run gives it: the path of the copy on the other machine (the converter names
// its input) becomes the source's own path.
QString LocalReason(const QString& reason, const QString& remoteFolder, int job,
                    const QString& source);

// The parallel command and the job list a dry run prints.
QStringList DescribeRemoteRun(const RemoteRunSetup& setup, const QVector<BatchJob>& jobs);
