#include "cli/batch_options.h"
#include "cli/batch_process.h"
#include "cli/loopback_machines.h"
#include "cli/remote_command.h"
#include "cli/remote_connection.h"
#include "cli/remote_reports.h"
#include "engine/command_line.h"
#include "settings/extra_settings.h"
#include "support/folder_names.h"

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
using loopback::LoopbackMachines;

// Loopback machines on a busy two-core machine: generous.
constexpr int RemoteTimeoutMs = 280000;

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
    const QString socketParent = QStringLiteral("/tmp/trevalon-%1").arg(::getuid());
    const QStringList socketsBefore = QDir(socketParent).entryList(
        {QStringLiteral("ssh-*")}, QDir::AllEntries | QDir::System);
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
        logged, QStringLiteral("#!/bin/sh\nport=${SSH_CONNECTION##* }\n"
                               "echo \"$port + $(ls -d ../[0-9]* 2>/dev/null | wc -l)\" >>%1\n"
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
    int mostFolders = 0;
    QFile calls(callLog);
    ASSERT_TRUE(calls.open(QIODevice::ReadOnly));
    for (const QByteArray& line : calls.readAll().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() < 2)
            continue;
        const QString port = QString::fromLatin1(words[0]);
        running[port] += words[1] == "+" ? 1 : -1;
        most[port] = std::max(most[port], running[port]);
        mostFolders = std::max(mostFolders, words.value(2).trimmed().toInt());
    }
    // A job removes the folder its slot's previous job left: with 4 slots (the loopback machines
    // share one folder), a job sees at most its own folder, the 3 other running jobs' and the
    // 3 other slots' last ones, never all 9 jobs' folders.
    EXPECT_GE(mostFolders, 1) << hostileShown;
    EXPECT_LE(mostFolders, 7) << hostileShown;
    const QString m1 = QString::number(machines.port(QStringLiteral("m1")));
    const QString m2 = QString::number(machines.port(QStringLiteral("m2")));
    EXPECT_GE(most[m1], 2) << hostileShown;
    EXPECT_LE(most[m1], 3) << hostileShown;
    EXPECT_EQ(most[m2], 1) << hostileShown;
    EXPECT_EQ(leftBehind(), QStringList{});
    EXPECT_TRUE(
        QDir(oddTemp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    // Every shared connection was closed and its socket folder removed (runs still going on this
    // machine keep theirs, and what other runs left before this test is theirs).
    QStringList sockets =
        QDir(socketParent).entryList({QStringLiteral("ssh-*")}, QDir::AllEntries | QDir::System);
    sockets.removeIf([&socketsBefore](const QString& name) {
        return socketsBefore.contains(name) ||
               QFileInfo::exists(QStringLiteral("/proc/") + name.mid(4));
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
