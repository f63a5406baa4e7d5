// End-to-end runs of data/conv with the argument vectors the program builds, checked with ffprobe.

#include "converter/conv_fixture.h"

#include <QRegularExpression>
#include <QThread>

#include <csignal>

namespace {

using namespace conv_test;

struct Expected
{
    int format;
    const char* codec;
    int sampleRate;
    int channels;
};

TEST_F(Converter, EveryFormatGivesItsCodecRateAndChannelsWithoutVideo)
{
    ASSERT_NEAR(s_sourceSeconds, 3.0, 0.1);
    const Expected table[] = {
        {Mp3, "mp3", 44100, 2},       {Wma, "wmav1", 44100, 2}, {Ogg, "vorbis", 44100, 2},
        {Wav, "pcm_s16le", 44100, 2}, {Flac, "flac", 44100, 2}, {Ac3, "ac3", 44100, 2},
        {Aac, "aac", 44100, 2},       {Amr, "amr_nb", 8000, 1}, {Mpg, "mp2", 44100, 2},
        {Opus, "opus", 48000, 2},     {M4a, "aac", 44100, 2},   {Alac, "alac", 44100, 2}};
    for (const Expected& expected : table) {
        const ConverterInvocation invocation =
            invocationFor(s_source, settingsFor(expected.format));
        const ConvRun run = convert(invocation);
        SCOPED_TRACE(FormatTable[expected.format].listText);
        ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
        // The progress reports the program reads must come through, also for AMR.
        EXPECT_TRUE(run.output.contains(QStringLiteral("Duration: 00:00:03")));
        EXPECT_TRUE(run.output.contains(QStringLiteral("time=00:00:0")));
        const Probe result = probe(invocation.outputPath);
        EXPECT_EQ(result.codec, QString::fromLatin1(expected.codec));
        EXPECT_EQ(result.sampleRate, expected.sampleRate);
        EXPECT_EQ(result.channels, expected.channels);
        EXPECT_EQ(result.videoStreams, 0);
        EXPECT_NEAR(result.seconds, s_sourceSeconds, 0.1);
    }
}

TEST_F(Converter, AmrIsTheSevenPointFourModeWithTheAmrHeader)
{
    const ConverterInvocation invocation = invocationFor(s_source, settingsFor(Amr));
    ASSERT_EQ(convert(invocation).exitCode, 0);
    QFile file(invocation.outputPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    ASSERT_TRUE(data.startsWith("#!AMR\n"));
    // Every 7.4 kbit/s frame is 20 bytes with its table-of-contents byte, frame type 4.
    ASSERT_GT(data.size(), 6);
    EXPECT_EQ((static_cast<unsigned char>(data[6]) >> 3) & 0x0f, 4);
    EXPECT_EQ((data.size() - 6) % 20, 0);
}

TEST_F(Converter, RefusedRateBecomesTheEncodersNearestAndChannelsFollowTheSwitch)
{
    // Twice each: the first run asks the FFmpeg libraries, the second one reads the cached answer.
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& [format, rate] : {std::pair{Mp3, 12000}, std::pair{Mpg, 16000}}) {
            ConversionSettings settings = settingsFor(format);
            settings.rateIndex = 6;    // "12050"
            settings.channelIndex = 0; // "Mono"
            const ConverterInvocation invocation = invocationFor(s_source, settings);
            ASSERT_TRUE(invocation.arguments.contains(QStringLiteral("12050")));
            const ConvRun run = convert(invocation);
            SCOPED_TRACE(FormatTable[format].listText);
            ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
            const Probe result = probe(invocation.outputPath);
            EXPECT_EQ(result.sampleRate, rate);
            EXPECT_EQ(result.channels, 1);
            EXPECT_NEAR(result.seconds, s_sourceSeconds, 0.1);
        }
    }
    // A rate the encoder takes is passed on unchanged.
    ConversionSettings settings = settingsFor(Mp3);
    settings.rateIndex = 4; // "22050"
    const ConverterInvocation invocation = invocationFor(s_source, settings);
    ASSERT_EQ(convert(invocation).exitCode, 0);
    EXPECT_EQ(probe(invocation.outputPath).sampleRate, 22050);
}

TEST_F(Converter, CutterGivesTheCutLength)
{
    for (const int format : {Mp3, Flac, Amr, Wma}) {
        ConversionSettings settings = settingsFor(format);
        settings.cutterOn = 1;
        settings.cutStart = 1;
        settings.cutLength = 1;
        settings.cutLengthFraction = 5; // 1.5 s
        const ConverterInvocation invocation = invocationFor(s_source, settings);
        const ConvRun run = convert(invocation);
        SCOPED_TRACE(FormatTable[format].listText);
        ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
        EXPECT_NEAR(probe(invocation.outputPath).seconds, 1.5, 0.1);
    }
}

TEST_F(Converter, SourceNameWithBlanksQuoteDashAndNonAsciiLettersConverts)
{
    const QString source = m_out->filePath(QStringLiteral("-y \"Señor Ünïcødé\" -i x.mp4"));
    ASSERT_TRUE(QFile::copy(s_source, source));
    for (const int format : {Ogg, Amr}) {
        const ConverterInvocation invocation = invocationFor(source, settingsFor(format));
        const ConvRun run = convert(invocation);
        SCOPED_TRACE(FormatTable[format].listText);
        ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
        EXPECT_TRUE(
            invocation.outputPath.endsWith(QStringLiteral("/-y \"Señor Ünïcødé\" -i x") +
                                           QString::fromLatin1(FormatTable[format].extension)));
        EXPECT_NEAR(probe(invocation.outputPath).seconds, s_sourceSeconds, 0.1);
    }
}

TEST_F(Converter, MissingSourceFailsSaysWhyAndLeavesAnEarlierOutputAlone)
{
    for (const int format : {Mp3, Amr}) {
        SCOPED_TRACE(FormatTable[format].listText);
        const ConverterInvocation invocation =
            invocationFor(m_out->filePath(QStringLiteral("absent.wav")), settingsFor(format));
        const ConvRun run = convert(invocation);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(run.output.contains(QStringLiteral("No such file or directory")))
            << run.output.toStdString();
        EXPECT_FALSE(QFile::exists(invocation.outputPath));
    }
    // An output of the same name from an earlier conversion: ffmpeg fails before touching it, so
    // it is not conv's to remove. (AMR output is opened first and so replaced like with -y.)
    const ConverterInvocation invocation =
        invocationFor(m_out->filePath(QStringLiteral("absent.wav")), settingsFor(Wav));
    QFile earlier(invocation.outputPath);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
    earlier.close();
    EXPECT_NE(convert(invocation).exitCode, 0);
    EXPECT_EQ(QFileInfo(invocation.outputPath).size(), 7);
}

// The line the program shows as the reason a file failed: the last one that is not empty.
QString lastLine(const QString& output)
{
    const QStringList lines =
        output.split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}

TEST_F(Converter, NothingToConvertFailsRemovesTheOutputAndSaysWhyInPlainWords)
{
    // A cut that starts past the end used to give a header-only file reported as converted.
    for (const int format : {Mp3, Flac, Amr}) {
        SCOPED_TRACE(FormatTable[format].listText);
        ConversionSettings settings = settingsFor(format);
        settings.cutterOn = 1;
        settings.cutStart = 3600;
        settings.cutLength = 10;
        const ConverterInvocation invocation = invocationFor(s_source, settings);
        const ConvRun run = convert(invocation);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_FALSE(QFile::exists(invocation.outputPath));
        EXPECT_EQ(lastLine(run.output),
                  QStringLiteral("cut starts at 1:00:00 but the file is 0:03 long"))
            << run.output.toStdString();
    }

    // Sources that hold no audio FFmpeg can read: FFmpeg's own words stay, in brackets.
    QFile(m_out->filePath(QStringLiteral("empty.mp3"))).open(QIODevice::WriteOnly);
    QFile text(m_out->filePath(QStringLiteral("notes.mp3")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not music at all\n");
    text.close();
    const QString video = m_out->filePath(QStringLiteral("silent film.mp4"));
    ASSERT_TRUE(generate({QStringLiteral("-i"), s_source, QStringLiteral("-an"),
                          QStringLiteral("-c:v"), QStringLiteral("copy"), video}));
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("empty.mp3"),
         QStringLiteral(
             "not an audio or video file that FFmpeg can read (empty.mp3: Invalid argument)")},
        {QStringLiteral("notes.mp3"),
         QStringLiteral("not an audio or video file that FFmpeg can read (notes.mp3: ")},
        {QStringLiteral("silent film.mp4"),
         QStringLiteral("the file holds no audio (silent film.mp4)")},
        {QStringLiteral("absent.wav"),
         QStringLiteral("cannot read the file (absent.wav: No such file or directory)")}};
    for (const auto& [name, reason] : cases) {
        for (const int format : {Wma, Amr}) {
            SCOPED_TRACE(
                (name + QLatin1Char(' ') + QString::fromLatin1(FormatTable[format].listText))
                    .toStdString());
            const ConverterInvocation invocation =
                invocationFor(m_out->filePath(name), settingsFor(format));
            const ConvRun run = convert(invocation);
            EXPECT_NE(run.exitCode, 0);
            EXPECT_FALSE(QFile::exists(invocation.outputPath));
            EXPECT_TRUE(lastLine(run.output).startsWith(reason)) << run.output.toStdString();
        }
    }
}

TEST_F(Converter, OutputFolderThatCannotBeWrittenFailsAndSaysWhy)
{
    // Tests may run as root, for whom permission bits do not stop a write: use folders that are
    // missing, or that are really a file.
    QFile blocker(m_out->filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const std::pair<QString, QString> cases[] = {
        {m_out->filePath(QStringLiteral("missing/folder")),
         QStringLiteral("No such file or directory")},
        {blocker.fileName(), QStringLiteral("Not a directory")}};
    for (const auto& [folder, reason] : cases) {
        for (const int format : {Mp3, Amr}) {
            ConversionSettings settings = settingsFor(format);
            settings.outputFolder = folder;
            const ConvRun run = convert(invocationFor(s_source, settings));
            SCOPED_TRACE(FormatTable[format].listText);
            EXPECT_NE(run.exitCode, 0);
            EXPECT_TRUE(run.output.contains(reason)) << run.output.toStdString();
        }
    }
}

// The state letter of /proc/<pid>/stat, or 0 when the process is gone.
char processState(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() ? text[close + 2] : 0;
}

bool processEnded(qint64 pid)
{
    const char state = processState(pid);
    return state == 0 || state == 'Z' || state == 'X';
}

qint64 childOf(qint64 parent)
{
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent)
            return entry.toLongLong();
    }
    return 0;
}

TEST_F(Converter, StoppingConvStopsItsFfmpegAndSigtermLeavesNoOutput)
{
    for (const int signal : {SIGTERM, SIGKILL}) {
        for (const QString& extension : {QStringLiteral("mp3"), QStringLiteral("amr")}) {
            SCOPED_TRACE(extension.toStdString() + (signal == SIGTERM ? " SIGTERM" : " SIGKILL"));
            const QString output = m_out->filePath(QStringLiteral("long.") + extension);
            // -re reads the input at its own pace, so the conversion is still running when stopped.
            QProcess conv;
            conv.setProcessEnvironment(environment());
            conv.setProcessChannelMode(QProcess::MergedChannels);
            conv.start(ProgramDir + QStringLiteral("/data/conv"),
                       {QStringLiteral("-re"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                        QStringLiteral("-i"), QStringLiteral("sine=duration=30"),
                        QStringLiteral("-y"), QStringLiteral("-vn"), output});
            ASSERT_TRUE(conv.waitForStarted());
            QByteArray console;
            while (!console.contains("time=") && conv.waitForReadyRead(5000))
                console += conv.readAll();
            ASSERT_TRUE(console.contains("time=")) << console.toStdString();
            const qint64 ffmpeg = childOf(conv.processId());
            ASSERT_NE(ffmpeg, 0);
            ASSERT_TRUE(QFile::exists(output));

            ::kill(static_cast<pid_t>(conv.processId()), signal);
            ASSERT_TRUE(conv.waitForFinished(5000));
            for (int i = 0; i < 50 && !processEnded(ffmpeg); ++i)
                QThread::msleep(20);
            EXPECT_TRUE(processEnded(ffmpeg));
            if (signal == SIGTERM) {
                EXPECT_EQ(conv.exitStatus(), QProcess::NormalExit);
                EXPECT_NE(conv.exitCode(), 0);
                EXPECT_FALSE(QFile::exists(output));
            }
            QFile::remove(output);
        }
    }
}

} // namespace
