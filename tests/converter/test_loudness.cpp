// Loudness across formats and modes, checked the way players and an independent meter read it:
// the album gating of block reports against libebur128's own, the track tags of every taggable
// format read back through ffprobe against FFmpeg's ebur128 filter on the source, Opus's R128
// rule, the level after "apply", and the album values a trevalon-batch run writes, also onto a
// copied file and onto an output left in place when its album is converted again. Then the same
// measuring, levelling, tagging of a copy and checking of outputs with no ffmpeg to be found.
#include "converter/conv_fixture.h"
#include "converter/gated_loudness.h"
#include "converter/loudness_meter.h"
#include "converter/output_check.h"
#include "converter/unfinished_name.h"
#include "converter/worker_frames.h"
#include "engine/library_jobs.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <ebur128.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace conv_test;

namespace {

// FFmpeg's ebur128 filter: the integrated loudness of the file, or of the files one after the
// other as one programme.
double independentLoudness(const QStringList& paths)
{
    QStringList arguments = {QStringLiteral("-hide_banner"), QStringLiteral("-nostats")};
    QString graph;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        arguments << QStringLiteral("-i") << paths[i];
        graph += QStringLiteral("[%1:a]aformat=sample_fmts=flt:sample_rates=48000:channel_layouts="
                                "stereo[a%1];")
                     .arg(i);
    }
    for (qsizetype i = 0; i < paths.size(); ++i)
        graph += QStringLiteral("[a%1]").arg(i);
    graph += QStringLiteral("concat=n=%1:v=0:a=1,ebur128").arg(paths.size());
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 arguments + QStringList{QStringLiteral("-filter_complex"), graph,
                                         QStringLiteral("-f"), QStringLiteral("null"),
                                         QStringLiteral("-")});
    ffmpeg.waitForFinished(60000);
    const QString log = QString::fromUtf8(ffmpeg.readAllStandardError());
    static const QRegularExpression summary(QStringLiteral("I:\\s+(-?[0-9.]+) LUFS"));
    double loudness = NAN;
    for (auto match = summary.globalMatch(log); match.hasNext();)
        loudness = match.next().captured(1).toDouble();
    return loudness;
}

// FFmpeg's ebur128 filter's true peak of the file, in dBTP.
double independentTruePeak(const QString& path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-hide_banner"), QStringLiteral("-nostats"), QStringLiteral("-i"),
                  path, QStringLiteral("-af"), QStringLiteral("ebur128=peak=true"),
                  QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    ffmpeg.waitForFinished(60000);
    static const QRegularExpression summary(QStringLiteral("Peak:\\s+(-?[0-9.]+|-inf) dBFS"));
    const auto match = summary.match(QString::fromUtf8(ffmpeg.readAllStandardError()));
    return match.hasMatch() ? match.captured(1).toDouble() : NAN;
}

// The MD5 of a file's audio packets as they are stored, not decoded.
QString storedAudioMd5(const QString& path)
{
    return QString::fromUtf8(runTool(QStringLiteral("ffmpeg"),
                                     {QStringLiteral("-v"), QStringLiteral("error"),
                                      QStringLiteral("-i"), path, QStringLiteral("-map"),
                                      QStringLiteral("0:a"), QStringLiteral("-c"),
                                      QStringLiteral("copy"), QStringLiteral("-f"),
                                      QStringLiteral("md5"), QStringLiteral("-")}))
        .trimmed();
}

double gainValue(const QString& text)
{
    return text.section(QLatin1Char(' '), 0, 0).toDouble();
}

// A 32-bit float WAV stream as ffmpeg writes it to a pipe.
std::string floatWav(const std::vector<float>& samples, int channels, int rate)
{
    const auto put32 = [](std::string& out, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const auto put16 = [](std::string& out, std::uint16_t v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>(v >> 8);
    };
    std::string wav = "RIFF";
    put32(wav, 0xFFFFFFFF);
    wav += "WAVEfmt ";
    put32(wav, 16);
    put16(wav, 3);
    put16(wav, static_cast<std::uint16_t>(channels));
    put32(wav, static_cast<std::uint32_t>(rate));
    put32(wav, static_cast<std::uint32_t>(rate * channels * 4));
    put16(wav, static_cast<std::uint16_t>(channels * 4));
    put16(wav, 32);
    wav += "LIST";
    put32(wav, 4);
    wav += "INFO";
    wav += "data";
    put32(wav, 0xFFFFFFFF);
    wav.append(reinterpret_cast<const char*>(samples.data()), samples.size() * sizeof(float));
    return wav;
}

} // namespace

TEST(Loudness, TagsAndLevelsAgreeWithIndependentMetersAcrossFormatsAndModes)
{
    // 1. An album gated from block reports equals libebur128 gating the tracks as one programme,
    //    with tracks far apart in level so that the relative gate drops whole quiet stretches.
    {
        const int rate = 44100;
        const int channels = 2;
        std::vector<std::vector<float>> tracks;
        unsigned noise = 12345;
        for (const double amplitude : {0.5, 0.05, 0.002}) {
            std::vector<float> samples(static_cast<std::size_t>(rate) * 7 * channels + 1234);
            for (std::size_t i = 0; i < samples.size(); ++i) {
                noise = noise * 1103515245u + 12345u;
                const double t = static_cast<double>(i / channels) / rate;
                const double quiet = (static_cast<int>(t) % 3 == 0) ? 0.05 : 1.0;
                samples[i] = static_cast<float>(
                    amplitude * quiet *
                    (0.6 * std::sin(2 * M_PI * 330 * t) + 0.4 * ((noise >> 8) / 8388608.0 - 1.0)));
            }
            tracks.push_back(samples);
        }
        BlockHistogram album;
        std::vector<ebur128_state*> states;
        for (const auto& samples : tracks) {
            LoudnessMeter meter(false);
            const std::string wav = floatWav(samples, channels, rate);
            // Uneven pieces, as a pipe delivers them.
            for (std::size_t at = 0; at < wav.size(); at += 3001)
                ASSERT_TRUE(meter.consume(wav.data() + at, std::min<std::size_t>(3001, wav.size() - at)));
            ASSERT_TRUE(meter.finish()) << meter.error();
            ebur128_state* state = ebur128_init(channels, rate, EBUR128_MODE_I);
            ebur128_add_frames_float(state, samples.data(), samples.size() / channels);
            double own = 0;
            ebur128_loudness_global(state, &own);
            states.push_back(state);
            EXPECT_NEAR(meter.integrated(), own, 1e-9);
            EXPECT_NEAR(gatedLoudness(meter.report().blocks), own, 0.01);
            // The report survives its line.
            const auto parsed = parseReport(formatReport(meter.report()));
            ASSERT_TRUE(parsed);
            EXPECT_EQ(parsed->blocks, meter.report().blocks);
            addBlocks(album, parsed->blocks);
        }
        double together = 0;
        ebur128_loudness_global_multiple(states.data(), states.size(), &together);
        EXPECT_NEAR(gatedLoudness(album), together, 0.01);
        for (ebur128_state*& state : states)
            ebur128_destroy(&state);
        EXPECT_FALSE(parseReport("loudness 0.5 1:2"));             // peak not in its fixed form
        EXPECT_FALSE(parseReport("loudness 0.500000 1:2,x:3"));    // not a number
        EXPECT_FALSE(parseReport("loudness 0.500000 1:2 'a.mp3'")); // anything after the blocks
    }

    QTemporaryDir dir;
    const QString album = dir.filePath(QStringLiteral("album"));
    QDir().mkpath(album);
    const QString tone = album + QStringLiteral("/1 tone.wav");
    const QString noise = album + QStringLiteral("/2 noise.flac");
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("sine=f=997:d=6:r=44100,volume=-9dB"),
                          QStringLiteral("-ac"), QStringLiteral("2"), tone}));
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("anoisesrc=d=5:c=pink:a=0.03:r=48000"), noise}));

    // 2. tag: the track values of every taggable format, stereo and mono sources.
    for (const QString& source : {tone, noise}) {
        const double reference = independentLoudness({source});
        ASSERT_TRUE(std::isfinite(reference));
        for (const int format : {Mp3, Flac, Ogg, Opus, M4a, Alac}) {
            ConversionSettings settings;
            settings.formatIndex = static_cast<std::int16_t>(format);
            settings.outputFolder = dir.filePath(QStringLiteral("tag%1").arg(format));
            QDir().mkpath(settings.outputFolder);
            settings.loudness = LoudnessChoice::Tag;
            const ConverterInvocation run =
                BuildConverterInvocation(ProgramDir, source, settings);
            QProcess conv;
            conv.start(run.program, run.arguments);
            ASSERT_TRUE(conv.waitForFinished(60000));
            ASSERT_EQ(conv.exitCode(), 0) << conv.readAllStandardError().toStdString();
            const Probe read = probe(run.outputPath);
            const QString what = FormatItems().value(format) + QLatin1Char(' ') + source;
            if (format == Opus) {
                EXPECT_NEAR(read.tags.value(QStringLiteral("r128_track_gain")).toInt() / 256.0,
                            -23 - reference, 0.3)
                    << what.toStdString();
                EXPECT_FALSE(read.tags.contains(QStringLiteral("replaygain_track_gain")));
                continue;
            }
            const QString gain = read.tags.value(QStringLiteral("replaygain_track_gain"));
            EXPECT_TRUE(gain.endsWith(QStringLiteral(" dB"))) << what.toStdString();
            EXPECT_NEAR(gainValue(gain), -18 - reference, 0.3) << what.toStdString();
            const double peak = read.tags.value(QStringLiteral("replaygain_track_peak")).toDouble();
            EXPECT_GT(peak, 0.01) << what.toStdString();
            EXPECT_LE(peak, 1.0) << what.toStdString();
        }
    }

    // 3. apply: the output itself at -18 LUFS, lossy and lossless, the cutter on for one.
    for (const QString& source : {tone, noise}) {
        for (const int format : {Mp3, Flac}) {
            ConversionSettings settings;
            settings.formatIndex = static_cast<std::int16_t>(format);
            settings.bitrateIndex = 10;
            settings.outputFolder = dir.filePath(QStringLiteral("apply%1").arg(format));
            QDir().mkpath(settings.outputFolder);
            settings.loudness = LoudnessChoice::Apply;
            const ConverterInvocation run = BuildConverterInvocation(ProgramDir, source, settings);
            QProcess conv;
            conv.start(run.program, run.arguments);
            ASSERT_TRUE(conv.waitForFinished(60000));
            const QString console = QString::fromUtf8(conv.readAllStandardError());
            ASSERT_EQ(conv.exitCode(), 0) << console.toStdString();
            EXPECT_TRUE(console.contains(QStringLiteral("conv: loudness gain "))) << console.toStdString();
            EXPECT_NEAR(independentLoudness({run.outputPath}), -18, 0.5)
                << FormatItems().value(format).toStdString() << ' ' << source.toStdString();
        }
    }

    // 4. A batch tags the album: every file the same album values, the album gated as one
    //    programme (independently: the sources one after the other), not the mean of the tracks.
    const QString settingsDir = dir.filePath(QStringLiteral("settings"));
    const QString output = dir.filePath(QStringLiteral("batch"));
    QDir().mkpath(settingsDir);
    QProcess batch;
    batch.start(ProgramDir + QStringLiteral("/trevalon-batch"),
                {QStringLiteral("--settings-dir"), settingsDir, QStringLiteral("--output"), output,
                 QStringLiteral("--format"), QStringLiteral("FLAC"), QStringLiteral("--loudness"),
                 QStringLiteral("tag"), QStringLiteral("--jobs"), QStringLiteral("2"), album});
    ASSERT_TRUE(batch.waitForFinished(120000));
    const QString printed = QString::fromUtf8(batch.readAllStandardOutput());
    ASSERT_EQ(batch.exitCode(), 0) << printed.toStdString();
    const Probe first = probe(output + QStringLiteral("/1 tone.flac"));
    const Probe second = probe(output + QStringLiteral("/2 noise.flac"));
    const QString albumGain = first.tags.value(QStringLiteral("replaygain_album_gain"));
    EXPECT_EQ(albumGain, second.tags.value(QStringLiteral("replaygain_album_gain")));
    EXPECT_EQ(first.tags.value(QStringLiteral("replaygain_album_peak")),
              second.tags.value(QStringLiteral("replaygain_album_peak")));
    EXPECT_TRUE(printed.contains(QStringLiteral("gain ") + albumGain)) << printed.toStdString();
    EXPECT_TRUE(QDir(output).entryList(QDir::Hidden | QDir::Files).size() == 2)
        << "no copy left beside the files";
    EXPECT_NEAR(gainValue(albumGain), -18 - independentLoudness({tone, noise}), 0.5);
    EXPECT_GT(std::abs(gainValue(albumGain) -
                       (gainValue(first.tags.value(QStringLiteral("replaygain_track_gain"))) +
                        gainValue(second.tags.value(QStringLiteral("replaygain_track_gain")))) / 2),
              1.0)
        << "the album is gated as one programme, not the mean of its tracks";

    // 5. A copied MP3 gets track and album values measured from its audio; when one track of an
    //    album is converted again and the other is left in place, the one left in place is
    //    measured from its output and both get the new album values.
    const QString secondAlbum = dir.filePath(QStringLiteral("second"));
    QDir().mkpath(secondAlbum);
    const QString copiedSource = secondAlbum + QStringLiteral("/1 copied.mp3");
    const QString redone = secondAlbum + QStringLiteral("/2 redone.wav");
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("sine=f=440:d=6:r=44100,volume=-6dB"),
                          QStringLiteral("-ac"), QStringLiteral("1"), copiedSource}));
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("anoisesrc=d=5:c=pink:a=0.05:r=44100"), redone}));
    const QString libraryOutput = dir.filePath(QStringLiteral("library"));
    const auto runLibrary = [&] {
        QProcess run;
        run.start(ProgramDir + QStringLiteral("/trevalon-batch"),
                  {QStringLiteral("--settings-dir"), settingsDir, QStringLiteral("--output"),
                   libraryOutput, QStringLiteral("--format"), QStringLiteral("MP3"),
                   QStringLiteral("--loudness"), QStringLiteral("tag"),
                   QStringLiteral("--copy-same-format"), QStringLiteral("--existing"),
                   QStringLiteral("skip"), secondAlbum});
        run.waitForFinished(120000);
        const QString said = QString::fromUtf8(run.readAllStandardOutput());
        EXPECT_EQ(run.exitCode(), 0) << said.toStdString();
        return said;
    };
    const QString copiedOutput = libraryOutput + QStringLiteral("/1 copied.mp3");
    const QString redoneOutput = libraryOutput + QStringLiteral("/2 redone.mp3");
    const QString firstRun = runLibrary();
    EXPECT_TRUE(firstRun.contains(QStringLiteral("copied "))) << firstRun.toStdString();
    const Probe copied = probe(copiedOutput);
    EXPECT_NEAR(gainValue(copied.tags.value(QStringLiteral("replaygain_track_gain"))),
                -18 - independentLoudness({copiedSource}), 0.3);
    const QString firstAlbumGain = copied.tags.value(QStringLiteral("replaygain_album_gain"));
    EXPECT_EQ(firstAlbumGain, probe(redoneOutput).tags.value(QStringLiteral("replaygain_album_gain")));
    EXPECT_NEAR(gainValue(firstAlbumGain),
                -18 - independentLoudness({copiedSource, redone}), 0.5);

    // Louder now, so the album's values change; the copied track's output stays as it was and
    // still counts: the album lies between the two tracks, not on the new one.
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("anoisesrc=d=5:c=pink:a=0.4:r=44100"), redone}));
    const QString secondRun = runLibrary();
    EXPECT_TRUE(secondRun.contains(QStringLiteral("skipped "))) << secondRun.toStdString();
    const Probe leftInPlace = probe(copiedOutput);
    const Probe converted = probe(redoneOutput);
    const QString newAlbumGain = leftInPlace.tags.value(QStringLiteral("replaygain_album_gain"));
    EXPECT_EQ(newAlbumGain, converted.tags.value(QStringLiteral("replaygain_album_gain")));
    EXPECT_EQ(leftInPlace.tags.value(QStringLiteral("replaygain_album_peak")),
              converted.tags.value(QStringLiteral("replaygain_album_peak")));
    EXPECT_GT(std::abs(gainValue(newAlbumGain) - gainValue(firstAlbumGain)), 1.0)
        << "the file left in place got the new album values";
    // A converted track is measured as it goes into the encoder, one left in place from its output.
    EXPECT_NEAR(gainValue(newAlbumGain), -18 - independentLoudness({copiedOutput, redone}), 0.5);
    EXPECT_EQ(leftInPlace.tags.value(QStringLiteral("replaygain_track_gain")),
              copied.tags.value(QStringLiteral("replaygain_track_gain")));
    EXPECT_TRUE(QDir(libraryOutput).entryList(QDir::Hidden | QDir::Files).size() == 2)
        << "no copy left beside the files";

    // Nothing converted again: the album is left alone.
    const QDateTime untouched = QFileInfo(copiedOutput).lastModified();
    const QString thirdRun = runLibrary();
    EXPECT_FALSE(thirdRun.contains(QRegularExpression(QStringLiteral("(^|\\n)album "))))
        << thirdRun.toStdString();
    EXPECT_EQ(QFileInfo(copiedOutput).lastModified(), untouched);
}

// conv measures a file, levels one (with the limiter where the peaks need it), tags a copied stream
// and checks its outputs in its own process: with no ffmpeg anywhere on its PATH, alone and as a
// worker. A stop during a measuring pass ends it at once and leaves nothing; the check refuses
// outputs spoiled after their conversion.
TEST(Loudness, ConvMeasuresLevelsTagsACopyAndChecksWithNoFfmpegToStart)
{
    QTemporaryDir dir;
    const QString noPrograms = dir.filePath(QStringLiteral("bin"));
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(noPrograms);
    QDir().mkpath(out);
    const QString tone = dir.filePath(QStringLiteral("tone.wav"));
    const QString peaky = dir.filePath(QStringLiteral("peaky.wav"));
    const QString voice = dir.filePath(QStringLiteral("voice.mp3"));
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("sine=f=997:d=6:r=44100,volume=-9dB"),
                          QStringLiteral("-ac"), QStringLiteral("2"), tone}));
    // Quiet, with peaks that the gain to -18 LUFS would lift past -1 dBTP.
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("anoisesrc=d=6:c=pink:a=0.02:r=44100,"
                                         "volume='if(lt(mod(t,1),0.01),20,1)':eval=frame"),
                          QStringLiteral("-ac"), QStringLiteral("2"), peaky}));
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("sine=f=440:d=6:r=44100,volume=-6dB"),
                          QStringLiteral("-ac"), QStringLiteral("1"), voice}));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), noPrograms);
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral(".cache")));
    environment.remove(QStringLiteral("TREVALON_CONV_IN_PROCESS"));
    const QString conv = ProgramDir + QStringLiteral("/data/conv");

    const auto invocation = [&](const QString& source, int format, LoudnessChoice loudness,
                                bool verify, const QString& name) {
        ConversionSettings settings;
        settings.formatIndex = static_cast<std::int16_t>(format);
        settings.outputFolder = out;
        settings.outputBaseName = name;
        settings.loudness = loudness;
        settings.library.verify = verify;
        settings.library.copySameFormat = true;
        JobPlan plan;
        plan.invocation = BuildConverterInvocation(ProgramDir, source, settings);
        plan.commandText = BuildCommandLine(ProgramDir, source, settings);
        PlanStreamCopy(plan, source, settings, [](const QString& path) {
            return path.endsWith(QStringLiteral(".mp3")) ? QStringLiteral("mp3") : QString();
        });
        return plan;
    };
    const JobPlan measure{{}, {conv, {QStringLiteral("-loudness"), QStringLiteral("measure"),
                                      QStringLiteral("-i"), tone}, {}}, {}, false, {}};
    const JobPlan applied = invocation(tone, Mp3, LoudnessChoice::Apply, false, QStringLiteral("applied"));
    const JobPlan limited = invocation(peaky, Flac, LoudnessChoice::Apply, true, QStringLiteral("limited"));
    const JobPlan copied = invocation(voice, Mp3, LoudnessChoice::Tag, true, QStringLiteral("copied"));
    const JobPlan checked = invocation(tone, Flac, LoudnessChoice::Off, true, QStringLiteral("checked"));
    ASSERT_TRUE(copied.streamCopy);
    const QList<JobPlan> jobs = {measure, applied, limited, copied, checked};

    // What each job must give; `console` is its stderr.
    const auto expectResults = [&](const QList<QByteArray>& consoles, const char* how) {
        SCOPED_TRACE(how);
        ASSERT_EQ(consoles.size(), jobs.size());
        const QString report = QString::fromUtf8(consoles[0]).trimmed().section(QLatin1Char('\n'), -1);
        ASSERT_TRUE(report.startsWith(QStringLiteral("conv: loudness "))) << report.toStdString();
        const auto parsed = parseReport(report.mid(6).toStdString());
        ASSERT_TRUE(parsed) << report.toStdString();
        EXPECT_NEAR(gatedLoudness(parsed->blocks), independentLoudness({tone}), 0.3);

        EXPECT_TRUE(consoles[1].contains("conv: loudness gain ")) << consoles[1].toStdString();
        EXPECT_FALSE(consoles[1].contains("limiter")) << consoles[1].toStdString();
        EXPECT_NEAR(independentLoudness({applied.outputPath()}), -18, 0.5);
        EXPECT_TRUE(consoles[2].contains("a true-peak limiter holds the peaks"))
            << consoles[2].toStdString();
        EXPECT_LE(independentTruePeak(limited.outputPath()), -0.5);

        const Probe tagged = probe(copied.outputPath());
        EXPECT_NEAR(gainValue(tagged.tags.value(QStringLiteral("replaygain_track_gain"))),
                    -18 - independentLoudness({voice}), 0.3);
        EXPECT_EQ(storedAudioMd5(copied.outputPath()), storedAudioMd5(voice))
            << "the copy stays a copy";
        EXPECT_NEAR(probe(checked.outputPath()).seconds, 6.0, 0.01);
        for (const QByteArray& console : consoles)
            EXPECT_FALSE(console.contains("verify failed")) << console.toStdString();
    };

    // 1. One conv for each job.
    QList<QByteArray> consoles;
    for (const JobPlan& job : jobs) {
        SCOPED_TRACE(job.invocation.arguments.join(QLatin1Char(' ')).toStdString());
        QProcess run;
        run.setProcessEnvironment(environment);
        run.start(job.invocation.program, job.invocation.arguments);
        ASSERT_TRUE(run.waitForFinished(60000));
        consoles.append(run.readAllStandardError());
        EXPECT_EQ(run.exitCode(), 0) << consoles.last().toStdString();
    }
    expectResults(consoles, "one conv each");

    // 2. The same jobs, one after the other in a single worker.
    for (const JobPlan& job : jobs) {
        if (!job.outputPath().isEmpty())
            QFile::remove(job.outputPath());
    }
    std::string input;
    for (const JobPlan& job : jobs) {
        std::vector<std::string> arguments;
        for (const QString& argument : job.invocation.arguments)
            arguments.push_back(argument.toStdString());
        input += worker_frames::encodeJob(arguments);
    }
    QProcess worker;
    worker.setProcessEnvironment(environment);
    worker.start(conv, {QStringLiteral("--worker")});
    ASSERT_TRUE(worker.waitForStarted());
    worker.write(input.data(), static_cast<qint64>(input.size()));
    worker.closeWriteChannel();
    ASSERT_TRUE(worker.waitForFinished(120000));
    EXPECT_EQ(worker.exitCode(), 0);
    const QByteArray framed = worker.readAllStandardOutput();
    worker_frames::Reader reader;
    reader.add(framed.constData(), static_cast<std::size_t>(framed.size()));
    QList<QByteArray> workerConsoles{QByteArray()};
    while (auto frame = reader.next()) {
        if (frame->kind == worker_frames::Console) {
            workerConsoles.last() += QByteArray::fromStdString(frame->payload);
        } else {
            EXPECT_EQ(frame->payload, "0") << workerConsoles.last().toStdString();
            workerConsoles.append(QByteArray());
        }
    }
    workerConsoles.removeLast();
    expectResults(workerConsoles, "in one worker");

    // 3. A stop while the source is measured, before anything is written: conv ends at once, and
    //    the earlier output stays as it was. The source is a pipe that gives two seconds of
    //    sound and then waits.
    for (const JobPlan& job : {measure, applied}) {
        SCOPED_TRACE(job.invocation.arguments.join(QLatin1Char(' ')).toStdString());
        const QString pipe = dir.filePath(QStringLiteral("pipe.wav"));
        QFile::remove(pipe);
        ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QFile earlier(applied.outputPath());
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        earlier.close();
        QStringList arguments = job.invocation.arguments;
        arguments[arguments.indexOf(tone)] = pipe;
        QProcess run;
        run.setProcessEnvironment(environment);
        run.start(conv, arguments);
        ASSERT_TRUE(run.waitForStarted());
        int feed = -1;
        for (int i = 0; i < 250 && feed < 0; ++i) {
            feed = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
            if (feed < 0)
                QThread::msleep(20);
        }
        ASSERT_GE(feed, 0) << "conv never opened its source";
        ::fcntl(feed, F_SETFL, 0);
        QFile whole(tone);
        ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
        const QByteArray sound = whole.read(44 + 2 * 176400);
        EXPECT_EQ(::write(feed, sound.constData(), static_cast<size_t>(sound.size())),
                  sound.size());
        QThread::msleep(300);
        ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
        const bool ended = run.waitForFinished(3000);
        ::close(feed);
        ASSERT_TRUE(ended || run.waitForFinished(5000));
        EXPECT_TRUE(ended) << "conv waited for its source after the stop";
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), 128 + SIGTERM) << run.readAllStandardError().toStdString();
        QFile kept(applied.outputPath());
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), QByteArray("earlier"));
        EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).filter(
                      QStringLiteral(".trevalon-")),
                  QStringList());
    }

    // 4. The check refuses an output spoiled after its conversion: damaged bytes, samples that
    //    differ, a lossy output that lost its end; the whole one passes.
    Job source;
    source.input = tone.toStdString();
    const StopCheck never = [] { return 0; };
    const std::string good = QFile::encodeName(checked.outputPath()).toStdString();
    EXPECT_EQ(checkOutputInProcess(source, good, CheckRequest{true, true}, never).failure, "");
    const QString spoiled = dir.filePath(QStringLiteral("spoiled.flac"));
    QFile::copy(checked.outputPath(), spoiled);
    QFile damage(spoiled);
    ASSERT_TRUE(damage.open(QIODevice::ReadWrite));
    damage.seek(damage.size() / 2);
    damage.write(QByteArray(4096, '\x5a'));
    damage.close();
    const QString quieter = dir.filePath(QStringLiteral("quieter.flac"));
    const QString shortened = dir.filePath(QStringLiteral("short.mp3"));
    ASSERT_TRUE(generate({QStringLiteral("-i"), checked.outputPath(), QStringLiteral("-af"),
                          QStringLiteral("volume=0.5"), quieter}));
    ASSERT_TRUE(generate({QStringLiteral("-i"), tone, QStringLiteral("-t"), QStringLiteral("0.5"),
                          shortened}));
    for (const auto& [path, reason] :
         {std::pair<QString, std::string>{spoiled, "verify failed: "},
          {quieter, "verify failed: the output's samples differ from the source's"},
          {shortened, "verify failed: the output lasts 0.50 s, the source 6.00 s"}}) {
        const CheckResult result = checkOutputInProcess(
            source, QFile::encodeName(path).toStdString(), CheckRequest{true, true}, never);
        EXPECT_EQ(result.failure.rfind(reason, 0), 0u) << path.toStdString() << ": " << result.failure;
    }
}
