#include "cli/batch_process.h"
#include "engine/command_line.h"
#include "engine/qt_print.h"
#include "settings/settings_files.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
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

// An ffmpeg in front of the system's that logs every call. With DAMAGE set it spoils the file a
// conversion has just written, as a failing disk or encoder would: "noise" overwrites its middle,
// "quieter" turns its audio down, "short" keeps only its first half second.
void writeSpoilingFfmpeg(const QString& folder, const QString& log)
{
    const QString real = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    QFile script(folder + QStringLiteral("/ffmpeg"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral(
                     "#!/bin/sh\necho \"$*\" >>'%2'\n'%1' \"$@\" || exit $?\n"
                     "for last; do :; done\n"
                     "case \"$last\" in */.*.trevalon-*) ;; *) exit 0 ;; esac\n"
                     "spare=\"$last.spare.${last##*.}\"\n"
                     "case \"$DAMAGE\" in\n"
                     "noise) size=$(stat -c %s \"$last\"); head -c 4096 /dev/urandom | dd "
                     "of=\"$last\" bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null ;;\n"
                     "quieter) '%1' -v error -y -i \"$last\" -af volume=0.5 \"$spare\" && mv "
                     "\"$spare\" \"$last\" ;;\n"
                     "short) '%1' -v error -y -i \"$last\" -t 0.5 -c copy \"$spare\" && mv "
                     "\"$spare\" \"$last\" ;;\n"
                     "esac\n")
                     .arg(real, log)
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The MD5 of a file's audio packets as they are stored, not decoded.
QString storedAudioMd5(const QString& path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                  QStringLiteral("-map"), QStringLiteral("0:a"), QStringLiteral("-c"),
                  QStringLiteral("copy"), QStringLiteral("-f"), QStringLiteral("md5"),
                  QStringLiteral("-")});
    ffmpeg.waitForFinished();
    return QString::fromUtf8(ffmpeg.readAllStandardOutput()).trimmed();
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(TrevalonBatch, ALibraryRunAgainSkipsWhatIsDoneCopiesWhatNeedsNoEncodingAndVerifies)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString bin = dir.filePath(QStringLiteral("bin"));
    const QString log = dir.filePath(QStringLiteral("ffmpeg.log"));
    QDir().mkpath(in);
    QDir().mkpath(bin);
    for (const char* name : {"a.flac", "b.wav", "c.mp3"})
        ASSERT_TRUE(makeClip(in + QLatin1Char('/') + QLatin1String(name), 2));
    writeSpoilingFfmpeg(bin, log);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
                       bin + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
    // The converter runs ffmpeg for every conversion here, so the log counts conversions and the
    // stand-in can spoil what it writes; the check after it is the same either way.
    environment.insert(QStringLiteral("TREVALON_CONV_IN_PROCESS"), QStringLiteral("0"));
    const auto ffmpegCalls = [&log] { return bytesOf(log).count('\n'); };
    const auto shown = [](const BatchOutcome& run) { return (run.out + run.err).toStdString(); };

    // The first run converts two and copies the MP3's audio as it is; the second finds every
    // output up to date and starts no converter at all.
    const QStringList library = {QStringLiteral("--settings-dir"), dir.path(),
                                 QStringLiteral("--format"), QStringLiteral("MP3"),
                                 QStringLiteral("--output"), out,
                                 QStringLiteral("--existing"), QStringLiteral("skip"),
                                 QStringLiteral("--copy-same-format"), in};
    const BatchOutcome first = runBatch(library, 120000, environment);
    EXPECT_EQ(first.exitCode, 0) << shown(first);
    EXPECT_TRUE(first.out.contains(QStringLiteral("2 converted, 1 copied, 0 skipped, 0 failed")))
        << shown(first);
    const QString copiedAudio = storedAudioMd5(in + QStringLiteral("/c.mp3"));
    EXPECT_TRUE(copiedAudio.startsWith(QStringLiteral("MD5="))) << copiedAudio.toStdString();
    EXPECT_EQ(storedAudioMd5(out + QStringLiteral("/c.mp3")), copiedAudio);
    const qsizetype callsBefore = ffmpegCalls();
    EXPECT_GT(callsBefore, 0) << "the logging ffmpeg was not the one run";
    const BatchOutcome second = runBatch(library, 120000, environment);
    EXPECT_EQ(second.exitCode, 0) << shown(second);
    EXPECT_TRUE(second.out.contains(QStringLiteral("0 converted, 0 copied, 3 skipped, 0 failed")))
        << shown(second);
    EXPECT_EQ(ffmpegCalls(), callsBefore) << "a skipped file started a conversion";

    // A good FLAC passes its check (the output and the source are decoded besides the
    // conversion); a spoiled one fails, and the good output from before stays as it was.
    const QString checked = dir.filePath(QStringLiteral("checked"));
    const auto verified = [&](const QString& format, const QString& source, const char* damage) {
        QProcessEnvironment spoiling = environment;
        spoiling.insert(QStringLiteral("DAMAGE"), QLatin1String(damage));
        return runBatch({QStringLiteral("--settings-dir"), dir.path(), QStringLiteral("--format"),
                         format, QStringLiteral("--output"), checked, QStringLiteral("--verify"),
                         in + QLatin1Char('/') + source},
                        120000, spoiling);
    };
    const qsizetype callsBeforeGood = ffmpegCalls();
    const BatchOutcome good = verified(QStringLiteral("FLAC"), QStringLiteral("a.flac"), "");
    EXPECT_EQ(good.exitCode, 0) << shown(good);
    EXPECT_GE(ffmpegCalls() - callsBeforeGood, 3) << "the output was not decoded and compared";
    const QByteArray kept = bytesOf(checked + QStringLiteral("/a.flac"));
    ASSERT_FALSE(kept.isEmpty());
    for (const auto& [damage, reason] :
         {std::pair{"noise", "verify failed: "},
          std::pair{"quieter", "verify failed: the output's samples differ from the source's"}}) {
        const BatchOutcome spoiled = verified(QStringLiteral("FLAC"), QStringLiteral("a.flac"), damage);
        EXPECT_EQ(spoiled.exitCode, 1) << damage << shown(spoiled);
        EXPECT_TRUE(spoiled.out.contains(QLatin1String(reason))) << damage << shown(spoiled);
        EXPECT_EQ(bytesOf(checked + QStringLiteral("/a.flac")), kept) << damage;
        EXPECT_EQ(QDir(checked).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("a.flac")})
            << damage;
    }
    // A lossy output is held to the source's length.
    const BatchOutcome cut = verified(QStringLiteral("MP3"), QStringLiteral("b.wav"), "short");
    EXPECT_EQ(cut.exitCode, 1) << shown(cut);
    EXPECT_TRUE(cut.out.contains(QStringLiteral("verify failed: the output lasts 0.5")))
        << shown(cut);
    EXPECT_FALSE(QFileInfo::exists(checked + QStringLiteral("/b.mp3")));
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
