#include "engine/conv_worker.h"

#include "platform/message_sink.h"

#include <QCoreApplication>
#include <QFile>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QHash>

namespace {

constexpr qsizetype BlockSize = 1024;
constexpr int ProbeMilliseconds = 5000;

} // namespace

bool ConvWorker::takesJobs(const QString& program)
{
    // Asked once per converter file (by path, size and time of change) in the program's life.
    static QHash<QString, bool> answers;
    const QFileInfo file(program);
    const QString key = file.absoluteFilePath() + QLatin1Char('|') +
                        QString::number(file.size()) + QLatin1Char('|') +
                        QString::number(file.lastModified().toMSecsSinceEpoch());
    if (const auto known = answers.constFind(key); known != answers.cend())
        return *known;
    // A worker given an empty job answers with its console frames and an exit frame, then waits
    // for the next; anything else is no worker.
    auto* probe = new QProcess(this);
    probe->setProcessChannelMode(QProcess::SeparateChannels);
    probe->start(program, {QStringLiteral("--worker")});
    bool worker = false;
    worker_frames::Reader reader;
    QDeadlineTimer deadline(ProbeMilliseconds);
    if (probe->waitForStarted(ProbeMilliseconds)) {
        const std::string job = worker_frames::encodeJob({});
        probe->write(job.data(), static_cast<qint64>(job.size()));
        while (!worker && !reader.broken() && probe->state() == QProcess::Running &&
               probe->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            const QByteArray said = probe->readAllStandardOutput();
            reader.add(said.constData(), static_cast<std::size_t>(said.size()));
            while (const auto frame = reader.next())
                worker = worker || frame->kind == worker_frames::Exit;
        }
    }
    answers.insert(key, worker);
    // The answering worker becomes this one's when it is idle and said nothing past its answer.
    if (worker && !m_process && !m_running && !reader.next() && !reader.broken() &&
        probe->bytesAvailable() == 0 && probe->state() == QProcess::Running) {
        probe->readAllStandardError(); // its empty job's words belong to no job
        m_process = probe;
        watch(probe);
        m_program = program;
        m_reader = worker_frames::Reader{};
        m_pid = probe->processId();
        return true;
    }
    probe->kill();
    probe->waitForFinished();
    delete probe;
    return worker;
}

ConvWorker::ConvWorker(MessageSink& messages, QObject* parent)
    : QObject(parent), m_messages(messages), m_decoder(QStringDecoder::System)
{
}

ConvWorker::~ConvWorker()
{
    if (!m_process)
        return;
    m_process->disconnect(this);
    m_process->kill();
    m_process->waitForFinished();
    if (m_running)
        RemovePartialOutput(m_invocation.outputPath, m_outputBefore, m_pid);
    delete m_process;
    m_process = nullptr;
}

void ConvWorker::setCommandLine(const QString& commandText, const ConverterInvocation& invocation)
{
    m_commandLine = commandText;
    m_invocation = invocation;
}

bool ConvWorker::startWorker()
{
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setProgram(m_invocation.program);
    m_process->setArguments({QStringLiteral("--worker")});
    watch(m_process);
    m_program = m_invocation.program;
    m_reader = worker_frames::Reader{};
    m_process->start(QIODevice::ReadWrite);
    if (m_process->state() == QProcess::NotRunning) {
        dropProcess();
        return false;
    }
    m_pid = m_process->processId();
    return true;
}

void ConvWorker::watch(QProcess* process)
{
    connect(process, &QProcess::readyReadStandardOutput, this, &ConvWorker::readFrames);
    connect(process, &QProcess::readyReadStandardError, this, &ConvWorker::readStandardError);
    connect(process, &QProcess::errorOccurred, this, &ConvWorker::onErrorOccurred);
    connect(process, &QProcess::finished, this, &ConvWorker::onFinished);
}

DOSOutputs::StartResult ConvWorker::ExecuteCommand()
{
    const auto fail = [this](const QString& text, DOSOutputs::StartResult result) {
        m_messages.showMessage(text, QCoreApplication::applicationName(),
                               MessageSink::Icon::Critical);
        return result;
    };
    if (m_running)
        return DOSOutputs::StartResult::AlreadyRunning;
    if (m_commandLine.isEmpty() || m_invocation.isEmpty())
        return fail(QStringLiteral("Command Line empty"), DOSOutputs::StartResult::CommandLineEmpty);
    if (!ConverterProgramFound(m_invocation.program))
        return fail(QStringLiteral("File or command not found"), DOSOutputs::StartResult::NotFound);
    if (m_process && m_program != m_invocation.program) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished();
        dropProcess();
    }
    m_outputs.clear();
    m_decoder.resetState();
    m_result = JobResult{};
    m_outputBefore = SnapshotOf(m_invocation.outputPath);
    if (!m_process && !startWorker())
        return fail(QStringLiteral("File or command not found"), DOSOutputs::StartResult::NotFound);
    std::vector<std::string> arguments;
    for (const QString& argument : m_invocation.arguments)
        arguments.push_back(QFile::encodeName(argument).toStdString());
    const std::string frame = worker_frames::encodeJob(arguments);
    m_process->write(frame.data(), static_cast<qint64>(frame.size()));
    m_running = true;
    m_result.started = true;
    return DOSOutputs::StartResult::Started;
}

void ConvWorker::stop(int graceMilliseconds)
{
    if (!m_process || !m_running)
        return;
    m_result.stoppedByUser = true;
    m_process->terminate();
    // Bound to the process: the kill is dropped with it, and never reaches a later worker.
    QTimer::singleShot(graceMilliseconds, m_process, [process = m_process] { process->kill(); });
}

void ConvWorker::quit()
{
    if (m_process && !m_running)
        m_process->closeWriteChannel();
}

void ConvWorker::addConsole(const QByteArray& bytes)
{
    if (!m_running)
        return;
    for (qsizetype at = 0; at < bytes.size(); at += BlockSize) {
        const QString block = m_decoder.decode(bytes.mid(at, BlockSize));
        if (block.isEmpty())
            continue;
        m_outputs += block;
        emit ReceiveOutputs(block);
    }
}

void ConvWorker::readStandardError()
{
    // The worker's own words outside the frames belong to the job it is running, if any.
    if (m_process)
        addConsole(m_process->readAllStandardError());
}

void ConvWorker::readFrames()
{
    if (!m_process)
        return;
    const QByteArray bytes = m_process->readAllStandardOutput();
    m_reader.add(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    while (m_process) {
        const std::optional<worker_frames::Frame> frame = m_reader.next();
        if (!frame)
            break;
        if (frame->kind == worker_frames::Console)
            addConsole(QByteArray::fromStdString(frame->payload));
        else if (frame->kind == worker_frames::Exit)
            onExitFrame(frame->payload);
        else
            m_process->kill(); // not a frame a worker writes: its end fails the job
    }
    if (m_process && m_reader.broken())
        m_process->kill();
}

void ConvWorker::onExitFrame(const std::string& payload)
{
    if (!m_running)
        return;
    m_running = false;
    bool numeric = false;
    const int status = QByteArray::fromStdString(payload).toInt(&numeric);
    m_result.exitCode = numeric ? status : -1;
    m_result.lastErrorLine = LastConsoleLine(m_outputs);
    if (m_result.stoppedByUser && m_result.exitCode != 0)
        m_result.partialOutputRemoved =
            RemovePartialOutput(m_invocation.outputPath, m_outputBefore, m_pid);
    // A job ended by a stop ends its worker too: it takes no next job, and it is left to end on
    // its own (killed if it lingers), so the next job starts a fresh one.
    if (m_result.stoppedByUser || m_result.exitCode >= 128) {
        QProcess* ending = m_process;
        dropProcess();
        if (ending->state() != QProcess::NotRunning) {
            connect(ending, &QProcess::finished, ending, &QObject::deleteLater);
            QTimer::singleShot(3000, ending, [ending] { ending->kill(); });
        }
    }
    emit CommandOver();
}

void ConvWorker::onErrorOccurred(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart || !m_running)
        return;
    m_running = false;
    m_result.started = false;
    dropProcess();
    const QString text = QStringLiteral("File or command not found");
    m_messages.showMessage(text, QCoreApplication::applicationName(), MessageSink::Icon::Critical);
    emit StartFailed(text);
}

void ConvWorker::onFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!m_process)
        return;
    readFrames();
    readStandardError();
    const qint64 pid = m_pid;
    dropProcess();
    if (!m_running)
        return; // an idle worker ended, or one that was stopped after its job's end
    m_running = false;
    // The worker ended in the middle of the job: the job failed, whatever its exit code says.
    m_result.exitCode = status == QProcess::NormalExit ? exitCode : -1;
    m_result.crashed = true;
    // Its last console line may be any report (a progress line): the reason says what happened.
    if (m_result.stoppedByUser)
        m_result.lastErrorLine = LastConsoleLine(m_outputs);
    else if (status == QProcess::CrashExit)
        m_result.lastErrorLine = QStringLiteral("the converter crashed on this file");
    else
        m_result.lastErrorLine =
            QStringLiteral("the converter quit in the middle of this file (exit code %1)")
                .arg(exitCode);
    m_result.partialOutputRemoved = RemovePartialOutput(m_invocation.outputPath, m_outputBefore, pid);
    emit CommandOver();
}

void ConvWorker::dropProcess()
{
    if (m_process) {
        m_process->disconnect(this);
        if (m_process->state() == QProcess::NotRunning)
            m_process->deleteLater();
    }
    m_process = nullptr;
    m_pid = 0;
}
