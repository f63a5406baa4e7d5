// Sources that are not the usual 44.1 kHz stereo file, through the real data/conv: the sound files
// Debian ships, generated sources at the edges of what encoders take, and tags and cover pictures.

#include "converter/conv_fixture.h"

#include <QDirIterator>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using namespace conv_test;

constexpr int FormatCount = static_cast<int>(FormatTable.size());

int nearestOf(int rate, const std::vector<int>& rates)
{
    return *std::min_element(rates.begin(), rates.end(), [rate](int a, int b) {
        return std::abs(a - rate) < std::abs(b - rate) ||
               (std::abs(a - rate) == std::abs(b - rate) && a > b);
    });
}

// What each format's output must be for a source of this rate and channel count: the command
// line's fixed values, the source's own where the encoder takes them, else the nearest it takes.
Probe expectedFor(int format, const Probe& source)
{
    const char* codecs[] = {"mp3", "wmav1",  "vorbis", "pcm_s16le", "flac", "ac3",
                            "aac", "amr_nb", "mp2",    "opus",      "aac",  "alac"};
    Probe expected;
    expected.codec = QString::fromLatin1(codecs[format]);
    expected.sampleRate = source.sampleRate;
    expected.channels = source.channels;
    switch (format) {
    case Mp3:
    case Mpg:
    case M4a:
        expected.sampleRate = 44100;
        expected.channels = 2;
        break;
    case Opus:
        // Opus decodes at 48000 Hz whatever rate it was encoded at.
        expected.sampleRate = 48000;
        expected.channels = 2;
        break;
    case Amr:
        expected.sampleRate = 8000;
        expected.channels = 1;
        break;
    case Ogg:
        expected.channels = 2;
        break;
    case Wma:
        expected.sampleRate = std::min(source.sampleRate, 48000);
        expected.channels = std::min(source.channels, 2);
        break;
    case Ac3:
        expected.sampleRate = nearestOf(source.sampleRate, {48000, 44100, 32000});
        break;
    case Aac:
        expected.sampleRate =
            nearestOf(source.sampleRate, {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                          16000, 12000, 11025, 8000, 7350});
        break;
    default:
        break;
    }
    return expected;
}

struct Case
{
    QString source;
    Probe original;
    int format;
};

class ConverterSources : public Converter
{
protected:
    // Converts each source to its format and checks the output against the source.
    void convertFaithfully(const QList<Case>& cases)
    {
        QList<std::pair<QString, QStringList>> commands;
        QStringList outputs;
        for (const Case& c : cases) {
            // M4A and ALAC both write .m4a: each has a folder of its own.
            ConversionSettings settings = settingsFor(c.format);
            if (c.format == Alac) {
                QDir(m_out->path()).mkpath(QStringLiteral("alac"));
                settings.outputFolder = m_out->filePath(QStringLiteral("alac"));
            }
            const ConverterInvocation invocation = invocationFor(c.source, settings);
            commands.append({invocation.program, invocation.arguments});
            outputs.append(invocation.outputPath);
        }
        const QList<ConvRun> runs = runAll(commands, true);
        const QList<Probe> results = probeAll(outputs);
        for (qsizetype i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            SCOPED_TRACE((QFileInfo(c.source).fileName() + QStringLiteral(" to ") +
                          QString::fromLatin1(FormatTable[c.format].listText))
                             .toStdString());
            EXPECT_EQ(runs[i].exitCode, 0) << runs[i].output.toStdString();
            EXPECT_TRUE(runs[i].output.contains(QStringLiteral("time=")));
            const Probe expected = expectedFor(c.format, c.original);
            EXPECT_EQ(results[i].codec, expected.codec);
            EXPECT_EQ(results[i].sampleRate, expected.sampleRate);
            EXPECT_EQ(results[i].channels, expected.channels);
            // A bare .aac cannot say that its first 1024 samples are the encoder's priming, so
            // they decode as part of the sound.
            const double priming =
                c.format == Aac && results[i].sampleRate > 0 ? 1024.0 / results[i].sampleRate : 0;
            EXPECT_NEAR(results[i].seconds - priming, c.original.seconds, 0.1);
        }
    }
};

TEST_F(ConverterSources, EverySoundFileDebianShipsConvertsWithFormatsInTurn)
{
    // The sound themes of sound-theme-freedesktop and alsa-utils (scripts/install-deps.sh).
    QStringList sources;
    QDirIterator files(QStringLiteral("/usr/share/sounds"), QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext())
        sources.append(files.next());
    sources.sort();
    const QList<Probe> originals = probeAll(sources);
    QList<Case> cases;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        if (!originals[i].codec.isEmpty() && originals[i].seconds > 0) // not index.theme
            cases.append({sources[i], originals[i], static_cast<int>(cases.size() % FormatCount)});
    }
    convertFaithfully(cases);
    // Enough files for every format, with the 96 kHz ones among them.
    EXPECT_GE(cases.size(), 2 * FormatCount);
    EXPECT_TRUE(std::any_of(sources.begin(), sources.end(), [](const QString& source) {
        return source.endsWith(QStringLiteral("/camera-shutter.oga"));
    }));
}

TEST_F(ConverterSources, HighRateSurroundAndLowRateSourcesConvertToEveryFormat)
{
    // Sources in a folder of their own: a FLAC or WAV output has the source's own name.
    ASSERT_TRUE(QDir(m_out->path()).mkdir(QStringLiteral("sources")));
    const QString hiRes = m_out->filePath(QStringLiteral("sources/hi-res.flac"));
    const QString surround = m_out->filePath(QStringLiteral("sources/surround.wav"));
    const QString phone = m_out->filePath(QStringLiteral("sources/phone.wav"));
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("sine=frequency=1000:duration=1.5:sample_rate=192000"),
                          QStringLiteral("-ac"), QStringLiteral("2"), hiRes}));
    ASSERT_TRUE(generate(
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("sine=frequency=440:duration=1.5:sample_rate=48000"), QStringLiteral("-af"),
         QStringLiteral("pan=5.1|c0=c0|c1=c0|c2=c0|c3=0.5*c0|c4=c0|c5=c0"), surround}));
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("sine=frequency=440:duration=1.5:sample_rate=8000"),
                          QStringLiteral("-c:a"), QStringLiteral("pcm_u8"), phone}));
    // Two audio streams, both marked default: ffmpeg converts the one with the most channels, the
    // second here, which the FFmpeg libraries' "best stream" is not.
    const QString twoStreams = m_out->filePath(QStringLiteral("sources/two streams.mkv"));
    ASSERT_TRUE(generate({QStringLiteral("-f"),
                          QStringLiteral("lavfi"),
                          QStringLiteral("-i"),
                          QStringLiteral("sine=frequency=1000:duration=1.5:sample_rate=96000"),
                          QStringLiteral("-f"),
                          QStringLiteral("lavfi"),
                          QStringLiteral("-i"),
                          QStringLiteral("sine=frequency=440:duration=1.5:sample_rate=48000"),
                          QStringLiteral("-map"),
                          QStringLiteral("0"),
                          QStringLiteral("-map"),
                          QStringLiteral("1"),
                          QStringLiteral("-filter:a:0"),
                          QStringLiteral("aformat=channel_layouts=stereo"),
                          QStringLiteral("-filter:a:1"),
                          QStringLiteral("aformat=channel_layouts=5.1"),
                          QStringLiteral("-c:a"),
                          QStringLiteral("flac"),
                          QStringLiteral("-disposition:a:0"),
                          QStringLiteral("default"),
                          QStringLiteral("-disposition:a:1"),
                          QStringLiteral("default"),
                          twoStreams}));
    Probe converted;
    converted.sampleRate = 48000;
    converted.channels = 6;
    converted.seconds = 1.5;
    QList<Case> cases;
    for (const QString& source : {hiRes, surround, phone, twoStreams}) {
        const Probe original = source == twoStreams ? converted : probe(source);
        for (int format = 0; format < FormatCount; ++format)
            cases.append({source, original, format});
    }
    convertFaithfully(cases);
    // A command line that maps the other stream has that one fitted: 96 kHz is more than WMA takes.
    const QString mapped = m_out->filePath(QStringLiteral("mapped.wma"));
    const ConvRun run = convert(
        {ProgramDir + QStringLiteral("/data/conv"),
         {QStringLiteral("-i"), twoStreams, QStringLiteral("-y"), QStringLiteral("-map"),
          QStringLiteral("0:a:0"), QStringLiteral("-acodec"), QStringLiteral("wmav1"), mapped},
         {}});
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_EQ(probe(mapped).sampleRate, 48000);
    EXPECT_EQ(probe(mapped).channels, 2);
    // The surround source really is 5.1 and the low one really 8-bit.
    EXPECT_EQ(probe(surround).channels, 6);
    EXPECT_TRUE(runTool(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"),
                                                    QStringLiteral("-show_entries"),
                                                    QStringLiteral("stream=codec_name"), phone})
                    .contains("pcm_u8"));
}

// The picture stream's bytes, as a digest; empty when there is none.
QByteArray pictureDigest(const QString& path)
{
    return runTool(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                    QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-c"),
                    QStringLiteral("copy"), QStringLiteral("-f"), QStringLiteral("md5"),
                    QStringLiteral("-")})
        .trimmed();
}

TEST_F(ConverterSources, TagsAndTheCoverReachEveryFormatThatHoldsThemButNeverVideo)
{
    // A 24-bit 96 kHz 5.1 source, so that every encoder's fit takes part.
    ASSERT_TRUE(QDir(m_out->path()).mkdir(QStringLiteral("sources")));
    const QString tagged = m_out->filePath(QStringLiteral("sources/tagged.flac"));
    const QString title = QStringLiteral("Caf\u00e9 \u6771\u4eac & \"Blue\"");
    const QString artist = QStringLiteral("The T\u00e9sters & \u97f3");
    const QMap<QString, QString> tags{
        {QStringLiteral("title"), title},
        {QStringLiteral("artist"), artist},
        {QStringLiteral("album"), QStringLiteral("Edge Cases")},
        {QStringLiteral("album_artist"), QStringLiteral("Various")},
        {QStringLiteral("track"), QStringLiteral("7")},
        {QStringLiteral("disc"), QStringLiteral("2")},
        {QStringLiteral("date"), QStringLiteral("2019")},
        {QStringLiteral("genre"), QStringLiteral("Jazz")},
        {QStringLiteral("comment"), QStringLiteral("Live \u00e0 Paris")}};
    QStringList arguments{QStringLiteral("-f"),
                          QStringLiteral("lavfi"),
                          QStringLiteral("-i"),
                          QStringLiteral("sine=frequency=440:duration=3:sample_rate=96000"),
                          QStringLiteral("-f"),
                          QStringLiteral("lavfi"),
                          QStringLiteral("-i"),
                          QStringLiteral("color=red:size=64x64:duration=1"),
                          QStringLiteral("-map"),
                          QStringLiteral("0:a"),
                          QStringLiteral("-map"),
                          QStringLiteral("1:v"),
                          QStringLiteral("-frames:v"),
                          QStringLiteral("1"),
                          QStringLiteral("-c:v"),
                          QStringLiteral("mjpeg"),
                          QStringLiteral("-disposition:v"),
                          QStringLiteral("attached_pic"),
                          QStringLiteral("-metadata:s:v"),
                          QStringLiteral("comment=Cover (front)"),
                          QStringLiteral("-af"),
                          QStringLiteral("pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0"),
                          QStringLiteral("-sample_fmt"),
                          QStringLiteral("s32")};
    for (auto tag = tags.begin(); tag != tags.end(); ++tag)
        arguments << QStringLiteral("-metadata") << tag.key() + QLatin1Char('=') + tag.value();
    ASSERT_TRUE(generate(arguments << tagged));
    const Probe original = probe(tagged);
    ASSERT_EQ(original.pictures, 1);
    ASSERT_EQ(original.channels, 6);
    const QByteArray cover = pictureDigest(tagged);
    ASSERT_FALSE(cover.isEmpty());

    for (int format = 0; format < FormatCount; ++format) {
        SCOPED_TRACE(FormatTable[format].listText);
        const ConverterInvocation invocation = invocationFor(tagged, settingsFor(format));
        const ConvRun run = convert(invocation);
        ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
        const Probe result = probe(invocation.outputPath);
        const Probe expected = expectedFor(format, original);
        EXPECT_EQ(result.codec, expected.codec);
        EXPECT_EQ(result.sampleRate, expected.sampleRate);
        EXPECT_EQ(result.channels, expected.channels);
        EXPECT_EQ(result.videoStreams, 0);
        // The length is kept within one codec frame (2048 samples at the most); a bare .aac
        // decodes its 1024 priming samples as sound.
        const double priming = format == Aac ? 1024.0 / result.sampleRate : 0;
        EXPECT_NEAR(result.seconds - priming, 3.0, 2048.0 / result.sampleRate);

        const bool noTags = format == Ac3 || format == Aac || format == Amr || format == Mpg;
        const bool holdsCover = !noTags && format != Wav;
        EXPECT_EQ(result.pictures, holdsCover ? 1 : 0);
        if (holdsCover) {
            EXPECT_EQ(pictureDigest(invocation.outputPath), cover);
        }
        if (noTags)
            continue;
        // WAV's INFO list has no place for the album artist, disc, date or comment.
        for (auto tag = tags.begin(); tag != tags.end(); ++tag) {
            if (format != Wav || tag.key() == QStringLiteral("title") ||
                tag.key() == QStringLiteral("artist") || tag.key() == QStringLiteral("album") ||
                tag.key() == QStringLiteral("track")) {
                // ffprobe names a WMA's year by its ASF attribute, which players read.
                const QString key = format == Wma && tag.key() == QStringLiteral("date")
                                        ? QStringLiteral("wm/year")
                                        : tag.key();
                EXPECT_EQ(result.tags.value(key), tag.value()) << tag.key().toStdString();
            }
        }
    }

    // The cutter keeps the cover too (ffmpeg drops a copied picture a cut after the input passes).
    for (const int format : {Mp3, Flac, M4a, Opus}) {
        SCOPED_TRACE(FormatTable[format].listText);
        ConversionSettings settings = settingsFor(format);
        settings.cutterOn = 1;
        settings.cutStart = 1;
        settings.cutLength = 1;
        const ConverterInvocation invocation = invocationFor(tagged, settings);
        ASSERT_EQ(convert(invocation).exitCode, 0);
        const Probe result = probe(invocation.outputPath);
        EXPECT_EQ(result.pictures, 1);
        EXPECT_NEAR(result.seconds, 1.0, 0.1);
    }

    // A real video is dropped and is no cover.
    for (const int format : {Mp3, Flac, M4a, Opus}) {
        SCOPED_TRACE(FormatTable[format].listText);
        const ConverterInvocation invocation = invocationFor(s_source, settingsFor(format));
        ASSERT_EQ(convert(invocation).exitCode, 0);
        const Probe result = probe(invocation.outputPath);
        EXPECT_EQ(result.videoStreams, 0);
        EXPECT_EQ(result.pictures, 0);
        EXPECT_NEAR(result.seconds, s_sourceSeconds, 0.1);
    }
}

} // namespace

namespace {

// One conversion done both ways: by ffmpeg, which conv starts, and in conv's own process.
struct PairedCase
{
    QString name;
    QString program;
    QStringList arguments;
    QString output;
};

} // namespace

TEST_F(ConverterSources, InProcessConversionWritesWhatFfmpegWritesInEveryFormat)
{
    ASSERT_TRUE(QDir(m_out->path()).mkdir(QStringLiteral("sources")));
    const QString song = m_out->filePath(QStringLiteral("sources/song.mp3"));
    const QString surround = m_out->filePath(QStringLiteral("sources/surround.flac"));
    const QString phone = m_out->filePath(QStringLiteral("sources/phone.wav"));
    const QStringList tags{
        QStringLiteral("-metadata"), QStringLiteral("title=Caf\u00e9 \u6771\u4eac"),
        QStringLiteral("-metadata"), QStringLiteral("artist=The Testers"),
        QStringLiteral("-metadata"), QStringLiteral("album=Pairs"),
        QStringLiteral("-metadata"), QStringLiteral("track=3"),
        QStringLiteral("-metadata"), QStringLiteral("date=2021")};
    // A sine as the audio, a one-frame picture as the cover, then the output's switches.
    const auto tagged = [&](const QString& sine, const QStringList& audio, const QString& path) {
        return generate(
            QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), sine,
                        QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("color=blue:size=32x32:duration=1"), QStringLiteral("-map"),
                        QStringLiteral("0:a"), QStringLiteral("-map"), QStringLiteral("1:v"),
                        QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-c:v"),
                        QStringLiteral("mjpeg"), QStringLiteral("-disposition:v"),
                        QStringLiteral("attached_pic")} +
            audio + tags + QStringList{path});
    };
    ASSERT_TRUE(tagged(QStringLiteral("sine=frequency=440:duration=2.5"),
                       {QStringLiteral("-ac"), QStringLiteral("2")}, song));
    ASSERT_TRUE(tagged(QStringLiteral("sine=frequency=300:duration=2:sample_rate=96000"),
                       {QStringLiteral("-af"),
                        QStringLiteral("pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0"),
                        QStringLiteral("-sample_fmt"), QStringLiteral("s32")},
                       surround));
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("sine=frequency=440:duration=1.5:sample_rate=8000"),
                          QStringLiteral("-c:a"), QStringLiteral("pcm_u8"), phone}));

    QList<PairedCase> cases;
    const auto add = [&](const QString& source, ConversionSettings settings, const QString& what) {
        const QString folder = QStringLiteral("%1").arg(cases.size());
        QDir(m_out->path()).mkpath(folder);
        settings.outputFolder = m_out->filePath(folder);
        const ConverterInvocation invocation = invocationFor(source, settings);
        cases.append({QFileInfo(source).fileName() + QStringLiteral(" to ") +
                          QString::fromLatin1(FormatTable[settings.formatIndex].listText) + what,
                      invocation.program, invocation.arguments, invocation.outputPath});
    };
    for (const QString& source : {song, surround, phone, s_source}) {
        for (int format = 0; format < FormatCount; ++format)
            add(source, settingsFor(format), QString());
    }
    for (const int format : {Mp3, Ogg, Flac, Amr, M4a, Opus, Wma}) {
        ConversionSettings settings = settingsFor(format);
        settings.cutterOn = 1;
        settings.cutStart = 1;
        settings.cutLength = 1;
        settings.cutLengthFraction = 2;
        add(song, settings, QStringLiteral(" cut"));
        settings.bitrateIndex = BitrateV2;
        settings.cutterOn = 0;
        add(surround, settings, QStringLiteral(" preset"));
    }
    // The copy of a source already in the output's codec, as the library run plans it.
    for (const auto& [source, extension] :
         {std::pair{song, QStringLiteral("mp3")}, std::pair{surround, QStringLiteral("flac")}}) {
        const QString output = m_out->filePath(QStringLiteral("copy.") + extension);
        cases.append({QFileInfo(source).fileName() + QStringLiteral(" copied"),
                      ProgramDir + QStringLiteral("/data/conv"),
                      {QStringLiteral("-threads"), QStringLiteral("1"), QStringLiteral("-i"),
                       source, QStringLiteral("-y"), QStringLiteral("-map"),
                       QStringLiteral("0:a:0"), QStringLiteral("-map"), QStringLiteral("0:v?"),
                       QStringLiteral("-c"), QStringLiteral("copy"), output},
                      output});
    }

    // Each case through ffmpeg first, its output moved aside, then in-process.
    const auto runEach = [&](bool inProcess) {
        QList<std::pair<QString, QStringList>> commands;
        for (const PairedCase& c : cases) {
            commands.append({c.program, QStringList{inProcess ? QStringLiteral("--in-process")
                                                              : QStringLiteral("--ffmpeg")} +
                                            c.arguments});
        }
        return runAll(commands, true);
    };
    QStringList byFfmpeg;
    QStringList inProcess;
    const QList<ConvRun> ffmpegRuns = runEach(false);
    for (const PairedCase& c : cases) {
        byFfmpeg.append(c.output + QStringLiteral(".ffmpeg"));
        QFile::rename(c.output, byFfmpeg.back());
        inProcess.append(c.output);
    }
    const QList<ConvRun> ownRuns = runEach(true);
    const QList<Probe> expected = probeAll(byFfmpeg);
    const QList<Probe> results = probeAll(inProcess);
    for (qsizetype i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name.toStdString());
        ASSERT_EQ(ffmpegRuns[i].exitCode, 0) << ffmpegRuns[i].output.toStdString();
        ASSERT_EQ(ownRuns[i].exitCode, 0) << ownRuns[i].output.toStdString();
        EXPECT_TRUE(ownRuns[i].output.contains(QStringLiteral("Duration: ")));
        EXPECT_TRUE(ownRuns[i].output.contains(QStringLiteral("time=")));
        const Probe& want = expected[i];
        const Probe& got = results[i];
        ASSERT_FALSE(want.codec.isEmpty());
        EXPECT_EQ(got.codec, want.codec);
        EXPECT_EQ(got.sampleRate, want.sampleRate);
        EXPECT_EQ(got.channels, want.channels);
        EXPECT_NEAR(got.bitrate, want.bitrate, want.bitrate * 0.02);
        EXPECT_NEAR(got.seconds, want.seconds,
                    static_cast<double>(std::max(want.frameSamples, 1)) / want.sampleRate);
        const auto tagText = [](const Probe& probe) {
            QString text;
            for (auto tag = probe.tags.begin(); tag != probe.tags.end(); ++tag)
                text += tag.key() + QLatin1Char('=') + tag.value() + QLatin1Char('\n');
            return text.toStdString();
        };
        EXPECT_EQ(tagText(got), tagText(want));
        EXPECT_EQ(got.videoStreams, 0);
        EXPECT_EQ(got.pictures, want.pictures);
        if (want.pictures > 0) {
            EXPECT_EQ(pictureDigest(inProcess[i]), pictureDigest(byFfmpeg[i]));
        }
    }
}
