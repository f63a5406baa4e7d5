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
// A worker that tells nothing of its job for this long has hung. Its quiet steps send keep-alive
// frames at least every half second while they move, so a minute is far beyond any pause of a
// worker at work, even on a loaded machine.
constexpr int SilenceLimitMilliseconds = 60000;
// How long a hung worker is given to end on its own (and remove its unfinished file) before it
// is killed.
constexpr int HungGraceMilliseconds = 2000;

int silenceLimit()
{
    bool set = false;
    const int limit = qEnvironmentVariableIntValue("TREVALON_WORKER_SILENCE_MS", &set);
    return set && limit > 0 ? limit : SilenceLimitMilliseconds;
}

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
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &ConvWorker::onSilence);
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
    m_quitting = false;
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
    // A worker told to end (its input closed) takes no more jobs, even before it has ended; a job
    // that runs alone gets a fresh one.
    if (m_process && (m_program != m_invocation.program || m_quitting || m_oneJobEach)) {
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
    m_hung = false;
    m_silenceLimit = silenceLimit();
    m_lastSign.start();
    m_silence.start(m_silenceLimit);
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
    if (m_process && !m_running) {
        m_process->closeWriteChannel();
        m_quitting = true;
    }
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
    if (!m_process)
        return;
    const QByteArray bytes = m_process->readAllStandardError();
    if (!bytes.isEmpty())
        m_lastSign.restart();
    addConsole(bytes);
}

void ConvWorker::readFrames()
{
    if (!m_process)
        return;
    const QByteArray bytes = m_process->readAllStandardOutput();
    if (!bytes.isEmpty())
        m_lastSign.restart();
    m_reader.add(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    while (m_process) {
        const std::optional<worker_frames::Frame> frame = m_reader.next();
        if (!frame)
            break;
        if (frame->kind == worker_frames::Console)
            addConsole(QByteArray::fromStdString(frame->payload));
        else if (frame->kind == worker_frames::Exit)
            onExitFrame(frame->payload);
        else if (frame->kind == worker_frames::KeepAlive)
            continue; // its bytes have already counted as a sign of life
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
    m_silence.stop();
    bool numeric = false;
    const int status = QByteArray::fromStdString(payload).toInt(&numeric);
    m_result.exitCode = numeric ? status : -1;
    m_result.lastErrorLine = LastConsoleLine(m_outputs);
    // A hung worker that still ended its job when asked to: the job failed all the same, unless
    // it had just finished whole.
    if (m_hung && !m_result.stoppedByUser && m_result.exitCode != 0) {
        m_result.crashed = true;
        m_result.lastErrorLine = HungReason();
    }
    if ((m_result.stoppedByUser || m_result.crashed) && m_result.exitCode != 0)
        m_result.partialOutputRemoved =
            RemovePartialOutput(m_invocation.outputPath, m_outputBefore, m_pid);
    // A job ended by a stop ends its worker too: it takes no next job, and it is left to end on
    // its own (killed if it lingers), so the next job starts a fresh one. So does a hung one.
    if (m_result.stoppedByUser || m_hung || m_result.exitCode >= 128) {
        QProcess* ending = m_process;
        dropProcess();
        if (ending->state() != QProcess::NotRunning) {
            connect(ending, &QProcess::finished, ending, &QObject::deleteLater);
            QTimer::singleShot(3000, ending, [ending] { ending->kill(); });
        }
    } else if (m_oneJobEach) {
        quit();
    }
    emit CommandOver();
}

void ConvWorker::onErrorOccurred(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart || !m_running)
        return;
    m_running = false;
    m_silence.stop();
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
    m_silence.stop();
    // The worker ended in the middle of the job: the job failed, whatever its exit code says.
    m_result.exitCode = status == QProcess::NormalExit ? exitCode : -1;
    m_result.crashed = true;
    // Its last console line may be any report (a progress line): the reason says what happened.
    if (m_result.stoppedByUser)
        m_result.lastErrorLine = LastConsoleLine(m_outputs);
    else if (m_hung)
        m_result.lastErrorLine = HungReason();
    else if (status == QProcess::CrashExit)
        m_result.lastErrorLine = QStringLiteral("the converter crashed on this file");
    else
        m_result.lastErrorLine =
            QStringLiteral("the converter quit in the middle of this file (exit code %1)")
                .arg(exitCode);
    m_result.partialOutputRemoved = RemovePartialOutput(m_invocation.outputPath, m_outputBefore, pid);
    emit CommandOver();
}

void ConvWorker::onSilence()
{
    if (!m_process || !m_running || m_hung || m_result.stoppedByUser)
        return; // a stop has its own end
    // What the worker wrote while this program was busy elsewhere counts: read it first.
    m_process->waitForReadyRead(0);
    if (!m_process || !m_running)
        return; // the job ended in what was read
    if (const qint64 quiet = m_lastSign.elapsed(); quiet < m_silenceLimit) {
        m_silence.start(static_cast<int>(m_silenceLimit - quiet));
        return;
    }
    // Asked to stop first, so a worker that can still end its job removes its unfinished file
    // itself; one stuck in the kernel (a read from a dead share) is killed.
    m_hung = true;
    m_process->terminate();
    QTimer::singleShot(HungGraceMilliseconds, m_process,
                       [process = m_process] { process->kill(); });
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
