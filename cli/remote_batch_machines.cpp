#include "cli/remote_batch.h"

// The machines' side of a remote run: one shared ssh connection per machine, the start check that
// chooses the machines, and the clean-up pass and the closing of the connections at the end.

#include "cli/remote_check.h"
#include "cli/remote_connection.h"
#include "cli/remote_machines.h"
#include "cli/remote_reports.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <utility>

void RemoteBatch::shareConnections()
{
    QString problem;
    QFile loginFile(m_run.sshLoginFile);
    if (!loginFile.open(QIODevice::ReadOnly))
        return; // the check says so once it reads the file
    const QStringList lines = QString::fromUtf8(loginFile.readAll()).split(QLatin1Char('\n'));
    m_socketFolder = ConnectionSocketFolder(&problem);
    if (m_socketFolder.isEmpty()) {
        emit machineMessage(
            QStringLiteral("each ssh call logs in anew, no folder for shared connections: %1")
                .arg(problem));
        return;
    }
    const QString options = SharedConnectionOptions(m_socketFolder);
    for (const QString& line : lines)
        m_logins << WithSharedConnection(line, options);
    QFile shared(m_lists->filePath(QStringLiteral("logins")));
    if (!shared.open(QIODevice::WriteOnly) ||
        shared.write((m_logins.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()) < 0) {
        emit machineMessage(QStringLiteral("each ssh call logs in anew: cannot write %1: %2")
                                .arg(shared.fileName(), shared.errorString()));
        m_logins.clear();
        QDir().rmdir(m_socketFolder);
        m_socketFolder.clear();
        return;
    }
    m_run.sshLoginFile = shared.fileName();
    m_run.sshOptions = options;
}

void RemoteBatch::closeConnections()
{
    if (m_socketFolder.isEmpty())
        return;
    // Every master is asked at once; a machine never logged in to has none and says so, unread.
    std::vector<std::unique_ptr<QProcess>> closers;
    for (const QString& line : std::as_const(m_logins)) {
        const QString command = CloseConnectionCommand(line, m_run.sshOptions);
        if (command.isEmpty())
            continue;
        closers.push_back(std::make_unique<QProcess>());
        closers.back()->setProcessChannelMode(QProcess::MergedChannels);
        closers.back()->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    }
    for (const auto& closer : closers) {
        if (!closer->waitForFinished(10000))
            closer->kill();
        closer->waitForFinished(1000);
    }
    const QStringList left =
        QDir(m_socketFolder)
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
    if (!QDir().rmdir(m_socketFolder))
        emit machineMessage(QStringLiteral("a shared ssh connection may still be open: %1 holds %2")
                                .arg(m_socketFolder, left.join(QStringLiteral(", "))));
    m_socketFolder.clear();
}

// Machines that cannot be logged in to, or cannot convert with the run's settings, are left out
// before the first job, so no job is sent to them at all. The check opens each machine's shared
// connection, which the jobs then use.
void RemoteBatch::startCheck()
{
    QFile loginFile(m_run.sshLoginFile);
    if (!loginFile.open(QIODevice::ReadOnly)) {
        failRemaining(QStringLiteral("cannot read %1").arg(m_run.sshLoginFile));
        finish();
        return;
    }
    m_loginText = QString::fromUtf8(loginFile.readAll());
    // Whether the parallel found is GNU parallel is asked while the machines answer: starting it
    // costs about as much as the check itself.
    m_version = new QProcess(this);
    connect(m_version, &QProcess::finished, this, &RemoteBatch::versionKnown);
    connect(m_version, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            versionKnown();
    });
    m_version->start(m_setup.parallelProgram, {QStringLiteral("--version")});
    m_sent = true; // the check works in the run's folder on each machine
    m_check = new MachinePass(
        MachinePass::LoginLines(m_loginText), m_run.sshOptions,
        [this](const QString& login) { return MachineCheckScript(m_run, login); }, 0, this);
    connect(m_check, &MachinePass::finished, this, &RemoteBatch::checkOver);
    m_check->start();
}

void RemoteBatch::checkOver()
{
    MachinePass* check = std::exchange(m_check, nullptr);
    check->deleteLater();
    QString answers;
    for (const MachinePass::Answer& answer : check->answers()) {
        answers += QString::fromUtf8(answer.out);
        for (const QString& line :
             QString::fromUtf8(answer.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            emit machineMessage(line);
    }
    if (m_stopping) {
        // A check stopped halfway may leave its folder on a machine.
        startCleanup();
        return;
    }
    m_sent = false; // the check removed its folder everywhere
    const MachineSelection machines = SelectMachines(m_loginText, answers, m_setup.jobsPerMachine);
    for (const QString& line : machines.skipped)
        emit machineMessage(WithoutSharedConnection(line, m_run.sshOptions));
    QFile usable(m_lists->filePath(QStringLiteral("machines")));
    if (machines.usable.isEmpty() || !usable.open(QIODevice::WriteOnly) ||
        usable.write((machines.usable.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()) < 0) {
        failRemaining(machines.usable.isEmpty()
                          ? QStringLiteral("no machine of %1 can convert").arg(m_setup.sshLoginFile)
                          : QStringLiteral("cannot write %1").arg(usable.fileName()));
        finish();
        return;
    }
    usable.close();
    m_run.sshLoginFile = usable.fileName();
    m_loginText = machines.usable.join(QLatin1Char('\n'));
    m_run.retries = std::max(2, static_cast<int>(machines.usable.size()));
    m_machinesChosen = true;
    if (!m_version)
        startRound();
}

void RemoteBatch::versionKnown()
{
    QProcess* version = std::exchange(m_version, nullptr);
    if (!version)
        return;
    version->deleteLater();
    const bool gnu = version->exitStatus() == QProcess::NormalExit &&
                     version->readAllStandardOutput().contains("GNU parallel");
    if (!gnu) {
        failRemaining(QStringLiteral("%1 is not GNU parallel; --sshloginfile needs the Debian "
                                     "package 'parallel' (sudo apt install parallel)")
                          .arg(m_setup.parallelProgram));
        if (m_check) {
            stop(); // the check's folders go once it has ended
        } else {
            m_stopping = true;
            startCleanup();
        }
        return;
    }
    if (m_machinesChosen)
        startRound();
}

void RemoteBatch::startCleanup()
{
    if (!m_sent) {
        finish();
        return;
    }
    auto* cleanup = new MachinePass(
        MachinePass::LoginLines(m_loginText), m_run.sshOptions,
        [this](const QString&) { return RemoteCleanupScript(m_run); }, 60000, this);
    connect(cleanup, &MachinePass::finished, this, [this, cleanup] {
        for (const MachinePass::Answer& answer : cleanup->answers()) {
            if (!answer.called || answer.ran)
                continue;
            emit machineMessage(
                QStringLiteral("the run's working folder %1 may be left on %2:")
                    .arg(m_run.remoteFolder,
                         WithoutSharedConnection(MachinePass::Login(answer.loginLine),
                                                 m_run.sshOptions)));
            for (const QString& line :
                 QString::fromUtf8(answer.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                emit machineMessage(line);
        }
        cleanup->deleteLater();
        finish();
    });
    cleanup->start();
}
