#include "cli/remote_batch.h"

#include "cli/remote_machines.h"
#include "cli/remote_reports.h"
#include "cli/returned_output.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

#include <unistd.h>
#include <sys/stat.h>

namespace {

QString runFolderName()
{
    QString host = QSysInfo::machineHostName();
    for (QChar& c : host) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('-'))
            c = QLatin1Char('_');
    }
    return QStringLiteral(".trevalon-batch/%1-%2-%3")
        .arg(host)
        .arg(QCoreApplication::applicationPid())
        .arg(QDateTime::currentMSecsSinceEpoch());
}

// The folder for the run's own files here. QDir::tempPath() is empty when TMPDIR is not text (a
// name that is not UTF-8) or names no folder, and the run's folders would then be made in the
// root folder: such a TMPDIR is refused with its reason instead.
QString temporaryFolder(QString* problem)
{
    const QByteArray given = qgetenv("TMPDIR");
    const QString shown = ConsoleReport::shownName(QFile::decodeName(given));
    if (QFile::encodeName(QFile::decodeName(given)) != given) {
        *problem = QStringLiteral("TMPDIR (%1) is not UTF-8 text; set TMPDIR to another folder")
                       .arg(shown);
        return {};
    }
    const QString folder = QDir::tempPath();
    if (folder.isEmpty())
        *problem = QStringLiteral("TMPDIR (%1) names no folder").arg(shown);
    return folder;
}

std::unique_ptr<QTemporaryDir> runFolder(const QString& temporaryFolder)
{
    if (temporaryFolder.isEmpty())
        return nullptr;
    return std::make_unique<QTemporaryDir>(temporaryFolder +
                                           QStringLiteral("/trevalon-remote-XXXXXX"));
}

QStringList completeLines(QByteArray& tail, const QByteArray& received)
{
    tail += received;
    QStringList lines;
    qsizetype end = 0;
    while ((end = tail.indexOf('\n')) >= 0) {
        lines << QString::fromUtf8(tail.left(end));
        tail.remove(0, end + 1);
    }
    return lines;
}

JobOutcome outcome(JobOutcome::Kind kind, const QString& reason)
{
    JobOutcome result;
    result.kind = kind;
    result.reason = reason;
    return result;
}

QProcess* parallelProcess(QObject* parent, const QString& tempFolder)
{
    auto* process = new QProcess(parent);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The job commands are written for a POSIX shell, whatever the user's login shell is.
    environment.insert(QStringLiteral("PARALLEL_SHELL"), QStringLiteral("/bin/sh"));
    // parallel's own temporary files go into this run's folder, which goes with the run, so an
    // interrupted parallel cannot leave them in the user's temporary folder. parallel writes their
    // names into shell commands unquoted in places, so the folder is given as "." from inside it:
    // a name with a blank or a quote in the user's TMPDIR never reaches such a command.
    process->setWorkingDirectory(tempFolder);
    environment.insert(QStringLiteral("TMPDIR"), QStringLiteral("."));
    process->setProcessEnvironment(environment);
    return process;
}

} // namespace

RemoteBatch::RemoteBatch(QVector<BatchJob> jobs, Setup setup, ConsoleReport& report,
                         QObject* parent)
    : QObject(parent), m_jobs(std::move(jobs)), m_setup(std::move(setup)), m_report(report),
      m_rounds(SameOutputRounds(m_jobs)), m_states(m_jobs.size(), State::Waiting),
      m_hosts(m_jobs.size()), m_loudness(m_jobs.size()),
      m_temporaryFolder(temporaryFolder(&m_folderProblem)),
      m_staging(runFolder(m_temporaryFolder)), m_lists(runFolder(m_temporaryFolder))
{
    m_run.sshLoginFile = m_setup.sshLoginFile;
    m_run.remoteProgram = m_setup.remoteProgram;
    m_run.settingsFlags = m_setup.settingsFlags;
    m_run.remoteFolder = runFolderName();
    m_run.stagingFolder = m_staging ? m_staging->path() : QString();
    m_run.listFolder = m_lists ? m_lists->path() : QString();
    m_collect.setInterval(250);
    connect(&m_collect, &QTimer::timeout, this, [this] {
        collectReturned();
        // No progress comes from the other machines while they convert; a running job's line is
        // redrawn now and then so the time left keeps moving.
        for (int job = 0; job < m_jobs.size(); ++job) {
            if (m_states[job] == State::Running) {
                m_report.jobProgress(job, m_hosts[job], 0);
                break;
            }
        }
    });
}

RemoteBatch::~RemoteBatch() = default;

void RemoteBatch::start()
{
    const bool folders = m_staging && m_lists && m_staging->isValid() && m_lists->isValid();
    if (!folders && m_folderProblem.isEmpty())
        m_folderProblem = QStringLiteral("cannot create it in %1: %2")
                              .arg(m_temporaryFolder,
                                   (m_staging && !m_staging->isValid() ? m_staging : m_lists)
                                       ->errorString());
    for (int job = 0; job < m_jobs.size(); ++job) {
        const QString& problem = m_jobs.at(job).problem;
        if (m_jobs.at(job).skipped) {
            m_report.jobStarted(job);
            end(job, JobOutcome{JobOutcome::Kind::Skipped, m_jobs.at(job).plan.note, 0});
            continue;
        }
        if (problem.isEmpty() && folders)
            continue;
        m_report.jobStarted(job);
        end(job, folders ? outcome(JobOutcome::Kind::Refused, problem)
                         : outcome(JobOutcome::Kind::Failed,
                                   QStringLiteral("no temporary folder for the run: %1")
                                       .arg(m_folderProblem)));
    }
    if (std::all_of(m_states.begin(), m_states.end(), [](State s) { return s == State::Ended; }))
        finish();
    else {
        shareConnections();
        startCheck();
    }
}

void RemoteBatch::stop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    if (m_check)
        m_check->stop();
    // parallel answers an interrupt by stopping every job it runs, on every machine.
    if (m_parallel && m_parallel->state() != QProcess::NotRunning)
        ::kill(static_cast<pid_t>(m_parallel->processId()), SIGINT);
}

void RemoteBatch::startRound()
{
    const int lastRound =
        m_rounds.isEmpty() ? -1 : *std::max_element(m_rounds.begin(), m_rounds.end());
    while (!m_stopping && ++m_round <= lastRound) {
        QVector<int> selection;
        for (int job = 0; job < m_jobs.size(); ++job) {
            if (m_rounds[job] == m_round && m_states[job] == State::Waiting)
                selection.append(job);
        }
        selection.removeIf([this](int job) { return !linkSource(job); });
        if (selection.isEmpty())
            continue;
        const RemoteJobLists lists = BuildRemoteJobLists(m_jobs, selection, m_lists->path());
        for (const auto& [name, content] :
             {std::pair{"transfer.list", &lists.transfer}, std::pair{"source.list", &lists.source},
              std::pair{"job.list", &lists.job}, std::pair{"tag.list", &lists.tag},
              std::pair{"name.list", &lists.outputName}}) {
            QFile file(m_lists->filePath(QLatin1String(name)));
            if (!file.open(QIODevice::WriteOnly) || file.write(*content) != content->size()) {
                failRemaining(
                    QStringLiteral("cannot write the job list: %1").arg(file.errorString()));
                m_stopping = true;
                break;
            }
        }
        if (m_stopping)
            break;

        m_parallel.reset(parallelProcess(nullptr, m_lists->path()));
        connect(m_parallel.get(), &QProcess::readyReadStandardOutput, this,
                &RemoteBatch::readEvents);
        connect(m_parallel.get(), &QProcess::readyReadStandardError, this,
                &RemoteBatch::readMessages);
        connect(m_parallel.get(), &QProcess::finished, this, &RemoteBatch::roundOver);
        connect(m_parallel.get(), &QProcess::errorOccurred, this,
                [this](QProcess::ProcessError error) {
                    if (error != QProcess::FailedToStart)
                        return;
                    failRemaining(QStringLiteral("cannot start %1: %2")
                                      .arg(m_setup.parallelProgram, m_parallel->errorString()));
                    m_sent = false;
                    m_stopping = true;
                    roundOver();
                });
        m_sent = true;
        m_parallel->start(m_setup.parallelProgram, ParallelArguments(m_run));
        m_collect.start();
        return;
    }
    startCleanup();
}

void RemoteBatch::readEvents()
{
    for (const QString& line : completeLines(m_outTail, m_parallel->readAllStandardOutput())) {
        const std::optional<RemoteEvent> event = ParseRemoteLine(line, m_jobs);
        if (!event) {
            // Nothing but reports goes to this output: anything else is shown, never obeyed.
            if (!line.isEmpty())
                emit machineMessage(QStringLiteral("not a job report, ignored: %1").arg(line));
            continue;
        }
        const int job = event->job;
        if (m_states[job] == State::Ended)
            continue;
        if (event->kind == RemoteEvent::Kind::Started) {
            m_states[job] = State::Running;
            m_hosts[job] = event->host;
            m_report.jobStarted(job);
            m_report.jobProgress(job, event->host, 0);
        } else if (event->kind == RemoteEvent::Kind::Loudness) {
            m_loudness[job] = QStringLiteral("conv: ") + event->loudness;
        } else if (event->status == 0) {
            m_states[job] = State::Converted; // ended once the file is back
        } else {
            end(job,
                outcome(JobOutcome::Kind::Failed, LocalReason(event->reason, m_run.remoteFolder,
                                                              job, m_jobs.at(job))));
        }
    }
}

void RemoteBatch::readMessages()
{
    for (const QString& line : completeLines(m_errTail, m_parallel->readAllStandardError()))
        emit machineMessage(line);
}

void RemoteBatch::collectReturned()
{
    for (int job = 0; job < m_jobs.size(); ++job) {
        if (m_states[job] != State::Converted)
            continue;
        // rsync writes under a temporary name and renames, so a file of this name is whole.
        const BatchJob& batchJob = m_jobs.at(job);
        const QString staged = m_staging->filePath(
            RemoteJobTag(job, RemoteCopyPath(batchJob)) + QStringLiteral(".out"));
        if (!QFileInfo::exists(staged))
            continue;
        QString error;
        // The output's path as bytes: the one made from the source's own name.
        const bool placed = PlaceReturnedOutput(staged, batchJob.plan.outputBytes(), &error);
        // The other machine copies where this one would: the same source, the same choice.
        const JobOutcome::Kind done = batchJob.plan.streamCopy ? JobOutcome::Kind::Copied
                                                               : JobOutcome::Kind::Converted;
        end(job, placed ? JobOutcome{done, {}, 0, m_loudness[job]}
                        : outcome(JobOutcome::Kind::Failed, error));
    }
}

void RemoteBatch::roundOver()
{
    if (!m_parallel)
        return;
    m_collect.stop();
    readEvents();
    readMessages();
    collectReturned();
    for (int job = 0; job < m_jobs.size(); ++job) {
        if (m_rounds[job] != m_round || m_states[job] == State::Ended)
            continue;
        if (m_stopping) {
            // A job never started here counts as not reached, as in a stopped local batch.
            if (m_states[job] != State::Waiting)
                end(job, outcome(JobOutcome::Kind::Stopped, {}));
        } else if (m_states[job] == State::Converted) {
            end(job, outcome(JobOutcome::Kind::Failed,
                             QStringLiteral("the converted file did not come back from %1")
                                 .arg(m_hosts[job])));
        } else {
            end(job,
                outcome(JobOutcome::Kind::Failed,
                        QStringLiteral("no machine could convert it (see the messages above)")));
        }
    }
    // Files of failed conversions come back empty; none of them is wanted.
    for (const QString& name : QDir(m_staging->path()).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(m_staging->filePath(name));
    m_parallel.release()->deleteLater();
    m_outTail.clear();
    m_errTail.clear();
    startRound();
}

bool RemoteBatch::linkSource(int job)
{
    const BatchJob& batchJob = m_jobs.at(job);
    if (!TravelsUnderSafeName(batchJob))
        return true;
    const QByteArray link = QFile::encodeName(SourceLinkPath(m_lists->path(), job, batchJob));
    const QByteArray folder = link.left(link.lastIndexOf('/'));
    ::unlink(link.constData());
    if ((::mkdir(QFile::encodeName(m_lists->filePath(QStringLiteral("links"))).constData(),
                 0700) == 0 ||
         errno == EEXIST) &&
        (::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST) &&
        ::symlink(batchJob.nativePath.constData(), link.constData()) == 0)
        return true;
    const QString why = QString::fromLocal8Bit(std::strerror(errno));
    m_report.jobStarted(job);
    end(job, outcome(JobOutcome::Kind::Failed,
                     QStringLiteral("cannot link %1: %2").arg(QFile::decodeName(link), why)));
    return false;
}

void RemoteBatch::end(int job, const JobOutcome& outcome)
{
    m_states[job] = State::Ended;
    m_report.jobFinished(job, outcome);
    emit jobEnded(job, outcome);
}

void RemoteBatch::failRemaining(const QString& reason)
{
    for (int job = 0; job < m_jobs.size(); ++job) {
        if (m_states[job] != State::Ended)
            end(job, outcome(JobOutcome::Kind::Failed, reason));
    }
}

void RemoteBatch::finish()
{
    if (QProcess* version = std::exchange(m_version, nullptr)) {
        version->disconnect(this);
        version->kill();
        version->waitForFinished(1000);
        version->deleteLater();
    }
    closeConnections();
    emit finished();
}
