#pragma once

#include "engine/command_line.h"
#include "platform/file_snapshot.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringDecoder>
#include <QTimer>

class MessageSink;

// How one converter job ended.
struct JobResult
{
    bool started = false;
    int exitCode = -1;
    bool crashed = false;        // ended by a signal or a crash rather than by exiting
    bool stoppedByUser = false;  // stop() was asked for while it ran
    bool partialOutputRemoved = false;
    QString lastErrorLine;       // the converter's last non-empty console line

    // Success is a normal exit with code 0 of a job nobody stopped.
    bool succeeded() const { return started && !crashed && !stoppedByUser && exitCode == 0; }
};

// Runs one converter job at a time and reports its console text and its end through signals.
//
// The child is started from the argument vector of a ConverterInvocation (never through a shell,
// so no file name can add switches); CommandLine holds the command text as built, for display.
// Standard output and standard error are merged. The console text arrives as ReceiveOutputs
// blocks of at most 1024 characters, in order, decoded with one stateful decoder so that no
// character is split between blocks. Every job that started ends with exactly one CommandOver,
// raised once the runner's own child has ended and all of its output has been delivered; another
// process that happens to share the converter's name never holds a job open.
//
// Nothing here blocks: the owner's event loop keeps running while a job runs.
class DOSOutputs : public QObject
{
    Q_OBJECT

public:
    enum class StartResult { Started, CommandLineEmpty, ChannelFailed, NotFound, AlreadyRunning };

    // Start failures are shown through messages; the window hands in its message boxes.
    explicit DOSOutputs(MessageSink& messages, QObject* parent = nullptr);
    // A job still running is killed and its partial output file removed (only what the job wrote;
    // nothing when it had already finished on its own).
    ~DOSOutputs() override;

    QString CommandLine() const { return m_commandLine; }
    // Stores the command text and the argument vector it was built with, unchanged.
    void setCommandLine(const QString& DOSCommand, const ConverterInvocation& invocation);

    // Everything the current or last job printed; emptied when the next job has started.
    QString Outputs() const { return m_outputs; }

    // Starts the stored command and returns at once. When the job cannot start, the message
    // "Command Line empty", "CreatePipe failed. Error: " + code or "File or command not found" is
    // shown (critical icon, the application's title), no event is raised and the result says why.
    // A start that fails after this returned (the system could not run the file after all) shows
    // "File or command not found" and raises StartFailed instead of CommandOver.
    StartResult ExecuteCommand();

    bool isRunning() const { return m_running; }

    // The result of the job in progress (started) or of the last one.
    const JobResult& lastResult() const { return m_result; }

    // Asks the running job to stop (SIGTERM on Linux) and kills it when it has not ended after
    // graceMilliseconds. Its CommandOver follows as usual; a job that did not finish normally
    // has its partial output file removed, so no half-written file is left looking finished:
    // the converter's unfinished file (converter/unfinished_name.h), or a file at the output
    // path itself that a converter writing there directly left.
    // Only a file this job created or changed is removed: an earlier file of the same name that
    // the converter never reached stays, and so does the output of a job that had already
    // exited with code 0.
    void stop(int graceMilliseconds = 3000);

    // The process id of the running job's child; 0 when none runs.
    qint64 processId() const;

signals:
    void ReceiveOutputs(const QString& CommandOutputs);
    void CommandOver();
    void StartFailed(const QString& message);

private:
    void showStartMessage(const QString& text);
    void readAvailable();
    void onErrorOccurred(QProcess::ProcessError error);
    void onFinished(int exitCode, QProcess::ExitStatus status);
    QString lastNonEmptyLine() const;
    void removePartialOutput(bool exitedCleanly);

    MessageSink& m_messages;
    QString m_commandLine;
    ConverterInvocation m_invocation;
    FileSnapshot m_outputBefore; // the output path as it was when the job started
    qint64 m_childPid = 0;       // the running or last job's converter
    QString m_outputs;
    QProcess* m_process = nullptr;
    QStringDecoder m_decoder;
    QTimer m_killTimer;
    JobResult m_result;
    bool m_running = false;
    bool m_starting = false;
};

// The converter's last non-empty console line, passing over its closing "Conversion failed!"
// when a line before it says why.
QString LastConsoleLine(const QString& outputs);

// Whether the program can be started: a path (absolute, or relative to the working folder) names
// the file itself; a bare name is looked up in the search path, as the system would.
bool ConverterProgramFound(const QString& program);

// Removes what a converter that did not finish left of a job: the file at path when it is not as
// it was before the job, and the converter's unfinished file named with converterPid. True when
// something was removed.
bool RemovePartialOutput(const QString& path, const FileSnapshot& before, qint64 converterPid);
