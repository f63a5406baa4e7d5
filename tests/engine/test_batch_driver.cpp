#include "batch_fixture.h"
#include "qt_print.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

using namespace Qt::StringLiterals;

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

TEST_F(FakeBatch, NamesFromTheSettingsApplyToTheWindowsEntriesAddedOnesIncluded)
{
    // Three sources of one name in three folders; the third is added while the batch runs. The
    // window's entries carry no names: the batch gives them, numbered in list order.
    QStringList sources;
    for (const char* folder : {"one", "two", "three"}) {
        QDir(m_dir.path()).mkdir(QLatin1String(folder));
        sources << job(QLatin1String(folder) + QStringLiteral("/song.wav"));
    }
    rig->settings.library.namePattern = QStringLiteral("named/{filename}");
    rig->add(sources[0]);
    rig->add(sources[1]);
    bool added = false;
    QObject::connect(&rig->driver, &BatchDriver::jobStarted, [&](const QString&) {
        if (!std::exchange(added, true))
            rig->add(sources[2]);
    });
    ASSERT_TRUE(rig->runToEnd());

    EXPECT_EQ(invocations(), sources);
    const QDir named(m_dir.filePath(QStringLiteral("out/named")));
    EXPECT_EQ(named.entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("song (2).mp3"), QStringLiteral("song (3).mp3"),
                           QStringLiteral("song.mp3")}));
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("out/song.mp3"))));
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

TEST_F(FakeBatch, EntriesRemovedDuringABatchTakeTheirFoldersWithThem)
{
    // Two albums of an added folder with the same track name, and a file of that folder that was
    // added on its own and so belongs in the output folder itself.
    rig->settings.keepFolders = true;
    const QString library = m_dir.filePath(QStringLiteral("Bibliothèque"));
    for (const char* album : {"Rock Été/A", "Rock Été/B"})
        ASSERT_TRUE(QDir(library).mkpath(QString::fromUtf8(album)));
    const QString added = library + QStringLiteral("/Rock Été");
    const auto found = [&](const QString& name) {
        rig->list.appendFoundPaths({job(QStringLiteral("Bibliothèque/Rock Été/") + name)}, added);
    };
    found(QStringLiteral("A/01 Intro.wav"));
    found(QStringLiteral("B/01 Intro.wav"));
    rig->add(job(QStringLiteral("Bibliothèque/Rock Été/A/solo.wav")));
    found(QStringLiteral("B/02 Outro.wav"));

    // The user removes an entry further down, then the entry being converted.
    int started = 0;
    QObject::connect(&rig->driver, &BatchDriver::jobStarted, [&](const QString&) {
        if (++started == 1)
            rig->list.removeEntry(1);
        else if (started == 2)
            rig->list.removeEntry(0);
    });
    ASSERT_TRUE(rig->runToEnd());

    EXPECT_EQ(rig->driver.report().converted, 3);
    const QDir out(rig->settings.outputFolder);
    EXPECT_TRUE(out.exists(QStringLiteral("Rock Été/A/01 Intro.mp3")));
    EXPECT_TRUE(out.exists(QStringLiteral("solo.mp3")));
    EXPECT_TRUE(out.exists(QStringLiteral("Rock Été/B/02 Outro.mp3")));
    EXPECT_FALSE(out.exists(QStringLiteral("Rock Été/B/01 Intro.mp3")));
    EXPECT_FALSE(out.exists(QStringLiteral("01 Intro.mp3")));
    EXPECT_FALSE(out.exists(QStringLiteral("02 Outro.mp3")));
    EXPECT_FALSE(out.exists(QStringLiteral("Rock Été/A/solo.mp3")));
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
                                             QStringLiteral("progress "),
                                             QStringLiteral("controls on")}));
    EXPECT_EQ(rig->view.lastWidth, 0.0);

    // An unknown format has no command at all.
    rig->settings.formatIndex = 12;
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

namespace {

// What the scheduler started and finished, in order, by source path below folder.
struct JobLog
{
    JobLog(BatchScheduler& scheduler, const QString& folder)
    {
        const auto name = [folder](const ScheduledJob& job) {
            const QStringList& arguments = job.plan.invocation.arguments;
            return QDir(folder).relativeFilePath(
                arguments.value(arguments.indexOf(u"-i"_s) + 1));
        };
        QObject::connect(&scheduler, &BatchScheduler::jobStarted,
                         [this, name](const ScheduledJob& job) { events << u"start "_s + name(job); });
        QObject::connect(&scheduler, &BatchScheduler::jobFinished,
                         [this, name](const ScheduledJob& job, const JobOutcome&) {
                             events << u"end "_s + name(job);
                         });
    }
    qsizetype at(const QString& event) const { return events.indexOf(event); }

    QStringList events;
};

} // namespace

TEST_F(FakeBatch, TwoAtOnceNeverShareAnOutputAndShowTheBatchAsAWhole)
{
    QDir(m_dir.path()).mkpath(u"one"_s);
    QDir(m_dir.path()).mkpath(u"two"_s);
    QDir(m_dir.path()).mkpath(u"three"_s);
    rig->add(source(u"one/a.wav"_s, {u"print:Duration: 00:00:04.00, start\\n"_s,
                                     u"print:time=00:00:02.00 b\\r"_s, u"sleep:300"_s, u"write"_s}));
    rig->add(source(u"two/a.wav"_s, {u"write"_s}));
    rig->add(source(u"b.wav"_s, {u"sleep:100"_s, u"write"_s}));
    // Its output differs from the others' only in case: one file on a FAT or exFAT stick.
    rig->add(source(u"three/A.wav"_s, {u"write"_s}));
    const QString late = source(u"late.wav"_s, {u"sleep:100"_s, u"write"_s});
    rig->driver.setFilesAtOnce(2);

    JobLog log(rig->driver.scheduler(), m_dir.path());
    QStringList rowCaptions;
    QObject::connect(&rig->list, &QAbstractItemModel::dataChanged, [&](const QModelIndex& index) {
        rowCaptions << index.siblingAtColumn(FileListModel::FormatColumn).data().toString();
    });
    bool added = false;
    QObject::connect(&rig->driver, &BatchDriver::jobStarted, [&](const QString&) {
        if (!std::exchange(added, true))
            rig->add(late); // joins the batch while it runs
    });
    ASSERT_TRUE(rig->runToEnd());

    // The later "a" (or "A") waits for the earlier one and is not overtaken; "b" and the added entry
    // start while the first "a" still runs.
    EXPECT_GT(log.at(u"start two/a.wav"_s), log.at(u"end one/a.wav"_s)) << log.events.join(u", ").toStdString();
    EXPECT_GT(log.at(u"start three/A.wav"_s), log.at(u"end two/a.wav"_s)) << log.events.join(u", ").toStdString();
    EXPECT_LT(log.at(u"start b.wav"_s), log.at(u"end one/a.wav"_s)) << log.events.join(u", ").toStdString();
    EXPECT_LT(log.at(u"start late.wav"_s), log.at(u"end one/a.wav"_s))
        << log.events.join(u", ").toStdString();
    EXPECT_EQ(rig->driver.report().converted, 5);
    EXPECT_TRUE(rig->list.isEmpty());

    // The running entry shows its own progress in its row; the bar shows the whole batch: one
    // file of five half done is a tenth, it never goes back, and it ends full before "Done.".
    EXPECT_TRUE(rowCaptions.contains(u"50%"_s)) << rowCaptions.join(u", ").toStdString();
    QStringList captions = rig->view.captions();
    EXPECT_EQ(captions.takeLast(), u"Done."_s);
    EXPECT_TRUE(captions.contains(u"10%"_s)) << captions.join(u", ").toStdString();
    for (qsizetype i = 1; i < captions.size(); ++i)
        EXPECT_GE(captions[i].chopped(1).toDouble(), captions[i - 1].chopped(1).toDouble())
            << captions.join(u", ").toStdString();
    EXPECT_EQ(captions.last(), u"100%"_s);
}

TEST_F(FakeBatch, RunningEntryTakenOffTheListKeepsTheBarFromFallingBack)
{
    // A length the converter never reports shows as a full share while the job runs.
    const QString unknown = source(u"unknown.wav"_s, {u"print:time=00:00:01.00 b\\r"_s,
                                                      u"sleep:300"_s, u"write"_s});
    rig->add(unknown);
    rig->add(source(u"known.wav"_s, {u"print:Duration: 00:00:04.00, start\\n"_s, u"sleep:100"_s,
                                     u"print:time=00:00:02.00 b\\r"_s, u"sleep:400"_s, u"write"_s}));
    rig->add(source(u"last.wav"_s, {u"write"_s}));
    rig->driver.setFilesAtOnce(2);
    QObject::connect(&rig->driver.scheduler(), &BatchScheduler::jobProgress,
                     [&](const ScheduledJob& job) {
                         if (const int row = rig->driver.scheduler().rowOf(job);
                             row >= 0 && rig->list.entry(row).queuePath == unknown)
                             rig->list.removeEntry(row); // it goes on converting
                     });
    ASSERT_TRUE(rig->runToEnd());

    EXPECT_EQ(rig->driver.report().converted, 3);
    QStringList captions = rig->view.captions();
    EXPECT_EQ(captions.takeLast(), u"Done."_s);
    for (qsizetype i = 1; i < captions.size(); ++i)
        EXPECT_GE(captions[i].chopped(1).toDouble(), captions[i - 1].chopped(1).toDouble())
            << captions.join(u", ").toStdString();
}

TEST_F(FakeBatch, OutputThatWouldReplaceASourceIsRefusedAndTheRestConverts)
{
    QDir().mkpath(rig->settings.outputFolder);
    rig->add(source(u"first.wav"_s, {u"sleep:200"_s, u"write"_s}));
    rig->add(source(u"late.wav"_s, {u"write"_s}));
    // A source in the output folder joins the batch while it runs: neither late.wav's job nor
    // its own may write over it.
    const QString kept = source(u"out/late.mp3"_s, {u"write"_s});
    bool added = false;
    QObject::connect(&rig->driver, &BatchDriver::jobStarted, [&](const QString&) {
        if (!std::exchange(added, true))
            rig->add(kept);
    });
    ASSERT_TRUE(rig->runToEnd());

    EXPECT_EQ(rig->driver.report().converted, 1);
    EXPECT_TRUE(QFile::exists(rig->settings.outputFolder + u"/first.mp3"_s));
    QFile survivor(kept);
    ASSERT_TRUE(survivor.open(QIODevice::ReadOnly));
    EXPECT_EQ(survivor.readAll(), "write\n");
    ASSERT_EQ(rig->sink.messages.size(), 1);
    EXPECT_EQ(rig->sink.messages[0].text,
              u"These files could not be converted:\n\n"
              u"late.wav\nthe output would replace a source file (late.mp3)\n\n"
              u"late.mp3\nthe output would replace a source file (late.mp3)"_s);
    EXPECT_TRUE(invocations().filter(u"late"_s).isEmpty())
        << invocations().join(u", ").toStdString();
}

TEST_F(FakeBatch, TwoAtOnceListFailuresInListOrderAndTheSweepSparesTheRunningJob)
{
    const QString first = source(u"first.wav"_s, {u"sleep:300"_s, u"print:first: bad\\n"_s,
                                                 u"exit:1"_s});
    const QString second = source(u"second.wav"_s, {u"print:second: bad\\n"_s, u"exit:1"_s});
    // Still running when each failure makes the next start sweep for left-over converters.
    rig->add(first);
    rig->add(second);
    rig->add(source(u"long.wav"_s, {u"sleep:700"_s, u"write"_s}));
    rig->add(source(u"after.wav"_s, {u"write"_s}));
    rig->driver.setFilesAtOnce(2);
    ASSERT_TRUE(rig->runToEnd());

    EXPECT_EQ(rig->driver.report().converted, 2);
    EXPECT_EQ(rig->driver.report().strayConvertersTerminated, 0);
    EXPECT_TRUE(QFile::exists(m_dir.filePath(u"out/long.mp3"_s)));
    ASSERT_EQ(rig->sink.messages.size(), 1);
    EXPECT_EQ(rig->sink.messages[0].text,
              u"These files could not be converted:\n\nfirst.wav\nfirst: bad\n\nsecond.wav\nsecond: bad"_s);
    EXPECT_EQ(rig->view.events.last(), u"progress Done."_s);
}

TEST_F(FakeBatch, StartFailureWhileOneRunsLetsItFinishAndListsEarlierFailures)
{
    rig->add(source(u"long.wav"_s, {u"sleep:500"_s, u"write"_s}));
    rig->add(source(u"bad.wav"_s, {u"sleep:50"_s, u"print:bad: broken\\n"_s, u"exit:1"_s}));
    const QString next = source(u"next.wav"_s, {u"write"_s});
    rig->add(next);
    rig->driver.setFilesAtOnce(2);
    int started = 0;
    QObject::connect(&rig->driver, &BatchDriver::jobStarted, [&](const QString&) {
        if (++started == 2)
            QFile::remove(program() + u"/data/conv"_s); // the next start cannot find it
    });
    ASSERT_TRUE(rig->runToEnd());

    EXPECT_TRUE(rig->driver.report().startFailed);
    EXPECT_EQ(rig->driver.report().converted, 1);
    EXPECT_TRUE(QFile::exists(m_dir.filePath(u"out/long.mp3"_s))) << "the running job finished";
    ASSERT_EQ(rig->list.count(), 1);
    EXPECT_EQ(rig->list.entry(0).queuePath, next);
    ASSERT_EQ(rig->sink.messages.size(), 2);
    EXPECT_EQ(rig->sink.messages[0].text, u"File or command not found"_s);
    EXPECT_EQ(rig->sink.messages[1].text,
              u"This file could not be converted:\n\nbad.wav\nbad: broken"_s);
    EXPECT_EQ(rig->view.events.last(), u"controls on"_s);
    EXPECT_EQ(rig->view.captions().last(), u""_s) << "the bar is emptied";
    EXPECT_EQ(rig->view.lastWidth, 0.0);
    EXPECT_FALSE(rig->view.events.contains(u"progress Done."_s));
}
