#include "platform/converter_processes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// A converter stand-in placed at <folder>/data/conv.
QString installConverter(const QString& folder)
{
    QDir().mkpath(folder + QStringLiteral("/data"));
    const QString path = folder + QStringLiteral("/data/conv");
    QFile::copy(QStringLiteral(TREVALON_TEST_TOOLS_DIR "/fake_converter"), path);
    return path;
}

bool alive(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0;
}

// Started detached, so this program is not its ancestor: it stands for another program's copy.
qint64 startForeign(const QString& program)
{
    qint64 pid = 0;
    QProcess::startDetached(program, {QStringLiteral("hang")}, {}, &pid);
    return pid;
}

} // namespace

TEST(ConverterProcesses, OnlyConvertersThisProgramStartedAreTerminated)
{
    QTemporaryDir dir;
    const QString converter = installConverter(dir.filePath(QStringLiteral("program")));
    const QString otherCopy = installConverter(dir.filePath(QStringLiteral("elsewhere")));
    EXPECT_TRUE(OwnConverterProcesses(converter).isEmpty());

    QProcess child;
    child.start(converter, {QStringLiteral("spawn:20000"), QStringLiteral("hang")});
    ASSERT_TRUE(child.waitForStarted());
    QProcess sameNameOtherFile;
    sameNameOtherFile.start(otherCopy, {QStringLiteral("hang")});
    ASSERT_TRUE(sameNameOtherFile.waitForStarted());
    const qint64 foreignSameFile = startForeign(converter);
    const qint64 foreignSameName = startForeign(otherCopy);
    ASSERT_GT(foreignSameFile, 0);
    ASSERT_GT(foreignSameName, 0);

    // The child and the helper it forked are ours; wait until the helper exists.
    QElapsedTimer clock;
    clock.start();
    while (OwnConverterProcesses(converter).size() < 2 && clock.elapsed() < 5000)
        QTest::qWait(10);
    const QList<qint64> own = OwnConverterProcesses(converter);
    ASSERT_EQ(own.size(), 2);
    EXPECT_TRUE(own.contains(child.processId()));

    // A spared converter stays with the helper it started; then everything of ours goes and
    // nothing else does.
    const QSet<qint64> everything(own.begin(), own.end());
    EXPECT_TRUE(KillProcessesByName(converter, {child.processId()}).isEmpty());
    EXPECT_EQ(child.state(), QProcess::Running);
    for (const qint64 pid : own)
        EXPECT_TRUE(alive(pid)) << pid;

    QSignalSpy childEnded(&child, &QProcess::finished);
    const QList<qint64> signalled = KillProcessesByName(converter);
    EXPECT_EQ(QSet<qint64>(signalled.begin(), signalled.end()), everything);
    EXPECT_TRUE(childEnded.wait(5000));
    clock.restart();
    while (std::any_of(own.begin(), own.end(), alive) && clock.elapsed() < 5000)
        QTest::qWait(10);
    for (const qint64 pid : own)
        EXPECT_FALSE(alive(pid)) << pid;

    EXPECT_TRUE(alive(foreignSameFile));
    EXPECT_TRUE(alive(foreignSameName));
    EXPECT_EQ(sameNameOtherFile.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(foreignSameFile), SIGKILL);
    ::kill(static_cast<pid_t>(foreignSameName), SIGKILL);
    sameNameOtherFile.kill();
    sameNameOtherFile.waitForFinished();
}
