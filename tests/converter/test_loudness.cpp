// Loudness across formats and modes, checked the way players and an independent meter read it:
// the album gating of block reports against libebur128's own, the track tags of every taggable
// format read back through ffprobe against FFmpeg's ebur128 filter on the source, Opus's R128
// rule, the level after "apply", and the album values a trevalon-batch run writes, also onto a
// copied file and onto an output left in place when its album is converted again.
#include "converter/conv_fixture.h"
#include "converter/gated_loudness.h"
#include "converter/loudness_meter.h"
#include "converter/loudness_probe.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>

#include <ebur128.h>

#include <cmath>
#include <cstring>

using namespace conv_test;

namespace {

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
            ebur128_state* state =
                ebur128_init(channels, rate, EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
            ebur128_add_frames_float(state, samples.data(), samples.size() / channels);
            double own = 0;
            ebur128_loudness_global(state, &own);
            double peak = 0;
            for (int channel = 0; channel < channels; ++channel) {
                double channelPeak = 0;
                ebur128_sample_peak(state, static_cast<unsigned>(channel), &channelPeak);
                peak = std::max(peak, channelPeak);
            }
            states.push_back(state);
            // The track is gated as an album is: from its blocks.
            EXPECT_NEAR(meter.integrated(), own, 0.01);
            EXPECT_EQ(meter.integrated(), gatedLoudness(meter.report().blocks));
            EXPECT_DOUBLE_EQ(meter.samplePeak(), peak);
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
    // 24-bit, so that the lossless encoders take 32-bit samples from it.
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("anoisesrc=d=5:c=pink:a=0.03:r=48000"),
                          QStringLiteral("-sample_fmt"), QStringLiteral("s32"), noise}));

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

    // 2b. Surround: every channel counts by its place, the LFE channel not at all and the side
    //     pair of a 7.1 source 1.41 times, where libebur128's own order would leave it out.
    {
        const QString surround = dir.filePath(QStringLiteral("surround.flac"));
        ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                              QStringLiteral("anoisesrc=d=5:c=pink:a=0.3:r=48000,pan=7.1|c0=0.1*c0|"
                                             "c1=0.1*c0|c2=0.1*c0|c3=c0|c4=0.1*c0|c5=0.1*c0|c6=c0|"
                                             "c7=0.7*c0"),
                              surround}));
        const double reference = independentLoudness({surround}, true);
        ASSERT_TRUE(std::isfinite(reference));
        ConversionSettings settings;
        settings.formatIndex = static_cast<std::int16_t>(Flac);
        settings.outputFolder = dir.filePath(QStringLiteral("surround"));
        QDir().mkpath(settings.outputFolder);
        settings.loudness = LoudnessChoice::Tag;
        const ConverterInvocation run = BuildConverterInvocation(ProgramDir, surround, settings);
        QProcess conv;
        conv.start(run.program, run.arguments);
        ASSERT_TRUE(conv.waitForFinished(60000));
        ASSERT_EQ(conv.exitCode(), 0) << conv.readAllStandardError().toStdString();
        const Probe read = probe(run.outputPath);
        ASSERT_EQ(read.channels, 8);
        EXPECT_NEAR(gainValue(read.tags.value(QStringLiteral("replaygain_track_gain"))),
                    -18 - reference, 0.3);
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
