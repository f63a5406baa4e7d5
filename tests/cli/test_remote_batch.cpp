#include "cli/batch_options.h"
#include "cli/batch_process.h"
#include "cli/remote_command.h"
#include "cli/remote_connection.h"
#include "cli/remote_reports.h"
#include "engine/command_line.h"
#include "settings/extra_settings.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

#include <dirent.h>
#include <pwd.h>
#include <unistd.h>

namespace {

using namespace batch_process;

// Loopback machines on a busy two-core machine: generous.
constexpr int RemoteTimeoutMs = 280000;

// The flags must make trevalon-batch on another machine build the very command this one would,
// whatever that machine's own setup.ini and options.ini say.
TEST(RemoteCommand, SettingsFlagsOverrideTheOtherMachinesSettings)
{
    SetupSettings foreignSetup;
    foreignSetup.formatIndex = 3;
    foreignSetup.bitrateIndex = 2;
    foreignSetup.rateIndex = 5;
    foreignSetup.channelIndex = 0;
    OptionsSettings foreignCutter;
    foreignCutter.cutterOn = 1;
    foreignCutter.cutStart = 99;
    foreignCutter.cutStartFraction = 7;
    foreignCutter.cutLength = 12;

    for (int variant = 0; variant < 9 * 3; ++variant) {
        ConversionSettings local;
        local.formatIndex = static_cast<std::int16_t>(variant % 9);
        local.bitrateIndex = static_cast<std::int16_t>(variant % 12);
        local.rateIndex = static_cast<std::int16_t>(variant % 8);
        local.channelIndex = static_cast<std::int16_t>(variant % 2);
        local.outputFolder = QStringLiteral("/out");
        if (variant % 3 == 1) {
            local.cutterOn = 1;
            local.cutStart = 3723;
            local.cutStartFraction = 25;
            local.cutLength = 30;
        } else if (variant % 3 == 2) {
            local.cutterOn = 1;
            local.cutLength = 7;
            local.cutLengthFraction = 5;
        }
        // Copying and checking happen there; names and existing outputs are decided here.
        local.library.copySameFormat = variant % 2 == 1;
        local.library.verify = variant % 4 < 2;
        const ParsedArguments parsed = ParseBatchArguments(
            RemoteSettingsFlags(local) + QStringList{QStringLiteral("--"), QStringLiteral("a.wav")},
            1);
        ASSERT_EQ(parsed.outcome, ParsedArguments::Outcome::Run) << parsed.text.toStdString();
        SetupSettings setup = foreignSetup;
        OptionsSettings cutter = foreignCutter;
        ApplyOverrides(parsed.options, setup, cutter);
        setup.outputFolder = local.outputFolder;
        ConversionSettings remote = ConversionSettings::from(setup, cutter);
        remote.library = LibraryChoicesToRun(parsed.options, ExtraSettings{});
        EXPECT_EQ(BuildCommandLine(ProgramFolder, QStringLiteral("/in/a.wav"), remote),
                  BuildCommandLine(ProgramFolder, QStringLiteral("/in/a.wav"), local))
            << variant;
        EXPECT_EQ(remote.library.copySameFormat, local.library.copySameFormat) << variant;
    }
}

QString hexOf(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

TEST(RemoteCommand, JobLinesBecomeTheLocalReport)
{
    BatchJob job;
    job.source = QStringLiteral("/home/u/in/a: b.mp4");
    const QVector<BatchJob> jobs = {BatchJob{}, job};
    const QString folder = QStringLiteral(".trevalon-batch/run");
    const QString copy = QStringLiteral("/root/.trevalon-batch/run/1/home/u/in/a: b.mp4");

    const auto started =
        ParseRemoteLine(QStringLiteral("trevalon-remote 1 started %1").arg(hexOf("m2")), jobs);
    ASSERT_TRUE(started);
    EXPECT_EQ(started->kind, RemoteEvent::Kind::Started);
    EXPECT_EQ(started->host, QStringLiteral("m2"));

    const auto failed = ParseRemoteLine(
        QStringLiteral("trevalon-remote 1 ended 1 %1")
            .arg(hexOf(QStringLiteral("%1: %1: Invalid data found\n").arg(copy).toUtf8())),
        jobs);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->status, 1);
    EXPECT_EQ(LocalReason(failed->reason, folder, 1, job),
              QStringLiteral("/home/u/in/a: b.mp4: Invalid data found"));
    EXPECT_EQ(LocalReason(QStringLiteral("Error opening '%1'").arg(copy), folder, 1, job),
              QStringLiteral("Error opening '/home/u/in/a: b.mp4'"));

    // The converter's loudness report comes back whole, to gate the album here.
    const auto loudness = ParseRemoteLine(
        QStringLiteral("trevalon-remote 1 loudness %1").arg(hexOf("loudness 0.500000 3:4,7:1\n")),
        jobs);
    ASSERT_TRUE(loudness);
    EXPECT_EQ(loudness->kind, RemoteEvent::Kind::Loudness);
    EXPECT_EQ(loudness->loudness, QStringLiteral("loudness 0.500000 3:4,7:1"));

    // Only the framed form counts: text where the bytes belong, a stray byte, anything after.
    for (const char* line :
         {"trevalon-remote 2 ended 0 ", "converted x -> y", "trevalon-remote 1 ended 0 x y",
          "trevalon-remote 1 ended 0 6", "trevalon-remote 1 ended 0 6D32 ",
          "trevalon-remote 1 started m2", "trevalon-remote 1 started 6d32\r",
          "trevalon-remote 1 ended 0 6d32 6d32", " trevalon-remote 1 started 6d32",
          "trevalon-remote 1 loudness 6d32"})
        EXPECT_FALSE(ParseRemoteLine(QString::fromLatin1(line), jobs)) << line;

    // The files of a job in its folder there never meet the copy of its source.
    for (const char* top : {"1.out", "1.w", "1_.w", "1__.out"}) {
        const QString tag = RemoteJobTag(1, QStringLiteral("/%1/a.wav").arg(QLatin1String(top)));
        EXPECT_NE(tag + QStringLiteral(".out"), QLatin1String(top));
        EXPECT_NE(tag + QStringLiteral(".w"), QLatin1String(top));
    }
}

TEST(RemoteCommand, StartCheckAnswersChooseTheMachines)
{
    const QString loginFile = QStringLiteral("# machines\n2/a\nb\n@g/c\n@g/3/d\ne\nf\n:\n");
    const QString answers =
        QStringLiteral("trevalon-machine ok %1 \ntrevalon-machine ok %2 \ntrevalon-machine ok %3 \n"
                       "trevalon-machine ok %4 \ntrevalon-machine failed %5 %6\n"
                       "trevalon-machine missing %7 \nhello from a login script\n")
            .arg(hexOf("a"), hexOf("b"), hexOf("c"), hexOf("d"), hexOf("e"),
                 hexOf("/x/trevalon-check.wav: the converter could not be started\n"), hexOf("f"));
    const MachineSelection chosen = SelectMachines(loginFile, answers, 5);
    EXPECT_EQ(chosen.usable, (QStringList{QStringLiteral("2/a"), QStringLiteral("5/b"),
                                          QStringLiteral("@g/5/c"), QStringLiteral("@g/3/d")}));
    EXPECT_EQ(chosen.skipped,
              (QStringList{QStringLiteral("not an answer to the start check, ignored: hello from "
                                          "a login script"),
                           QStringLiteral("left out e: the test conversion failed there: the "
                                          "converter could not be started"),
                           QStringLiteral("left out f: trevalon-batch does not run there"),
                           QStringLiteral("left out ':': this machine takes part as 'ssh "
                                          "localhost' only")}));
    EXPECT_EQ(SelectMachines(loginFile, answers).usable.value(1), QStringLiteral("b"));

    // The shared connection's options go into a line's own ssh command, before the login, and
    // its master is closed the way parallel calls ssh for that line.
    const QString o = QStringLiteral("-o ControlPath=/s/%C");
    EXPECT_EQ(WithSharedConnection(QStringLiteral("@g/2/ssh -p 2222 u@h"), o),
              QStringLiteral("@g/2/ssh -o ControlPath=/s/%C -p 2222 u@h"));
    EXPECT_EQ(WithoutSharedConnection(QStringLiteral("left out ssh -o ControlPath=/s/%C -p 2222 "
                                                     "u@h: cannot log in"),
                                      o),
              QStringLiteral("left out ssh -p 2222 u@h: cannot log in"));
    EXPECT_EQ(WithSharedConnection(QStringLiteral("3/h"), o), QStringLiteral("3/h"));
    EXPECT_EQ(CloseConnectionCommand(QStringLiteral("3/u:pw@h.lan:2222"), o),
              QStringLiteral("ssh -o ControlPath=/s/%C -p 2222 -l u -O exit h.lan"));
    EXPECT_EQ(CloseConnectionCommand(QStringLiteral("ssh -F c h"), o),
              QStringLiteral("ssh -o ControlPath=/s/%C -F c -O exit h"));
    EXPECT_EQ(CloseConnectionCommand(QStringLiteral(":"), o), QString());
    EXPECT_EQ(WithSharedConnection(QStringLiteral("sshpass -e ssh h"), o),
              QStringLiteral("sshpass -e ssh h"));
    EXPECT_EQ(CloseConnectionCommand(QStringLiteral("sshpass -e ssh h"), o), QString());
}

// The names in a folder as the file system has them: QDir lists only one of two names whose bytes
// differ where they are not text.
QSet<QByteArray> namesIn(const QByteArray& folder)
{
    QSet<QByteArray> names;
    if (DIR* listing = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(listing)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names << name;
        }
        ::closedir(listing);
    }
    return names;
}

quint16 freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(500);
}

// SSH servers on 127.0.0.1, each on a port of its own, with host and user keys in a private folder,
// reached through an ssh config file of aliases. Each server's sessions get the PATH it is given.
class LoopbackMachines
{
public:
    explicit LoopbackMachines(const QString& folder) : m_folder(folder) {}
    ~LoopbackMachines()
    {
        for (QProcess* server : std::as_const(m_servers)) {
            server->kill();
            server->waitForFinished(5000);
            delete server;
        }
    }

    // Empty when the machines are ready, otherwise why they cannot be.
    QString prepare()
    {
        for (const char* tool : {"ssh", "ssh-keygen", "rsync", "parallel", "ffmpeg"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                return QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
        }
        m_sshd = QStandardPaths::findExecutable(
            QStringLiteral("sshd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        if (m_sshd.isEmpty())
            return QStringLiteral("sshd is not installed (Debian package openssh-server)");
        // A server started by root needs its privilege separation folder, which only the system
        // service would otherwise create.
        if (::geteuid() == 0 && !QFileInfo::exists(QStringLiteral("/run/sshd")) &&
            !QDir().mkpath(QStringLiteral("/run/sshd")))
            return QStringLiteral("cannot create /run/sshd");
        for (const char* key : {"host_key", "user_key"}) {
            if (QProcess::execute(QStringLiteral("ssh-keygen"),
                                  {QStringLiteral("-q"), QStringLiteral("-t"),
                                   QStringLiteral("ed25519"), QStringLiteral("-N"), QString(),
                                   QStringLiteral("-f"), path(QLatin1String(key))}) != 0)
                return QStringLiteral("ssh-keygen failed");
        }
        if (!QFile::copy(path(QStringLiteral("user_key.pub")),
                         path(QStringLiteral("authorized_keys"))))
            return QStringLiteral("cannot write authorized_keys");
        QFile::setPermissions(path(QStringLiteral("authorized_keys")),
                              QFile::ReadOwner | QFile::WriteOwner);
        const passwd* user = ::getpwuid(::geteuid());
        m_user = user ? QString::fromLocal8Bit(user->pw_name) : QString();
        m_home = user ? QString::fromLocal8Bit(user->pw_dir) : QDir::homePath();
        return {};
    }

    // Starts a server for alias; its sessions find programs in path only.
    QString addMachine(const QString& alias, const QString& path)
    {
        const quint16 port = freePort();
        const QString config = this->path(alias + QStringLiteral(".sshd_config"));
        writeFile(config, QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2\n"
                                         "AuthorizedKeysFile %3\nPidFile %4\nStrictModes no\n"
                                         "UsePAM no\nPasswordAuthentication no\n"
                                         "KbdInteractiveAuthentication no\n"
                                         "PermitRootLogin prohibit-password\nSetEnv PATH=%5\n")
                              .arg(port)
                              .arg(this->path(QStringLiteral("host_key")),
                                   this->path(QStringLiteral("authorized_keys")),
                                   this->path(alias + QStringLiteral(".pid")), path));
        auto* server = new QProcess;
        server->setProcessChannelMode(QProcess::MergedChannels);
        server->start(m_sshd,
                      {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), config});
        m_servers << server;
        for (int i = 0; i < 100 && !accepts(port); ++i)
            QThread::msleep(50);
        if (!accepts(port))
            return QStringLiteral("sshd did not start: %1")
                .arg(QString::fromLocal8Bit(server->readAll()).trimmed());
        addAlias(alias, port);
        m_ports.insert(alias, port);
        if (QProcess::execute(QStringLiteral("ssh"), {QStringLiteral("-F"), sshConfig(), alias,
                                                      QStringLiteral("true")}) != 0)
            return QStringLiteral("cannot log in to the SSH server on port %1").arg(port);
        return {};
    }

    // An alias whose port nothing listens on.
    void addClosedAlias(const QString& alias) { addAlias(alias, freePort()); }

    quint16 port(const QString& alias) const { return m_ports.value(alias); }
    QString sshConfig() const { return path(QStringLiteral("ssh_config")); }
    QString loginLine(const QString& alias) const
    {
        return QStringLiteral("ssh -F %1 %2").arg(sshConfig(), alias);
    }
    // Where the jobs work on every machine: below the login folder of the user.
    QString remoteWorkFolder() const { return m_home + QStringLiteral("/.trevalon-batch"); }
    QString path(const QString& name) const { return m_folder + QLatin1Char('/') + name; }

    static void writeFile(const QString& path, const QString& text)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
        file.write(text.toUtf8());
    }

private:
    void addAlias(const QString& alias, quint16 port)
    {
        writeFile(sshConfig(),
                  QStringLiteral("Host %1\n  HostName 127.0.0.1\n  Port %2\n  User %3\n"
                                 "  IdentityFile %4\n  IdentitiesOnly yes\n"
                                 "  UserKnownHostsFile /dev/null\n  StrictHostKeyChecking no\n"
                                 "  BatchMode yes\n  ConnectTimeout 10\n  LogLevel ERROR\n")
                      .arg(alias)
                      .arg(port)
                      .arg(m_user, path(QStringLiteral("user_key"))));
    }

    QString m_folder;
    QString m_sshd;
    QString m_user;
    QString m_home;
    QVector<QProcess*> m_servers;
    QHash<QString, quint16> m_ports;
};

TEST(RemoteBatch, ConvertsThroughTwoLoopbackMachinesAsALocalRunWould)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // QDir cannot remove names that are not text; rm can, before the folder's own clean-up.
    struct RemoveAll
    {
        QString path;
        ~RemoveAll() { QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), path}); }
    } const removeAll{dir.path()};
    QDir().mkpath(dir.filePath(QStringLiteral("machines")));
    LoopbackMachines machines(dir.filePath(QStringLiteral("machines")));
    const QString why = machines.prepare();
    if (!why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QString systemPath = QStringLiteral("/usr/local/bin:/usr/bin:/bin");
    for (const char* alias : {"m1", "m2"}) {
        const QString failed = machines.addMachine(QLatin1String(alias),
                                                   ProgramFolder + QLatin1Char(':') + systemPath);
        if (!failed.isEmpty())
            GTEST_SKIP() << failed.toStdString();
    }
    // A machine without trevalon-batch is left out; one that passes the start check and then fails
    // every job as a machine that lost its connection would gets jobs, and another machine must
    // redo them.
    const QString flakyBin = dir.filePath(QStringLiteral("flaky-bin"));
    QDir().mkpath(flakyBin);
    LoopbackMachines::writeFile(
        flakyBin + QStringLiteral("/trevalon-batch"),
        QStringLiteral("#!/bin/sh\ncase \"$*\" in --version|*/trevalon-check.wav) exec "
                       "%1/trevalon-batch \"$@\" ;; esac\ntouch %2/flaky-job-$$\nexit 97\n")
            .arg(ProgramFolder, dir.path()));
    QFile::setPermissions(flakyBin + QStringLiteral("/trevalon-batch"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const auto& [alias, path] :
         {std::pair{"bare", systemPath},
          std::pair{"flaky", flakyBin + QLatin1Char(':') + systemPath}}) {
        const QString failed = machines.addMachine(QLatin1String(alias), path);
        if (!failed.isEmpty())
            GTEST_SKIP() << failed.toStdString();
    }
    machines.addClosedAlias(QStringLiteral("down"));
    const QString loginFile = dir.filePath(QStringLiteral("machines.txt"));
    LoopbackMachines::writeFile(loginFile,
                                QStringLiteral("# loopback machines\n2/%1\n2/%2\n%3\n1/%4\n%5\n")
                                    .arg(machines.loginLine(QStringLiteral("m1")),
                                         machines.loginLine(QStringLiteral("m2")),
                                         machines.loginLine(QStringLiteral("bare")),
                                         machines.loginLine(QStringLiteral("flaky")),
                                         machines.loginLine(QStringLiteral("down"))));

    const QString in = dir.filePath(QStringLiteral("in"));
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(in + QStringLiteral("/zz"));
    for (int i = 1; i <= 11; ++i)
        ASSERT_TRUE(
            makeClip(in + QStringLiteral("/clip %1 é.wav").arg(i, 2, 10, QLatin1Char('0')), 1));
    // The same output as clip 01, later in the list: it must be converted after it and win.
    ASSERT_TRUE(makeClip(in + QStringLiteral("/zz/clip 01 é.wav"), 2));
    // Already MP3: copied there, and counted as copied here.
    ASSERT_TRUE(makeClip(in + QStringLiteral("/song.mp3"), 1));
    {
        QFile corrupt(in + QStringLiteral("/broken.mp4"));
        ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
        corrupt.write(QByteArray(4096, '\x5a'));
    }
    // A TMPDIR this long leaves no room for an ssh control socket in the private folder there.
    const QString temp = dir.filePath(QStringLiteral("tmp-") + QString(64, QLatin1Char('t')));
    QDir().mkpath(temp);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temp);
    // Other runs on this machine may come and go in the same folder meanwhile: only what this
    // test's runs added counts. A run's folder carries the id of the trevalon-batch that made it
    // (<host>-<pid>-<time>), and every run of this test has ended when this is asked.
    const QStringList workBefore =
        QDir(machines.remoteWorkFolder())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    const auto leftBehind = [&machines, &workBefore] {
        QStringList added = QDir(machines.remoteWorkFolder())
                                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        added.removeIf([&workBefore](const QString& name) {
            const QString pid = name.section(QLatin1Char('-'), -2, -2);
            return workBefore.contains(name) ||
                   (!pid.isEmpty() && QFileInfo::exists(QStringLiteral("/proc/") + pid));
        });
        return added;
    };

    const BatchOutcome run =
        runBatch({QStringLiteral("--sshloginfile"), loginFile, QStringLiteral("--format"),
                  QStringLiteral("MP3"), QStringLiteral("--settings-dir"), dir.path(),
                  QStringLiteral("--output"), out, QStringLiteral("--copy-same-format"),
                  QStringLiteral("--loudness"), QStringLiteral("tag"), in},
                 RemoteTimeoutMs, environment);
    const std::string shown = (run.out + run.err).toStdString();
    EXPECT_EQ(run.exitCode, 1) << shown;
    EXPECT_TRUE(run.out.contains(QStringLiteral("12 converted, 1 copied, 0 skipped, 1 failed")))
        << shown;
    for (int i = 1; i <= 11; ++i) {
        const QString output =
            out + QStringLiteral("/clip %1 é.mp3").arg(i, 2, 10, QLatin1Char('0'));
        EXPECT_NEAR(durationOf(output), i == 1 ? 2.0 : 1.0, 0.1) << output.toStdString();
    }
    EXPECT_NEAR(durationOf(out + QStringLiteral("/song.mp3")), 1.0, 0.1) << shown;
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), 12) << shown;
    // Converted on other machines, gated here as one album from what each converter reported:
    // every file, the copied one too, carries its own track value and the album's.
    // (zz/clip 01 is an album of its own, and its output is the one that stays.)
    const QString albumGain =
        formatTagOf(out + QStringLiteral("/clip 02 é.mp3"), QStringLiteral("REPLAYGAIN_ALBUM_GAIN"));
    EXPECT_TRUE(albumGain.endsWith(QStringLiteral(" dB"))) << shown;
    EXPECT_TRUE(run.out.contains(in + QStringLiteral(": 12 files, gain ") + albumGain)) << shown;
    for (const QString& name : {QStringLiteral("/clip 07 é.mp3"), QStringLiteral("/song.mp3")}) {
        EXPECT_EQ(formatTagOf(out + name, QStringLiteral("REPLAYGAIN_ALBUM_GAIN")), albumGain)
            << name.toStdString();
        EXPECT_FALSE(formatTagOf(out + name, QStringLiteral("REPLAYGAIN_TRACK_GAIN")).isEmpty())
            << name.toStdString();
    }
    EXPECT_TRUE(run.err.contains(machines.loginLine(QStringLiteral("down")) +
                                 QStringLiteral(": cannot log in")))
        << shown;
    EXPECT_TRUE(run.err.contains(machines.loginLine(QStringLiteral("bare")) +
                                 QStringLiteral(": trevalon-batch does not run there")))
        << shown;
    EXPECT_FALSE(QDir(dir.path()).entryList({QStringLiteral("flaky-job-*")}, QDir::Files).isEmpty())
        << "the broken machine was given no job, so no job was redone elsewhere";

    // The corrupt source is reported with the converter's reason, exactly as a local run reports
    // it.
    const BatchOutcome local =
        runBatch({QStringLiteral("--format"), QStringLiteral("MP3"),
                  QStringLiteral("--settings-dir"), dir.path(), QStringLiteral("--output"),
                  dir.filePath(QStringLiteral("local")), in + QStringLiteral("/broken.mp4")},
                 RemoteTimeoutMs, environment);
    const QString localReason = local.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(2);
    ASSERT_TRUE(localReason.startsWith(in + QStringLiteral("/broken.mp4: ")))
        << local.out.toStdString();
    EXPECT_EQ(run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).last(), localReason) << shown;

    // Nothing is left behind on the machines.
    EXPECT_EQ(leftBehind(), QStringList{});

    // Hostile names and paths, --jobs on each machine, and a machine that cannot convert: the same
    // trevalon-batch, installed without its converter. The remote program, in a folder with a
    // blank, notes on which machine (the port of its SSH server) each call starts and ends.
    const QString brokenBin = dir.filePath(QStringLiteral("broken-bin"));
    QDir().mkpath(brokenBin);
    ASSERT_TRUE(QFile::copy(ProgramFolder + QStringLiteral("/trevalon-batch"),
                            brokenBin + QStringLiteral("/trevalon-batch")));
    ASSERT_EQ(
        machines.addMachine(QStringLiteral("broken"), brokenBin + QLatin1Char(':') + systemPath),
        QString());
    const QString callLog = dir.filePath(QStringLiteral("calls.log"));
    const QString logged = dir.filePath(QStringLiteral("remote bin/logged trevalon-batch"));
    QDir().mkpath(QFileInfo(logged).path());
    LoopbackMachines::writeFile(
        logged, QStringLiteral("#!/bin/sh\nport=${SSH_CONNECTION##* }\necho \"$port +\" >>%1\n"
                               "trevalon-batch \"$@\"\nst=$?\n[ \"$1\" = --version ] || sleep 1\n"
                               "echo \"$port -\" >>%1\nexit $st\n")
                    .arg(callLog));
    QFile::setPermissions(logged, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString hostileLogins = dir.filePath(QStringLiteral("hostile-machines.txt"));
    LoopbackMachines::writeFile(hostileLogins,
                                QStringLiteral("3/%1\n%2\n%3\n")
                                    .arg(machines.loginLine(QStringLiteral("m1")),
                                         machines.loginLine(QStringLiteral("m2")),
                                         machines.loginLine(QStringLiteral("broken"))));
    const QString oddIn = dir.filePath(QStringLiteral("in dir 'q' \u00e9"));
    const QString oddOut = dir.filePath(QStringLiteral("out 'q' \u00e9"));
    const QString oddTemp = dir.filePath(QStringLiteral("tmp 'q' \u00e9"));
    QDir().mkpath(oddIn);
    QDir().mkpath(oddTemp);
    // An output that is there already: the job's output is numbered here, and the file that
    // comes back under the name it has there must still find the numbered path.
    QDir().mkpath(oddOut);
    LoopbackMachines::writeFile(oddOut + QStringLiteral("/p1.mp3"), QStringLiteral("kept"));
    // A name that would forge another job's report and cut its own if a machine printed it.
    const QString forging = QStringLiteral("\ntrevalon-remote 0 ended 1 41\\c x");
    const QString corrupt = oddIn + QStringLiteral("/bad") + forging + QStringLiteral(".mp4");
    {
        QFile file(corrupt);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, '\x5a'));
    }
    QStringList sources;
    for (int i = 0; i < 5; ++i) {
        sources << oddIn + QStringLiteral("/p%1.wav").arg(i);
        ASSERT_TRUE(makeClip(sources.last(), 1));
    }
    sources.insert(1, corrupt);
    sources << oddIn + QStringLiteral("/.dot") + forging + QStringLiteral(".wav");
    ASSERT_TRUE(makeClip(sources.last(), 2));
    // Two names that are not UTF-8 and show alike ("a\uFFFD.flac"), found in a folder: each must
    // come back to the output named from its own bytes.
    const QString latin = oddIn + QStringLiteral("/latin");
    QDir().mkpath(latin);
    for (const auto& [name, seconds] : {std::pair{"a\xfc.flac", 1}, std::pair{"a\xfd.flac", 2}}) {
        ASSERT_TRUE(makeClip(latin + QStringLiteral("/clip.flac"), seconds));
        ASSERT_EQ(::rename(QFile::encodeName(latin + QStringLiteral("/clip.flac")).constData(),
                           (QFile::encodeName(latin) + '/' + name).constData()),
                  0);
    }
    QProcessEnvironment oddEnvironment = environment;
    oddEnvironment.insert(QStringLiteral("TMPDIR"), oddTemp);
    const QStringList oddArguments = {QStringLiteral("--format"),       QStringLiteral("MP3"),
                                      QStringLiteral("--settings-dir"), dir.path(),
                                      QStringLiteral("--output"),       oddOut};
    const BatchOutcome hostile =
        runBatch(QStringList{QStringLiteral("--sshloginfile"), hostileLogins,
                             QStringLiteral("--remote-program"), logged, QStringLiteral("--jobs"),
                             QStringLiteral("1"), QStringLiteral("--existing"),
                             QStringLiteral("number")} +
                     oddArguments + sources + QStringList{latin},
                 RemoteTimeoutMs, oddEnvironment);
    const std::string hostileShown = (hostile.out + hostile.err).toStdString();
    EXPECT_EQ(hostile.exitCode, 1) << hostileShown;
    EXPECT_TRUE(hostile.out.contains(QStringLiteral("8 converted, 0 copied, 0 skipped, 1 failed")))
        << hostileShown;
    EXPECT_FALSE(hostile.err.contains(QStringLiteral("not a job report"))) << hostileShown;
    EXPECT_TRUE(hostile.err.contains(machines.loginLine(QStringLiteral("broken")) +
                                     QStringLiteral(": the test conversion failed there: the "
                                                    "converter could not be started")))
        << hostileShown;
    for (int i = 0; i < 5; ++i) {
        const QString name = i == 1 ? QStringLiteral("/p1 (2).mp3") : QStringLiteral("/p%1.mp3").arg(i);
        EXPECT_NEAR(durationOf(oddOut + name), 1.0, 0.1) << i;
    }
    {
        QFile kept(oddOut + QStringLiteral("/p1.mp3"));
        EXPECT_TRUE(kept.open(QIODevice::ReadOnly) && kept.readAll() == "kept");
    }
    EXPECT_NEAR(durationOf(oddOut + QStringLiteral("/.mp3")), 2.0, 0.1);
    for (const auto& [name, seconds] : {std::pair{"a\xfc.mp3", 1.0}, std::pair{"a\xfd.mp3", 2.0}}) {
        const QString probe = dir.filePath(QStringLiteral("probe.mp3"));
        QFile::remove(probe);
        ASSERT_EQ(::symlink((QFile::encodeName(oddOut) + '/' + name).constData(),
                            QFile::encodeName(probe).constData()),
                  0);
        EXPECT_NEAR(durationOf(probe), seconds, 0.1) << name << hostileShown;
    }
    EXPECT_EQ(namesIn(QFile::encodeName(oddOut)).size(), 9) << hostileShown;
    const BatchOutcome corruptHere =
        runBatch(oddArguments + QStringList{corrupt}, RemoteTimeoutMs, oddEnvironment);
    const QString corruptReason =
        corruptHere.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(2);
    ASSERT_TRUE(corruptReason.contains(QStringLiteral("\\ntrevalon-remote 0 ended 1 41\\\\c x")))
        << corruptHere.out.toStdString();
    EXPECT_EQ(hostile.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).last(), corruptReason)
        << hostileShown;
    // Each machine ran at most as many at once as its line or --jobs says; the line's count wins.
    QHash<QString, int> running;
    QHash<QString, int> most;
    QFile calls(callLog);
    ASSERT_TRUE(calls.open(QIODevice::ReadOnly));
    for (const QByteArray& line : calls.readAll().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() != 2)
            continue;
        const QString port = QString::fromLatin1(words[0]);
        running[port] += words[1] == "+" ? 1 : -1;
        most[port] = std::max(most[port], running[port]);
    }
    const QString m1 = QString::number(machines.port(QStringLiteral("m1")));
    const QString m2 = QString::number(machines.port(QStringLiteral("m2")));
    EXPECT_GE(most[m1], 2) << hostileShown;
    EXPECT_LE(most[m1], 3) << hostileShown;
    EXPECT_EQ(most[m2], 1) << hostileShown;
    EXPECT_EQ(leftBehind(), QStringList{});
    EXPECT_TRUE(
        QDir(oddTemp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    // Every shared connection was closed and its socket folder removed (runs still going on this
    // machine keep theirs).
    QStringList sockets = QDir(QStringLiteral("/tmp/trevalon-%1").arg(::getuid()))
                              .entryList({QStringLiteral("ssh-*")}, QDir::AllEntries | QDir::System);
    sockets.removeIf([](const QString& name) {
        return QFileInfo::exists(QStringLiteral("/proc/") + name.mid(4));
    });
    EXPECT_EQ(sockets, QStringList{});

    // With no machine that can convert, the run fails before it starts.
    const QString brokenOnly = dir.filePath(QStringLiteral("broken-only.txt"));
    LoopbackMachines::writeFile(brokenOnly, machines.loginLine(QStringLiteral("broken")));
    const QString noOut = dir.filePath(QStringLiteral("no-out"));
    const BatchOutcome none =
        runBatch({QStringLiteral("--sshloginfile"), brokenOnly, QStringLiteral("--format"),
                  QStringLiteral("MP3"), QStringLiteral("--settings-dir"), dir.path(),
                  QStringLiteral("--output"), noOut, sources.first()},
                 RemoteTimeoutMs, environment);
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.out.contains(QStringLiteral("0 converted, 1 failed")) &&
                none.out.contains(QStringLiteral(": no machine of %1 can convert").arg(brokenOnly)))
        << (none.out + none.err).toStdString();
    EXPECT_FALSE(QFileInfo::exists(noOut));
    EXPECT_EQ(leftBehind(), QStringList{});

    // A TMPDIR that is not text is refused with its reason; Qt's temporary folder is then empty,
    // and the run's folders would otherwise be made in the root folder.
    const QByteArray latinTemp = QFile::encodeName(dir.path()) + "/t\xfc";
    ASSERT_EQ(::mkdir(latinTemp.constData(), 0700), 0);
    QProcess latinRun;
    latinRun.setProcessEnvironment(environment);
    latinRun.start(QStringLiteral("/bin/sh"),
                   {QStringLiteral("-c"),
                    QStringLiteral("TMPDIR=\"$(printf '%1/t\\374')\" exec \"$@\"").arg(dir.path()),
                    QStringLiteral("sh"), ProgramFolder + QStringLiteral("/trevalon-batch"),
                    QStringLiteral("--sshloginfile"), brokenOnly, QStringLiteral("--settings-dir"),
                    dir.path(), QStringLiteral("--output"), noOut, sources.first()});
    ASSERT_TRUE(latinRun.waitForFinished(RemoteTimeoutMs));
    const QString latinShown = QString::fromUtf8(latinRun.readAll());
    EXPECT_EQ(latinRun.exitCode(), 1) << latinShown.toStdString();
    EXPECT_TRUE(latinShown.contains(QStringLiteral("no temporary folder for the run: TMPDIR (")) &&
                latinShown.contains(QStringLiteral(") is not UTF-8 text")))
        << latinShown.toStdString();
    EXPECT_EQ(namesIn(latinTemp), QSet<QByteArray>());
    EXPECT_FALSE(QFileInfo::exists(noOut));

    // Ctrl-C stops the conversion on the machine and leaves nothing behind: no partial output here,
    // no copied source or partial output there, no converter running.
    const QString longIn = dir.filePath(QStringLiteral("long"));
    const QString longOut = dir.filePath(QStringLiteral("long-out"));
    QDir().mkpath(longIn);
    ASSERT_TRUE(makeClip(longIn + QStringLiteral("/long.flac"), 1200));
    const QString oneMachine = dir.filePath(QStringLiteral("one-machine.txt"));
    LoopbackMachines::writeFile(oneMachine, machines.loginLine(QStringLiteral("m1")));
    QProcess stopped;
    stopped.setProcessEnvironment(environment);
    stopped.start(ProgramFolder + QStringLiteral("/trevalon-batch"),
                  {QStringLiteral("--sshloginfile"), oneMachine, QStringLiteral("--format"),
                   QStringLiteral("MP3"), QStringLiteral("--settings-dir"), dir.path(),
                   QStringLiteral("--output"), longOut, longIn});
    // The copy of this test's source there, as the converter there names it (job 0).
    const QString remoteCopies = QStringLiteral("/0/") + RemoteSourcePath(longIn) +
                                 QStringLiteral("/long.flac");
    for (int i = 0; i < 1200 && !anyProcessMentions(remoteCopies); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(anyProcessMentions(remoteCopies)) << "the conversion never started there";
    ::kill(static_cast<pid_t>(stopped.processId()), SIGINT);
    ASSERT_TRUE(stopped.waitForFinished(60000));
    EXPECT_EQ(stopped.exitCode(), 130) << stopped.readAllStandardError().toStdString();
    EXPECT_TRUE(QDir(longOut).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_EQ(leftBehind(), QStringList{});
    for (int i = 0; i < 100 && anyProcessMentions(remoteCopies); ++i)
        QThread::msleep(50);
    EXPECT_FALSE(anyProcessMentions(remoteCopies)) << "the converter there is still running";
    // Nor in this machine's temporary folder, after either run.
    EXPECT_TRUE(
        QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty())
        << QDir(temp)
               .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
               .join(QLatin1Char(' '))
               .toStdString();
}

TEST(RemoteBatch, WithoutParallelOnlyTheDryRunWorks)
{
    QTemporaryDir dir;
    const QString loginFile = dir.filePath(QStringLiteral("machines.txt"));
    LoopbackMachines::writeFile(loginFile, QStringLiteral("m1\n"));
    const QString source = dir.filePath(QStringLiteral("a b.wav"));
    LoopbackMachines::writeFile(source, QString());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), dir.path());
    const QStringList arguments = {QStringLiteral("--sshloginfile"),
                                   loginFile,
                                   QStringLiteral("--settings-dir"),
                                   dir.path(),
                                   QStringLiteral("--output"),
                                   dir.filePath(QStringLiteral("out")),
                                   source};

    const BatchOutcome run = runBatch(arguments, RemoteTimeoutMs, environment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("Debian package 'parallel'")))
        << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();

    const BatchOutcome dryRun = runBatch(QStringList{QStringLiteral("--dry-run")} + arguments,
                                         RemoteTimeoutMs, environment);
    EXPECT_EQ(dryRun.exitCode, 0) << dryRun.err.toStdString();
    const QStringList lines = dryRun.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << dryRun.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("parallel ")) && lines[0].contains(loginFile))
        << lines[0].toStdString();
    EXPECT_EQ(
        lines[1],
        QStringLiteral("0: %1 -> %2").arg(source, dir.filePath(QStringLiteral("out/a b.mp3"))));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("out"))));

    // An output already there and up to date is skipped here, and the line says so; the check
    // of the outputs travels to the machines.
    QDir().mkpath(dir.filePath(QStringLiteral("out")));
    LoopbackMachines::writeFile(dir.filePath(QStringLiteral("out/a b.mp3")), QString());
    const BatchOutcome again =
        runBatch(QStringList{QStringLiteral("--dry-run"), QStringLiteral("--existing"),
                             QStringLiteral("skip"), QStringLiteral("--verify")} +
                     arguments,
                 RemoteTimeoutMs, environment);
    const QStringList againLines = again.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(againLines.size(), 2) << again.out.toStdString();
    EXPECT_TRUE(againLines[0].contains(QStringLiteral(" --verify "))) << againLines[0].toStdString();
    EXPECT_EQ(againLines[1],
              QStringLiteral("0: %1 -> %2  # skipped: the output exists and is up to date")
                  .arg(source, dir.filePath(QStringLiteral("out/a b.mp3"))));
}

} // namespace
