#include "batch_fixture.h"
#include "qt_print.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A program folder whose data/conv is the scripted fake converter: each source file holds the
// script its job runs, and the fake logs every source it is started with.
class FakeBatch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(program() + QStringLiteral("/data"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TREVALON_TEST_TOOLS_DIR "/fake_converter"),
                                program() + QStringLiteral("/data/conv")));
        rig = std::make_unique<BatchRig>(program());
        rig->settings.outputFolder = m_dir.filePath(QStringLiteral("out"));
        rig->settings.soundIndex = 1;
    }

    QString program() const { return m_dir.filePath(QStringLiteral("program")); }

    QString source(const QString& name, const QStringList& script)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(script.join(QLatin1Char('\n')).toUtf8() + '\n');
        return path;
    }

    // A job that reports a 4 s input in pieces, writes its output and exits with exitCode.
    QString job(const QString& name, int exitCode = 0)
    {
        return source(name, {QStringLiteral("print:  Duration: 00:00:04.00, start: 0.0\\n"),
                             QStringLiteral("print:size= 1kB time=00:00:0"),
                             QStringLiteral("sleep:20"), QStringLiteral("print:2.00 b=1\\r"),
                             QStringLiteral("sleep:20"),
                             QStringLiteral("print:size= 2kB time=00:00:04.00 b=1\\r"),
                             QStringLiteral("print:\\n") + name + QStringLiteral(": error line\\n"),
                             QStringLiteral("write"), QStringLiteral("exit:") +
                                                          QString::number(exitCode)});
    }

    QStringList invocations() const
    {
        QFile log(program() + QStringLiteral("/data/invocations.log"));
        log.open(QIODevice::ReadOnly);
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<BatchRig> rig;
};

} // namespace

TEST_F(FakeBatch, StartOnAnEmptyListAsksForAFile)
{
    EXPECT_FALSE(rig->driver.Start());
    ASSERT_EQ(rig->sink.messages.size(), 1);
    EXPECT_EQ(rig->sink.messages[0].text, QStringLiteral("Please add a file"));
    EXPECT_EQ(rig->sink.messages[0].title, QStringLiteral("Add"));
    EXPECT_EQ(rig->sink.messages[0].icon, MessageSink::Icon::Exclamation);
    EXPECT_TRUE(rig->view.events.isEmpty());
    EXPECT_EQ(rig->driver.state(), BatchDriver::State::Idle);
}

TEST_F(FakeBatch, ConvertsFirstToLastWithFreshSettingsAndEndsWithDone)
{
    const QStringList sources = {job(QStringLiteral("a.wav")), job(QStringLiteral("b.wav")),
                                 job(QStringLiteral("c.wav"))};
    for (const QString& path : sources)
        rig->add(path);
    rig->settings.soundIndex = 0;

    // The list at every job start, and a folder change after the first job has started.
    QStringList heads;
    QList<int> counts;
    const QString laterFolder = m_dir.filePath(QStringLiteral("later"));
    QObject::connect(&rig->driver, &BatchDriver::jobStarted, [&](const QString&) {
        heads << rig->list.entry(0).queuePath;
        counts << rig->list.count();
        EXPECT_EQ(rig->driver.TotalSeconds(), 0);
        rig->settings.outputFolder = laterFolder;
    });
    ASSERT_TRUE(rig->runToEnd());

    EXPECT_EQ(invocations(), sources);
    EXPECT_EQ(heads, sources);
    EXPECT_EQ(counts, (QList<int>{3, 2, 1}));
    EXPECT_TRUE(rig->list.isEmpty());
    EXPECT_TRUE(QFile::exists(m_dir.filePath(QStringLiteral("out/a.mp3"))));
    EXPECT_TRUE(QFile::exists(laterFolder + QStringLiteral("/b.mp3")));
    EXPECT_TRUE(QFile::exists(laterFolder + QStringLiteral("/c.mp3")));
    EXPECT_EQ(rig->driver.report().converted, 3);
    EXPECT_TRUE(rig->sink.messages.isEmpty());

    const QStringList& events = rig->view.events;
    EXPECT_EQ(events.first(), QStringLiteral("controls off"));
    // Each file ends at the full bar (reports that arrive together show only the latest).
    QStringList captions = rig->view.captions();
    EXPECT_EQ(captions.takeLast(), QStringLiteral("Done."));
    EXPECT_EQ(captions.count(QStringLiteral("100%")), 3);
    EXPECT_EQ(captions.count(QStringLiteral("50%")) + 3, captions.size());
    EXPECT_EQ(captions.last(), QStringLiteral("100%"));
    EXPECT_EQ(events.count(QStringLiteral("reveal on")), 3);
    EXPECT_EQ(events.mid(events.size() - 5),
              (QStringList{QStringLiteral("open ") + laterFolder,
                           QStringLiteral("sound ") + program() + QStringLiteral("/sound.wav"),
                           QStringLiteral("reveal off"), QStringLiteral("controls on"),
                           QStringLiteral("progress Done.")}));
    EXPECT_EQ(rig->view.lastWidth, 0.0);
}

TEST_F(FakeBatch, FailuresAreListedOnceAtTheEndAndAddedEntriesConverted)
{
    const QString good = job(QStringLiteral("good.wav"));
    const QString bad = job(QStringLiteral("bad.wav"), 1);
    const QString late = job(QStringLiteral("late.wav"));
    rig->add(good);
    rig->add(bad);

    bool added = false;
    QObject::connect(&rig->driver, &BatchDriver::jobStarted, [&](const QString&) {
        if (added)
            return;
        added = true;
        rig->add(late);
        EXPECT_FALSE(rig->driver.Start()); // no second batch inside this one
    });
    ASSERT_TRUE(rig->runToEnd());

    EXPECT_EQ(invocations(), (QStringList{good, bad, late}));
    EXPECT_TRUE(rig->list.isEmpty());
    EXPECT_EQ(rig->driver.report().converted, 2);
    ASSERT_EQ(rig->sink.messages.size(), 1);
    EXPECT_EQ(rig->sink.messages[0].title, BatchDriver::failureTitle());
    EXPECT_EQ(rig->sink.messages[0].text,
              QStringLiteral("This file could not be converted:\n\nbad.wav\nbad.wav: error line"));
    EXPECT_FALSE(rig->view.events.join(QLatin1Char('|')).contains(QStringLiteral("sound")));
    EXPECT_EQ(rig->view.events.last(), QStringLiteral("progress Done."));
}

TEST_F(FakeBatch, RemovingTheRunningEntryLeavesTheNextOneQueued)
{
    const QStringList sources = {job(QStringLiteral("a.wav")), job(QStringLiteral("b.wav")),
                                 job(QStringLiteral("c.wav"))};
    for (const QString& path : sources)
        rig->add(path);
    int started = 0;
    QObject::connect(&rig->driver, &BatchDriver::jobStarted, [&](const QString&) {
        if (++started == 1)
            rig->list.removeEntry(0); // the user removes the file being converted
    });
    ASSERT_TRUE(rig->runToEnd());
    EXPECT_EQ(invocations(), sources);
    EXPECT_EQ(rig->driver.report().converted, 3);
}

TEST_F(FakeBatch, JobThatCannotStartStopsTheBatchOnce)
{
    rig->add(job(QStringLiteral("a.wav")));
    rig->add(job(QStringLiteral("b.wav")));
    QFile::remove(program() + QStringLiteral("/data/conv"));

    QSignalSpy finished(&rig->driver, &BatchDriver::finished);
    ASSERT_TRUE(rig->runToEnd());
    QTest::qWait(200);
    EXPECT_EQ(finished.size(), 1);
    ASSERT_EQ(rig->sink.messages.size(), 1);
    EXPECT_EQ(rig->sink.messages[0].text, QStringLiteral("File or command not found"));
    EXPECT_EQ(rig->list.count(), 2);
    EXPECT_TRUE(rig->driver.report().stoppedEarly);
    EXPECT_EQ(rig->view.events, (QStringList{QStringLiteral("controls off"),
                                             QStringLiteral("controls on"),
                                             QStringLiteral("progress ")}));
    EXPECT_EQ(rig->view.lastWidth, 0.0);

    // An unknown format has no command at all.
    rig->settings.formatIndex = 9;
    ASSERT_TRUE(rig->runToEnd());
    EXPECT_EQ(rig->sink.messages.last().text, QStringLiteral("Command Line empty"));
    EXPECT_EQ(rig->list.count(), 2);
}

TEST_F(FakeBatch, StopKeepsTheEntryAndRemovesThePartialFile)
{
    rig->add(source(QStringLiteral("a.wav"), {QStringLiteral("grow")}));
    QObject::connect(&rig->driver, &BatchDriver::jobStarted,
                     [&](const QString&) { QTimer::singleShot(100, [&] { rig->driver.stop(); }); });
    ASSERT_TRUE(rig->runToEnd());
    EXPECT_TRUE(rig->driver.report().stoppedEarly);
    EXPECT_EQ(rig->list.count(), 1);
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("out/a.mp3"))));
    EXPECT_EQ(rig->view.events.last(), QStringLiteral("controls on"));
    EXPECT_TRUE(rig->sink.messages.isEmpty());
}

TEST_F(FakeBatch, ConverterOfThisProgramStillRunningIsEndedBeforeTheFirstJob)
{
    QProcess leftOver;
    leftOver.start(program() + QStringLiteral("/data/conv"), {QStringLiteral("hang")});
    ASSERT_TRUE(leftOver.waitForStarted());
    QSignalSpy leftOverEnded(&leftOver, &QProcess::finished);

    rig->add(job(QStringLiteral("a.wav")));
    rig->add(job(QStringLiteral("b.wav")));
    ASSERT_TRUE(rig->runToEnd());
    EXPECT_EQ(rig->driver.report().strayConvertersTerminated, 1);
    EXPECT_EQ(rig->driver.report().converted, 2);
    EXPECT_TRUE(leftOverEnded.size() == 1 || leftOverEnded.wait(5000));
}
