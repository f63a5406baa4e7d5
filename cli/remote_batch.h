#pragma once

#include "cli/console_report.h"
#include "cli/remote_command.h"

#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

class MachinePass;

// Converts a batch on the machines of a sshlogin file through GNU parallel. The job list, the
// output paths and the same-output rule are this machine's; parallel copies each source out, runs
// trevalon-batch there, brings the converted file back and retries a job on another machine when
// its machine fails. A converted file comes back to a staging folder and is moved to its output
// path only once it is whole, so a stopped run leaves no partial output here; a last pass removes
// the run's working folder on every machine.
class RemoteBatch : public QObject
{
    Q_OBJECT

public:
    struct Setup
    {
        QString parallelProgram = QStringLiteral("parallel");
        QString sshLoginFile;
        QString remoteProgram = QStringLiteral("trevalon-batch");
        QStringList settingsFlags;
        int jobsPerMachine = 0; // --jobs; 0: the N/ of each line, else one per core
    };

    RemoteBatch(QVector<BatchJob> jobs, Setup setup, ConsoleReport& report,
                QObject* parent = nullptr);
    ~RemoteBatch() override;

    void start();
    // Stops parallel, which stops the remote jobs; the run then cleans up and finishes.
    void stop();

    // The parallel command and the job list, as a dry run prints them.
    QStringList describe() const { return DescribeRemoteRun(m_run, m_jobs); }

signals:
    // A line parallel, ssh or a failing machine wrote to standard error.
    void machineMessage(const QString& line);
    // A job is over: converted (its file in place), failed, stopped, skipped or refused.
    void jobEnded(int job, const JobOutcome& outcome);
    void finished();

private:
    enum class State
    {
        Waiting,
        Running,
        Converted,
        Ended
    };

    // Puts the shared connections' options into the run's own copy of the sshlogin file; a run
    // that cannot have them logs in per call and says so.
    void shareConnections();
    void closeConnections();
    void startCheck();
    void checkOver();
    void versionKnown();
    void startRound();
    // Puts the link in place that a source named in bytes that are not text travels as; false,
    // with the job ended as failed, when it cannot be made.
    bool linkSource(int job);
    void roundOver();
    void readEvents();
    void readMessages();
    void collectReturned();
    void startCleanup();
    void end(int job, const JobOutcome& outcome);
    void failRemaining(const QString& reason);
    void finish();

    QVector<BatchJob> m_jobs;
    Setup m_setup;
    ConsoleReport& m_report;
    QVector<int> m_rounds;
    int m_round = -1;
    QVector<State> m_states;
    QVector<QString> m_hosts;
    QVector<QString> m_loudness; // the converter's loudness line of each job, as it came back
    bool m_stopping = false;
    bool m_sent = false; // parallel has been started: the machines need the clean-up pass
    QString m_folderProblem; // why the run's folders here cannot be made; "" when they can
    QString m_temporaryFolder;
    std::unique_ptr<QTemporaryDir> m_staging;
    std::unique_ptr<QTemporaryDir> m_lists;
    RemoteRunSetup m_run;
    MachinePass* m_check = nullptr;
    QProcess* m_version = nullptr; // parallel --version, until its answer is in
    bool m_machinesChosen = false;
    QString m_loginText; // the sshlogin file the check and the clean-up go through
    std::unique_ptr<QProcess> m_parallel;
    QByteArray m_outTail;
    QByteArray m_errTail;
    QTimer m_collect;
    QString m_socketFolder; // the control sockets of the shared connections; "" when not shared
    QStringList m_logins;   // the sshlogin file's lines, with the shared connections' options
};
