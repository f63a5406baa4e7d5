#pragma once

#include "converter/worker_frames.h"
#include "engine/dos_outputs.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringDecoder>
#include <QTimer>

class MessageSink;

// Runs converter jobs one after another in one long-lived "conv --worker" process, so the
// converter's libraries load once for many files. It is driven like DOSOutputs, and reports each
// job the same way: its console text as ReceiveOutputs blocks of at most 1024 characters, then
// exactly one CommandOver with the job's result, or StartFailed when the program could not run.
//
// Jobs go to the worker as frames on its standard input; its standard output carries frames back
// (the job's console text, then its exit status), so no file name can be mistaken for a report.
// A worker that ends in the middle of a job (a crash, a kill) fails that job alone: its partial
// output is removed and the next job starts a fresh worker. A stop ends the job and the worker.
//
// While a job runs the worker keeps talking: its progress, or a keep-alive frame from the steps
// that print nothing but still move (converter/keep_alive.h). A worker silent for the silence
// limit has hung (a source on a dead share, a library that deadlocked): it is asked to stop,
// killed when it does not, and its job fails like a crashed one, with its partial output removed.
// The limit is a minute; TREVALON_WORKER_SILENCE_MS in the environment sets another, in
// milliseconds, so that tests need not wait that long.
//
// Whether a converter runs jobs as a worker at all is asked once, before its first job
// (takesJobs): an older or stand-in converter does not, and its jobs run one process each.
class ConvWorker : public QObject
{
    Q_OBJECT

public:
    // Whether program, started as "program --worker", answers a job with frames. Asked once per
    // program file (its path, size and time of change) in the program's life, waiting for the
    // answer: a moment. The worker that answered stays, idle, as this one's for its next job, so
    // asking costs no extra converter start.
    bool takesJobs(const QString& program);

    explicit ConvWorker(MessageSink& messages, QObject* parent = nullptr);
    // A job still running is killed and its partial output removed; an idle worker is ended.
    ~ConvWorker() override;

    void setCommandLine(const QString& commandText, const ConverterInvocation& invocation);
    // Hands the stored job to the worker, starting one when none is alive (or it runs another
    // program). Start failures are shown through messages, as DOSOutputs shows them.
    DOSOutputs::StartResult ExecuteCommand();

    bool isRunning() const { return m_running; }
    const JobResult& lastResult() const { return m_result; }
    // Asks the worker to stop (SIGTERM): it ends the running job, then itself. It is killed when
    // it has not ended after graceMilliseconds.
    void stop(int graceMilliseconds = 3000);
    // The worker's process id while it runs a job; 0 otherwise.
    qint64 processId() const { return m_running ? m_pid : 0; }
    // The worker's process id while it is alive, idle or not; 0 when none is.
    qint64 workerProcessId() const { return m_process ? m_pid : 0; }
    // Ends an idle worker by closing its input; nothing when a job runs.
    void quit();
    // With it, each job runs in a worker started for it alone, which ends after it: for a source
    // that once crashed a worker or hung it. Its jobs are watched as any other.
    void setOneJobEach(bool each) { m_oneJobEach = each; }
    // The failure reason of a job whose worker stopped answering.
    static QString HungReason()
    {
        return QStringLiteral("the converter stopped responding on this file");
    }

signals:
    void ReceiveOutputs(const QString& CommandOutputs);
    void CommandOver();
    void StartFailed(const QString& message);

private:
    bool startWorker();
    void watch(QProcess* process);
    void readFrames();
    void readStandardError();
    void addConsole(const QByteArray& bytes);
    void onExitFrame(const std::string& payload);
    void onErrorOccurred(QProcess::ProcessError error);
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onSilence();
    void dropProcess();

    MessageSink& m_messages;
    QString m_commandLine;
    ConverterInvocation m_invocation;
    QString m_program;         // what the live worker runs
    QProcess* m_process = nullptr;
    qint64 m_pid = 0;
    worker_frames::Reader m_reader;
    FileSnapshot m_outputBefore;
    QString m_outputs;
    QStringDecoder m_decoder;
    JobResult m_result;
    bool m_running = false;
    bool m_quitting = false;  // the live worker's input is closed: it takes no further job
    bool m_oneJobEach = false;
    QTimer m_silence;         // fires when the running job's worker may have fallen silent
    QElapsedTimer m_lastSign; // since the running job's worker last wrote anything
    int m_silenceLimit = 0;   // the running job's limit, in milliseconds
    bool m_hung = false;      // the running job's worker fell silent and is being ended
};
