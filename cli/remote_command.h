#pragma once

#include "cli/batch_jobs.h"
#include "engine/conversion_settings.h"

#include <QString>
#include <QStringList>
#include <QVector>

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

// The name of a job's own files in its working folder there ("<tag>.w" holds the settings, the
// output folder and the log; "<tag>.out" is the converted file that comes back): the job number,
// made longer where the source's copy would otherwise lie in them.
QString RemoteJobTag(int job, const QString& absoluteSource);

// A source whose name is not text (an old Latin-1 archive's "Br\xfcder.flac") cannot travel by its
// name: parallel's arguments, the shell there and trevalon-batch there would each meet the bytes.
// It travels as "source" with its own extension when that is plain, through a link of that name
// here, in a folder of its own per job: the copy's path below the job's folder there.
bool TravelsUnderSafeName(const BatchJob& job);
QString RemoteCopyPath(const BatchJob& job);
// The link here that stands for a source travelling under a safe name, below the run's list folder.
QString SourceLinkPath(const QString& listFolder, int job, const BatchJob& batchJob);
// The name trevalon-batch there gives the converted file: the copy's base name and the output's
// extension. The output's own name (numbered, from tags, from the source's bytes) is given here.
QString RemoteOutputName(const BatchJob& job);

struct RemoteRunSetup
{
    QString sshLoginFile;  // absolute
    QString remoteProgram; // trevalon-batch on the other machines
    QStringList settingsFlags;
    QString remoteFolder;  // the run's working folder on every machine, below the login folder
    QString stagingFolder; // local folder the converted files come back to, one <tag>.out each
    QString listFolder;    // local folder of the argument lists, one a job argument
    int retries = 2;       // attempts per job, each on a machine where it has not failed yet
    QString sshOptions;    // added to every ssh call (one shared connection a machine); "" for none
};

// The shell command parallel runs on the other machine for one job. {1} to {5} are the transfer
// path, the source below the working folder, the job number, the job's tag and the converted
// file's name there. It reports a framed line when it starts and one when the conversion is over (see
// ParseRemoteLine); it fails (so parallel retries elsewhere) only when the machine cannot convert
// at all: no trevalon-batch, a source that did not arrive, a broken connection. The converted file
// is taken by its exact name, whatever other files the output folder holds. The job removes its
// copied source once converted and, through a note per job slot ({%}) in the run's folder there,
// the folder the slot's previous job left; the converted file waits there to be copied back.
QString RemoteJobCommand(const QString& remoteProgram, const QStringList& settingsFlags);

// parallel's --ssh with the run's ssh options, for the logins without an ssh command of their own.
QStringList SshArguments(const RemoteRunSetup& setup);
// The arguments of the parallel run that converts one round.
QStringList ParallelArguments(const RemoteRunSetup& setup);
// The script of the pass that removes the run's working folder on every machine, whatever the
// jobs left there (the last job of each slot, a stopped job's copied source); it fails when the
// folder is still there.
QString RemoteCleanupScript(const RemoteRunSetup& setup);

// The argument lists for parallel, NUL-separated, in job order.
struct RemoteJobLists
{
    QByteArray transfer;
    QByteArray source;
    QByteArray job;
    QByteArray tag;
    QByteArray outputName;
};
RemoteJobLists BuildRemoteJobLists(const QVector<BatchJob>& jobs, const QVector<int>& selection,
                                   const QString& listFolder);

// The parallel command and the job list a dry run prints.
QStringList DescribeRemoteRun(const RemoteRunSetup& setup, const QVector<BatchJob>& jobs);
