#include "batch_fixture.h"
#include "qt_print.h"

#include "engine/batch_scheduler.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace {

const QString ProgramFolder = QStringLiteral(TREVALON_PROGRAM_DIR);

// A tone of the given seconds (three by default) in the given container, made by the system's
// ffmpeg.
QString makeClip(const QTemporaryDir& dir, const QString& name, int seconds = 3)
{
    const QString path = dir.filePath(name);
    QProcess::execute(QStringLiteral("ffmpeg"),
                      {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                       QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                       QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("sine=frequency=440:duration=%1").arg(seconds), path});
    return path;
}

// A program folder whose converter is a script that logs each start, then becomes the real one.
QString countingProgramFolder(const QTemporaryDir& dir)
{
    const QString folder = dir.filePath(QStringLiteral("program"));
    QDir().mkpath(folder + QStringLiteral("/data"));
    QFile script(folder + QStringLiteral("/data/conv"));
    if (!script.open(QIODevice::WriteOnly))
        return {};
    script.write(QStringLiteral("#!/bin/sh\necho \"$$ $*\" >>'%1'\nexec '%2' \"$@\"\n")
                     .arg(dir.filePath(QStringLiteral("starts.log")),
                          ProgramFolder + QStringLiteral("/data/conv"))
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return folder;
}

QStringList linesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
               : QStringList();
}

double durationOf(const QString& path)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("format=duration:stream=codec_name"), QStringLiteral("-of"),
                 QStringLiteral("csv=p=0"), path});
    probe.waitForFinished();
    const QStringList lines =
        QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.size() != 2 || lines.at(0).trimmed() != QStringLiteral("mp3"))
        return -1;
    return lines.at(1).toDouble();
}

class RealConverterBatch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(ProgramFolder + QStringLiteral("/data/conv")).isExecutable())
            << "the converter is not built in " << ProgramFolder.toStdString();
        rig = std::make_unique<BatchRig>(ProgramFolder);
        rig->settings.outputFolder = dir.filePath(QStringLiteral("out"));
        rig->settings.soundIndex = 1;
    }

    QTemporaryDir dir;
    std::unique_ptr<BatchRig> rig;
};

} // namespace

TEST_F(RealConverterBatch, ThreeSourcesBecomeThreeMp3Files)
{
    for (const char* name : {"tone.wav", "tone two.flac", "tone3.ogg"})
        rig->add(makeClip(dir, QLatin1String(name)));
    ASSERT_TRUE(rig->runToEnd());

    EXPECT_EQ(rig->driver.report().converted, 3);
    EXPECT_TRUE(rig->list.isEmpty());
    for (const char* name : {"out/tone.mp3", "out/tone two.mp3", "out/tone3.mp3"})
        EXPECT_NEAR(durationOf(dir.filePath(QLatin1String(name))), 3.0, 0.2) << name;
    QStringList captions = rig->view.captions();
    ASSERT_GE(captions.size(), 2);
    EXPECT_EQ(captions.takeLast(), QStringLiteral("Done."));
    EXPECT_EQ(captions.last(), QStringLiteral("100%"));
    EXPECT_TRUE(rig->sink.messages.isEmpty());
}

TEST_F(RealConverterBatch, CorruptSourceIsReportedWhileTheOthersConvert)
{
    const QString broken = dir.filePath(QStringLiteral("broken.mp3"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 3000; ++i)
        file.putChar(static_cast<char>(QRandomGenerator::global()->bounded(256)));
    file.close();

    rig->add(makeClip(dir, QStringLiteral("first.wav")));
    rig->add(broken);
    rig->add(makeClip(dir, QStringLiteral("last.wav")));
    ASSERT_TRUE(rig->runToEnd());

    EXPECT_EQ(rig->driver.report().converted, 2);
    EXPECT_TRUE(rig->list.isEmpty());
    EXPECT_GT(durationOf(dir.filePath(QStringLiteral("out/first.mp3"))), 2.8);
    EXPECT_GT(durationOf(dir.filePath(QStringLiteral("out/last.mp3"))), 2.8);
    ASSERT_EQ(rig->sink.messages.size(), 1);
    const QString text = rig->sink.messages[0].text;
    EXPECT_TRUE(text.contains(QStringLiteral("broken.mp3"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("first.wav")));
    ASSERT_EQ(rig->driver.report().failures.size(), 1);
    EXPECT_FALSE(rig->driver.report().failures[0].lastErrorLine.isEmpty());
    EXPECT_EQ(rig->view.events.last(), QStringLiteral("progress Done."));
}

TEST_F(RealConverterBatch, MissingConverterIsReportedOnce)
{
    BatchRig missing(dir.filePath(QStringLiteral("no program here")));
    missing.settings.outputFolder = dir.filePath(QStringLiteral("out"));
    missing.add(makeClip(dir, QStringLiteral("a.wav")));
    missing.add(makeClip(dir, QStringLiteral("b.wav")));
    ASSERT_TRUE(missing.runToEnd());
    ASSERT_EQ(missing.sink.messages.size(), 1);
    EXPECT_EQ(missing.sink.messages[0].text, QStringLiteral("File or command not found"));
    EXPECT_EQ(missing.list.count(), 2);
    EXPECT_EQ(missing.view.events.last(), QStringLiteral("controls on"));
}

TEST_F(RealConverterBatch, ManyFilesStartAFewConvertersAndAKilledHungOrStoppedOneEndsOnlyItsJob)
{
    // Each of the files at once keeps one converter from job to job, and the one that answered
    // whether the converter takes jobs is one of them: 120 files, two at once, start two.
    const QString program = countingProgramFolder(dir);
    ASSERT_FALSE(program.isEmpty());
    const QString clip = makeClip(dir, QStringLiteral("clip.flac"), 1);
    BatchRig many(program);
    many.settings = rig->settings;
    many.driver.setFilesAtOnce(2);
    QDir().mkpath(dir.filePath(QStringLiteral("in")));
    for (int i = 0; i < 120; ++i) {
        const QString copy = dir.filePath(QStringLiteral("in/clip %1.flac").arg(i));
        ASSERT_TRUE(QFile::copy(clip, copy));
        many.add(copy);
    }
    ASSERT_TRUE(many.runToEnd(120000));
    EXPECT_EQ(many.driver.report().converted, 120);
    EXPECT_TRUE(many.driver.report().failures.isEmpty());
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files).size(), 120);
    QStringList starts = linesOf(dir.filePath(QStringLiteral("starts.log")));
    EXPECT_GE(starts.size(), 1);
    EXPECT_LE(starts.size(), 2) << starts.join(QLatin1Char('\n')).toStdString();

    // Converted entries leave the list, so the last file of a batch is often the only one left:
    // it still runs in the worker, as the one-converter-per-file way is for a batch of one file.
    many.driver.setFilesAtOnce(1);
    for (int i = 0; i < 3; ++i)
        many.add(dir.filePath(QStringLiteral("in/clip %1.flac").arg(i)));
    ASSERT_TRUE(many.runToEnd());
    EXPECT_EQ(many.driver.report().converted, 3);
    starts = linesOf(dir.filePath(QStringLiteral("starts.log")));
    for (const QString& line : starts)
        EXPECT_TRUE(line.endsWith(QStringLiteral(" --worker"))) << line.toStdString();

    // A converter killed in the middle of a job fails that job, with a reason, and leaves nothing
    // of it; the next job runs in a fresh converter.
    rig->add(makeClip(dir, QStringLiteral("killed.wav"), 60));
    rig->add(makeClip(dir, QStringLiteral("after.wav")));
    qint64 killed = 0;
    QObject::connect(&rig->driver.scheduler(), &BatchScheduler::jobProgress, [&] {
        if (killed == 0 && (killed = rig->driver.scheduler().processId(0)) > 0)
            ::kill(static_cast<pid_t>(killed), SIGKILL);
    });
    qint64 next = 0;
    QObject::connect(&rig->driver.scheduler(), &BatchScheduler::jobStarted,
                     [&](const ScheduledJob& job) {
                         if (job.source == QStringLiteral("after.wav"))
                             next = rig->driver.scheduler().processId(0);
                     });
    const QStringList before = QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files);
    ASSERT_TRUE(rig->runToEnd());
    EXPECT_GT(killed, 0);
    EXPECT_GT(next, 0);
    EXPECT_NE(next, killed);
    EXPECT_EQ(rig->driver.report().converted, 1);
    ASSERT_EQ(rig->driver.report().failures.size(), 1);
    EXPECT_EQ(rig->driver.report().failures[0].source, QStringLiteral("killed.wav"));
    EXPECT_EQ(rig->driver.report().failures[0].lastErrorLine,
              QStringLiteral("the converter crashed on this file"));
    QStringList after = QDir(dir.filePath(QStringLiteral("out")))
                            .entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : before)
        after.removeOne(name);
    EXPECT_EQ(after, QStringList{QStringLiteral("after.mp3")});
    EXPECT_GT(durationOf(dir.filePath(QStringLiteral("out/after.mp3"))), 2.8);

    // A converter that stops answering is ended after the silence limit, here shortened: one
    // waiting for a pipe nobody writes, as for a source on a dead share, and one frozen in the
    // middle of its output, which a request to stop cannot reach. Each fails its job with a
    // reason and leaves nothing of it, and the other files go on converting meanwhile.
    qputenv("TREVALON_WORKER_SILENCE_MS", "4000");
    const auto restoreLimit = qScopeGuard([] { qunsetenv("TREVALON_WORKER_SILENCE_MS"); });
    const QString silent = dir.filePath(QStringLiteral("silent.wav"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(silent).constData(), 0600), 0);
    rig->driver.setFilesAtOnce(2);
    rig->add(silent);
    rig->add(makeClip(dir, QStringLiteral("between.wav")));
    rig->add(makeClip(dir, QStringLiteral("frozen.wav"), 60));
    rig->add(makeClip(dir, QStringLiteral("later.wav")));
    auto watching = std::make_unique<QObject>();
    QStringList ended;
    qint64 frozen = 0;
    QObject::connect(&rig->driver.scheduler(), &BatchScheduler::jobFinished, watching.get(),
                     [&](const ScheduledJob& job) { ended.append(job.source); });
    QObject::connect(&rig->driver.scheduler(), &BatchScheduler::jobProgress, watching.get(),
                     [&](const ScheduledJob& job) {
                         if (frozen == 0 && job.source == QStringLiteral("frozen.wav") &&
                             (frozen = rig->driver.scheduler().processId(job.slot)) > 0)
                             ::kill(static_cast<pid_t>(frozen), SIGSTOP);
                     });
    const QStringList beforeHang =
        QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden);
    ASSERT_TRUE(rig->runToEnd(40000)) << "a hung converter held the batch";
    EXPECT_GT(frozen, 0);
    EXPECT_EQ(rig->driver.report().converted, 2);
    ASSERT_EQ(rig->driver.report().failures.size(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(rig->driver.report().failures[i].source,
                  i == 0 ? QStringLiteral("silent.wav") : QStringLiteral("frozen.wav"));
        EXPECT_EQ(rig->driver.report().failures[i].lastErrorLine,
                  QStringLiteral("the converter stopped responding on this file"));
    }
    EXPECT_LT(ended.indexOf(QStringLiteral("between.wav")),
              ended.indexOf(QStringLiteral("silent.wav")))
        << ended.join(QLatin1Char(' ')).toStdString();
    after = QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : beforeHang)
        after.removeOne(name);
    EXPECT_EQ(after, (QStringList{QStringLiteral("between.mp3"), QStringLiteral("later.mp3")}));
    // A source that hung a converter runs in one of its own from then on, and a hang there is
    // caught the same way.
    rig->add(silent);
    ASSERT_TRUE(rig->runToEnd(20000)) << "a hung converter of its own held the batch";
    ASSERT_EQ(rig->driver.report().failures.size(), 1);
    EXPECT_EQ(rig->driver.report().failures[0].lastErrorLine,
              QStringLiteral("the converter stopped responding on this file"));
    watching.reset();
    qunsetenv("TREVALON_WORKER_SILENCE_MS");

    // Stop ends the running job at once: its entry stays, and nothing of its output is left.
    rig->add(makeClip(dir, QStringLiteral("stopped.wav"), 60));
    QObject::connect(&rig->driver.scheduler(), &BatchScheduler::jobProgress,
                     [&] { rig->driver.stop(); });
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(rig->runToEnd());
    EXPECT_LT(clock.elapsed(), 3000) << "the stop waited for the job";
    EXPECT_TRUE(rig->driver.report().stoppedEarly);
    EXPECT_TRUE(rig->driver.report().failures.isEmpty());
    EXPECT_EQ(rig->list.count(), 1);
    after = QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : beforeHang)
        after.removeOne(name);
    EXPECT_EQ(after, (QStringList{QStringLiteral("between.mp3"), QStringLiteral("later.mp3")}));
}
