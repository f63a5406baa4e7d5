#include "cli/batch_process.h"
#include "engine/command_line.h"
#include "engine/qt_print.h"
#include "settings/settings_files.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

using namespace batch_process;

TEST(TrevalonBatch, DryRunPrintsWhatTheWindowWouldBuild)
{
    QTemporaryDir dir;
    const QString sources = dir.filePath(QStringLiteral("in"));
    QDir().mkpath(sources + QStringLiteral("/sub"));
    const QStringList names = {QStringLiteral("b.live.wav"), QStringLiteral("a -x \"q\" ü.mp4"),
                               QStringLiteral("sub/c.flac")};
    for (const QString& name : names) {
        QFile file(sources + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QStringList expectedOrder = {sources + QStringLiteral("/a -x \"q\" ü.mp4"),
                                       sources + QStringLiteral("/b.live.wav"),
                                       sources + QStringLiteral("/sub/c.flac")};

    for (std::int16_t format = 0; format < 9; ++format) {
        SetupSettings setup;
        setup.formatIndex = format;
        setup.bitrateIndex = static_cast<std::int16_t>(format % 12);
        setup.rateIndex = static_cast<std::int16_t>(format % 8);
        setup.channelIndex = static_cast<std::int16_t>(format % 2);
        setup.outputFolder = dir.filePath(QStringLiteral("out,%1").arg(format));
        OptionsSettings options;
        if (format % 2 == 1) {
            options.cutterOn = 1;
            options.cutStart = 3723;
            options.cutStartFraction = 5;
            options.cutLength = 30;
        }
        const QString settingsDir = dir.filePath(QStringLiteral("settings%1").arg(format));
        QDir().mkpath(settingsDir);
        ASSERT_TRUE(WriteSetupFile(settingsDir, setup));
        ASSERT_TRUE(WriteOptionsFile(settingsDir, options));

        const BatchOutcome run = runBatch(
            {QStringLiteral("--dry-run"), QStringLiteral("--settings-dir"), settingsDir, sources});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        QStringList expected;
        for (const QString& source : expectedOrder) {
            expected << BuildCommandLine(ProgramFolder, source,
                                         ConversionSettings::from(setup, options));
        }
        EXPECT_EQ(run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected) << format;
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("out,0"))))
        << "dry run converts nothing";

    // Keeping folders, asked for on the command line or stored by the window: the folder argument's
    // files go below its own name, a file given on its own straight into the output folder.
    const QString keepSettings = dir.filePath(QStringLiteral("keep settings"));
    QDir().mkpath(keepSettings);
    const QString alone = sources + QStringLiteral("/sub/c.flac");
    const QStringList kept = {
        QStringLiteral("\"/o/in/a -x \"q\" ü.mp3\""), QStringLiteral("\"/o/in/b.mp3\""),
        QStringLiteral("\"/o/in/sub/c.mp3\""), QStringLiteral("\"/o/c.mp3\"")};
    const auto outputsOf = [](const BatchOutcome& run) {
        QStringList outputs;
        for (const QString& line : run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            outputs << line.mid(line.lastIndexOf(QStringLiteral(" -ac 2 ")) + 7);
        return outputs;
    };
    const QStringList common = {QStringLiteral("--dry-run"), QStringLiteral("--output"),
                                QStringLiteral("/o"), QStringLiteral("--settings-dir"),
                                keepSettings};
    EXPECT_EQ(outputsOf(runBatch(common + QStringList{QStringLiteral("--keep-folders"),
                                                      sources + QLatin1Char('/'), alone})),
              kept);
    QFile stored(keepSettings + QStringLiteral("/trevalon.ini"));
    ASSERT_TRUE(stored.open(QIODevice::WriteOnly));
    stored.write("[Conversion]\nKeepFolders=true\n");
    stored.close();
    EXPECT_EQ(outputsOf(runBatch(common + QStringList{sources, alone})), kept);
}

TEST(TrevalonBatch, UsageErrorsExitWithTwo)
{
    const BatchOutcome badFormat =
        runBatch({QStringLiteral("--format"), QStringLiteral("mp4"), QStringLiteral("x.wav")});
    EXPECT_EQ(badFormat.exitCode, 2);
    EXPECT_TRUE(
        badFormat.err.contains(QStringLiteral("MP3, WMA, OGG, WAV, FLAC, AC3, AAC, AMR, MPG")))
        << badFormat.err.toStdString();
    EXPECT_EQ(runBatch({}).exitCode, 2);
    EXPECT_EQ(runBatch({QStringLiteral("--settings-dir"), QStringLiteral("/no/such/folder"),
                        QStringLiteral("x.wav")})
                  .exitCode,
              2);
    const BatchOutcome version = runBatch({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.contains(QStringLiteral(TREVALON_VERSION_STRING)));
}

TEST(TrevalonBatch, ParallelRunReportsTheCorruptSourceAndConvertsTheRest)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(in);
    QDir().mkpath(in + QStringLiteral("/Album B"));
    for (const char* name : {"one", "two", "three", "Album B/four"})
        ASSERT_TRUE(
            makeClip(in + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".wav"), 2));
    {
        QFile corrupt(in + QStringLiteral("/broken.mp4"));
        ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
        corrupt.write(QByteArray(4096, '\x5a'));
    }
    const BatchOutcome run =
        runBatch({QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("--format"),
                  QStringLiteral("MP3"), QStringLiteral("--settings-dir"), dir.path(),
                  QStringLiteral("--output"), out, in});
    EXPECT_EQ(run.exitCode, 1) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("4 converted, 1 failed"))) << run.out.toStdString();
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().startsWith(in + QStringLiteral("/broken.mp4: ")))
        << lines.last().toStdString();
    for (const char* name : {"one", "two", "three", "four"}) {
        const QString output =
            out + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".mp3");
        EXPECT_NEAR(durationOf(output), 2.0, 0.1) << output.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/broken.mp3")));

    // Kept folders are made as the jobs need them.
    const QString kept = dir.filePath(QStringLiteral("kept"));
    const BatchOutcome keep =
        runBatch({QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("--settings-dir"),
                  dir.path(), QStringLiteral("--keep-folders"), QStringLiteral("--output"), kept,
                  in + QStringLiteral("/Album B"), in + QStringLiteral("/one.wav")});
    EXPECT_EQ(keep.exitCode, 0) << keep.out.toStdString() << keep.err.toStdString();
    EXPECT_NEAR(durationOf(kept + QStringLiteral("/Album B/four.mp3")), 2.0, 0.1);
    EXPECT_NEAR(durationOf(kept + QStringLiteral("/one.mp3")), 2.0, 0.1);
}

TEST(TrevalonBatch, InterruptStopsEveryConverterAndLeavesNoPartialFile)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(in);
    // Long enough that the conversions are still running when the interrupt comes.
    ASSERT_TRUE(makeClip(in + QStringLiteral("/long1.flac"), 1200));
    ASSERT_TRUE(
        QFile::copy(in + QStringLiteral("/long1.flac"), in + QStringLiteral("/long2.flac")));

    QProcess process;
    process.start(ProgramFolder + QStringLiteral("/trevalon-batch"),
                  {QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("--format"),
                   QStringLiteral("MP3"), QStringLiteral("--settings-dir"), dir.path(),
                   QStringLiteral("--output"), out, in});
    ASSERT_TRUE(process.waitForStarted());
    for (int i = 0; i < 200 && QDir(out).entryList(QDir::Files | QDir::Hidden).size() < 2; ++i)
        QThread::msleep(25);
    ASSERT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << "both conversions should be under way";
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_TRUE(QDir(out).entryList(QDir::Files | QDir::Hidden).isEmpty())
        << "partial outputs were left";
    EXPECT_FALSE(anyProcessMentions(dir.path())) << "a converter is still running";
}

} // namespace
