#include "engine/dos_outputs.h"

#include "converter/unfinished_name.h"
#include "platform/channel_probe.h"
#include "platform/message_sink.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr qint64 BlockSize = 1024;

} // namespace

DOSOutputs::DOSOutputs(MessageSink& messages, QObject* parent)
    : QObject(parent), m_messages(messages), m_decoder(QStringDecoder::System)
{
    m_killTimer.setSingleShot(true);
    connect(&m_killTimer, &QTimer::timeout, this, [this] {
        if (m_process && m_running)
            m_process->kill();
    });
}

DOSOutputs::~DOSOutputs()
{
    if (m_process && m_running) {
        m_process->disconnect(this);
        m_result.stoppedByUser = true;
        // The child may have finished its file and exited already without its end being handled
        // yet: killing a child that has exited changes nothing, and the wait then reads its real
        // exit status.
        m_process->kill();
        m_process->waitForFinished();
        const bool exitedCleanly =
            m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
        delete m_process;
        m_process = nullptr;
        removePartialOutput(exitedCleanly);
    }
}

void DOSOutputs::setCommandLine(const QString& DOSCommand, const ConverterInvocation& invocation)
{
    m_commandLine = DOSCommand;
    m_invocation = invocation;
}

qint64 DOSOutputs::processId() const
{
    return m_process && m_running ? m_process->processId() : 0;
}

void DOSOutputs::showStartMessage(const QString& text)
{
    m_messages.showMessage(text, QCoreApplication::applicationName(), MessageSink::Icon::Critical);
}

DOSOutputs::StartResult DOSOutputs::ExecuteCommand()
{
    if (m_running)
        return StartResult::AlreadyRunning;
    if (m_commandLine.isEmpty() || m_invocation.isEmpty()) {
        showStartMessage(QStringLiteral("Command Line empty"));
        return StartResult::CommandLineEmpty;
    }
    if (!ConverterProgramFound(m_invocation.program)) {
        showStartMessage(QStringLiteral("File or command not found"));
        return StartResult::NotFound;
    }

    // A fresh process object per job, so nothing of the last job (its buffers, its late
    // signals) can reach this one.
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
    }
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setInputChannelMode(QProcess::ManagedInputChannel);
    m_process->setProgram(m_invocation.program);
    m_process->setArguments(m_invocation.arguments);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &DOSOutputs::readAvailable);
    connect(m_process, &QProcess::errorOccurred, this, &DOSOutputs::onErrorOccurred);
    connect(m_process, &QProcess::finished, this, &DOSOutputs::onFinished);

    m_decoder.resetState();
    m_result = JobResult{};
    m_childPid = 0;
    m_outputBefore = SnapshotOf(m_invocation.outputPath);
    m_starting = true;
    m_running = true;
    m_process->start(QIODevice::ReadOnly);
    m_starting = false;

    if (m_process->state() == QProcess::NotRunning) {
        // Failing inside start() means the console channel or the process could not be
        // created; the system's code of the channel tells which.
        m_running = false;
        m_process->disconnect(this);
        if (const int code = channelCreationError()) {
            showStartMessage(QStringLiteral("CreatePipe failed. Error: ") + QString::number(code));
            return StartResult::ChannelFailed;
        }
        showStartMessage(QStringLiteral("File or command not found"));
        return StartResult::NotFound;
    }
    m_childPid = m_process->processId();
    m_outputs.clear();
    m_result.started = true;
    return StartResult::Started;
}

void DOSOutputs::onErrorOccurred(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart)
        return; // a crash or a kill is read from the finished signal
    if (m_starting)
        return; // ExecuteCommand reports it

    // The file could not be run after all: the job never started, so it gets no CommandOver.
    m_running = false;
    m_result.started = false;
    m_killTimer.stop();
    const QString text = QStringLiteral("File or command not found");
    showStartMessage(text);
    emit StartFailed(text);
}

void DOSOutputs::readAvailable()
{
    while (m_process) {
        const QByteArray bytes = m_process->read(BlockSize);
        if (bytes.isEmpty())
            return;
        // A UTF-8 character never decodes to more characters than it has bytes, so a block of
        // at most 1024 bytes gives at most 1024 characters; an unfinished character waits in
        // the decoder for the next read.
        const QString block = m_decoder.decode(bytes);
        if (block.isEmpty())
            continue;
        m_outputs += block;
        emit ReceiveOutputs(block);
    }
}

void DOSOutputs::onFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!m_running)
        return;
    readAvailable();
    m_killTimer.stop();
    m_running = false;
    m_result.exitCode = exitCode;
    m_result.crashed = status == QProcess::CrashExit;
    m_result.lastErrorLine = lastNonEmptyLine();
    // A converter that was stopped or killed could not finish or clean up its file: what it left
    // would look like a finished conversion. One that failed on its own has removed its own file,
    // and one that exited with code 0 before the stop reached it has finished its file.
    if (m_result.stoppedByUser || m_result.crashed)
        removePartialOutput(!m_result.crashed && exitCode == 0);
    emit CommandOver();
}

void DOSOutputs::stop(int graceMilliseconds)
{
    if (!m_process || !m_running)
        return;
    m_result.stoppedByUser = true;
    m_process->terminate();
    m_killTimer.start(graceMilliseconds);
}

QString DOSOutputs::lastNonEmptyLine() const
{
    return LastConsoleLine(m_outputs);
}

QString LastConsoleLine(const QString& outputs)
{
    // The converter's closing "Conversion failed!" says nothing about why: the reason is the line
    // before it (a full disk, a read-only folder, an unreadable input).
    const QString generic = QStringLiteral("Conversion failed!");
    QString fallback;
    qsizetype end = outputs.size();
    while (end > 0) {
        qsizetype start = end - 1;
        while (start >= 0 && outputs.at(start) != QLatin1Char('\n') &&
               outputs.at(start) != QLatin1Char('\r'))
            --start;
        const QString line = outputs.mid(start + 1, end - start - 1).trimmed();
        if (!line.isEmpty()) {
            if (line != generic)
                return line;
            if (fallback.isEmpty())
                fallback = line;
        }
        end = start;
    }
    return fallback;
}

void DOSOutputs::removePartialOutput(bool exitedCleanly)
{
    if (!exitedCleanly && RemovePartialOutput(m_invocation.outputPath, m_outputBefore, m_childPid))
        m_result.partialOutputRemoved = true;
}

bool RemovePartialOutput(const QString& path, const FileSnapshot& before, qint64 converterPid)
{
    bool removed = false;
    // Only what this job created or changed: a file of the same name left by an earlier job, that
    // the converter was stopped before it reached, is not this job's to remove.
    const FileSnapshot now = SnapshotOf(path);
    if (now.exists && now != before)
        removed = QFile::remove(path);
    // The converter writes under an unfinished name carrying its process id and renames the file
    // only when it is whole; one killed before it could clean up leaves that file behind.
    if (path.isEmpty() || converterPid <= 0)
        return removed;
    const QString unfinished = QFile::decodeName(QByteArray::fromStdString(unfinishedOutputPath(
        QFile::encodeName(path).toStdString(), static_cast<long>(converterPid))));
    const QFileInfo file(unfinished);
    if (file.isFile() && !file.isSymLink() && QFile::remove(unfinished))
        removed = true;
    return removed;
}

bool ConverterProgramFound(const QString& program)
{
    if (QFileInfo(program).isAbsolute() || program.contains(QLatin1Char('/'))) {
        const QFileInfo file(program);
        return file.isFile() && file.isExecutable();
    }
    return !QStandardPaths::findExecutable(program).isEmpty();
}
