// End-to-end runs of data/conv with the argument vectors the program builds, checked with ffprobe.

#include "converter/conv_fixture.h"
#include "converter/unfinished_name.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace conv_test;

// The unfinished files conv leaves in a folder: hidden names of its exact form.
QStringList unfinishedFiles(const QString& folder)
{
    QStringList found;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (readUnfinishedOutputName(QFile::encodeName(name).toStdString()))
            found.append(name);
    }
    return found;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// The line the program shows as the reason a file failed: the last one that is not empty.
QString lastLine(const QString& output)
{
    const QStringList lines =
        output.split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}

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
        // A link at the output path is replaced by the new file; what it points to stays as it was.
        const QString target = invocation.outputPath + QStringLiteral(".target");
        ASSERT_TRUE(writeFile(target, "the link's target"));
        QFile::remove(invocation.outputPath); // M4A and ALAC share the extension
        ASSERT_TRUE(QFile::link(target, invocation.outputPath));
        const ConvRun run = convert(invocation);
        SCOPED_TRACE(FormatTable[expected.format].listText);
        ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
        EXPECT_FALSE(QFileInfo(invocation.outputPath).isSymLink());
        EXPECT_EQ(contents(target), QByteArray("the link's target"));
        EXPECT_EQ(unfinishedFiles(m_out->path()), QStringList());
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

    // The cached answers hold for the FFmpeg library files they came from. A forged answer is
    // taken while the cache's stamp of those files is right, and ignored once it is not, as after
    // an upgrade of the libraries.
    const QString cacheFile = m_out->filePath(QStringLiteral(".cache/trevalon/conv-encoder-rates"));
    QList<QByteArray> lines = contents(cacheFile).split('\n');
    ASSERT_GE(lines.size(), 3);
    ASSERT_TRUE(lines[0].startsWith("libraries\t/"));
    ASSERT_TRUE(lines[1].startsWith("stamp\t"));
    const QByteArray stamp = lines[1];
    for (QByteArray& line : lines) {
        if (line.contains("\tformat=;ext=mp3\t"))
            line = line.left(line.indexOf("\tformat=;ext=mp3\t")) +
                   "\tformat=;ext=mp3\tlibmp3lame\t11025\t00";
    }
    ConversionSettings refused = settingsFor(Mp3);
    refused.rateIndex = 6; // "12050"
    const ConverterInvocation forged = invocationFor(s_source, refused);
    for (const auto& [stampLine, rate] :
         {std::pair{stamp, 11025}, std::pair{QByteArray(stamp).replace(':', '0'), 12000}}) {
        lines[1] = stampLine;
        ASSERT_TRUE(writeFile(cacheFile, lines.join('\n')));
        ASSERT_EQ(convert(forged).exitCode, 0);
        EXPECT_EQ(probe(forged.outputPath).sampleRate, rate);
    }
    EXPECT_EQ(contents(cacheFile).split('\n').value(1), stamp);

    // Each program keeps its answers (the converter beside the system's ffmpeg, or another
    // installation's converter): a new answer drops only those of a program changed or gone.
    struct stat other
    {
    };
    const QByteArray otherPath = QFile::encodeName(s_source);
    ASSERT_EQ(::stat(otherPath.constData(), &other), 0);
    const QByteArray answer = "\tformat=;ext=mp3\tlibmp3lame\t*\t11\n";
    const QByteArray current =
        otherPath + ':' + QByteArray::number(static_cast<qulonglong>(other.st_ino)) + ':' +
        QByteArray::number(static_cast<qlonglong>(other.st_size)) + ':' +
        QByteArray::number(static_cast<qlonglong>(other.st_mtim.tv_sec)) + '.' +
        QByteArray::number(static_cast<qlonglong>(other.st_mtim.tv_nsec)) + answer;
    const QByteArray gone = QFile::encodeName(m_out->filePath(QStringLiteral("gone"))) +
                            ":1:2:3.4" + answer;
    ASSERT_TRUE(writeFile(cacheFile, contents(cacheFile) + current + gone));
    const ConverterInvocation ogg = invocationFor(s_source, settingsFor(Ogg));
    ASSERT_EQ(convert(ogg).exitCode, 0);
    const QByteArray kept = contents(cacheFile);
    EXPECT_TRUE(kept.contains("\tformat=;ext=ogg\t")) << kept.toStdString();
    EXPECT_TRUE(kept.contains(current)) << kept.toStdString();
    EXPECT_FALSE(kept.contains(gone)) << kept.toStdString();

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
    // An output of the same name from an earlier conversion stays as it was, AMR's too, and
    // nothing unfinished is left beside it.
    for (const int format : {Wav, Amr}) {
        SCOPED_TRACE(FormatTable[format].listText);
        const ConverterInvocation invocation =
            invocationFor(m_out->filePath(QStringLiteral("absent.wav")), settingsFor(format));
        ASSERT_TRUE(writeFile(invocation.outputPath, "earlier"));
        EXPECT_NE(convert(invocation).exitCode, 0);
        EXPECT_EQ(contents(invocation.outputPath), QByteArray("earlier"));
        EXPECT_EQ(unfinishedFiles(m_out->path()), QStringList());
    }

    // ffmpeg only ever sees the unfinished file, so conv keeps what ffmpeg would refuse about the
    // output path: overwriting without -y, and writing over the source itself (here through a
    // link at the output path).
    const QString source = m_out->filePath(QStringLiteral("source.mp3"));
    ASSERT_TRUE(QFile::copy(s_source, source));
    const QString program = ProgramDir + QStringLiteral("/data/conv");
    const QString link = m_out->filePath(QStringLiteral("link.mp3"));
    ASSERT_TRUE(QFile::link(source, link));
    const QByteArray before = contents(source);
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("-i"), s_source, QStringLiteral("-vn"), source},
          QStringList{QStringLiteral("-i"), source, QStringLiteral("-y"), QStringLiteral("-vn"),
                      link}}) {
        const ConvRun run = convert({program, arguments, {}});
        EXPECT_NE(run.exitCode, 0) << run.output.toStdString();
        EXPECT_EQ(contents(source), before);
    }
    EXPECT_EQ(lastLine(convert({program,
                                {QStringLiteral("-i"), source, QStringLiteral("-y"),
                                 QStringLiteral("-vn"), link},
                                {}})
                           .output),
              QStringLiteral("the output would replace a source file (source.mp3)"));
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
    qint64 killed = 0;
    for (const int signal : {SIGTERM, SIGKILL}) {
        for (const QString& extension : {QStringLiteral("mp3"), QStringLiteral("amr")}) {
            SCOPED_TRACE(extension.toStdString() + (signal == SIGTERM ? " SIGTERM" : " SIGKILL"));
            const QString output = m_out->filePath(QStringLiteral("long.") + extension);
            // A stop keeps an earlier output as it was; a kill leaves none to look finished.
            if (signal == SIGTERM) {
                ASSERT_TRUE(writeFile(output, "earlier"));
            }
            // -re reads the input at its own pace, so the conversion is still running when stopped.
            QProcess conv;
            conv.setProcessEnvironment(environment());
            conv.setProcessChannelMode(QProcess::MergedChannels);
            conv.start(ProgramDir + QStringLiteral("/data/conv"),
                       {QStringLiteral("--ffmpeg"), QStringLiteral("-re"), QStringLiteral("-f"),
                        QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("sine=duration=30"), QStringLiteral("-y"),
                        QStringLiteral("-vn"), output});
            ASSERT_TRUE(conv.waitForStarted());
            QByteArray console;
            while (!console.contains("time=") && conv.waitForReadyRead(5000))
                console += conv.readAll();
            ASSERT_TRUE(console.contains("time=")) << console.toStdString();
            const qint64 ffmpeg = childOf(conv.processId());
            ASSERT_NE(ffmpeg, 0);
            // The conversion runs into its unfinished file; the output path is untouched.
            const QString unfinished = QFile::decodeName(QByteArray::fromStdString(
                unfinishedOutputPath(QFile::encodeName(output).toStdString(), conv.processId())));
            ASSERT_TRUE(QFileInfo(unfinished).isFile());
            EXPECT_EQ(contents(output), signal == SIGTERM ? QByteArray("earlier") : QByteArray());

            killed = conv.processId();
            ::kill(static_cast<pid_t>(conv.processId()), signal);
            ASSERT_TRUE(conv.waitForFinished(5000));
            for (int i = 0; i < 50 && !processEnded(ffmpeg); ++i)
                QThread::msleep(20);
            EXPECT_TRUE(processEnded(ffmpeg));
            if (signal == SIGTERM) {
                EXPECT_EQ(conv.exitStatus(), QProcess::NormalExit);
                EXPECT_NE(conv.exitCode(), 0);
                EXPECT_EQ(contents(output), QByteArray("earlier"));
                EXPECT_FALSE(QFile::exists(unfinished));
                QFile::remove(output);
            } else {
                EXPECT_FALSE(QFileInfo(output).exists() || QFileInfo(output).isSymLink());
                EXPECT_TRUE(QFile::exists(unfinished));
            }
        }
    }

    // Converting in-process, conv starts no process, and a stop ends it at once even while it waits
    // for its source: here a pipe that gives eight seconds of sound (more than the five that the
    // libraries read ahead to learn about the source), then nothing.
    {
        const QString folder = m_out->filePath(QStringLiteral("in-process"));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString wav = folder + QStringLiteral("/whole.wav");
        ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                              QStringLiteral("sine=duration=10"), wav}));
        const QString pipe = folder + QStringLiteral("/pipe.wav");
        ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        ConversionSettings settings = settingsFor(Mp3);
        settings.outputFolder = folder;
        const ConverterInvocation invocation = invocationFor(pipe, settings);
        ASSERT_TRUE(writeFile(invocation.outputPath, "earlier"));
        QProcess conv;
        conv.setProcessEnvironment(environment());
        conv.setProcessChannelMode(QProcess::MergedChannels);
        conv.start(invocation.program,
                   QStringList{QStringLiteral("--in-process")} + invocation.arguments);
        ASSERT_TRUE(conv.waitForStarted());
        const int feed = openFeed(pipe);
        ASSERT_GE(feed, 0) << "conv never opened its source";
        const QByteArray sound = contents(wav).left(8 * 88200);
        EXPECT_EQ(::write(feed, sound.constData(), static_cast<size_t>(sound.size())),
                  sound.size());
        QByteArray console;
        while (!console.contains("time=") && conv.waitForReadyRead(5000))
            console += conv.readAll();
        ASSERT_TRUE(console.contains("time=")) << console.toStdString();
        EXPECT_EQ(childOf(conv.processId()), 0);
        const QString unfinished = QFile::decodeName(QByteArray::fromStdString(unfinishedOutputPath(
            QFile::encodeName(invocation.outputPath).toStdString(), conv.processId())));
        EXPECT_TRUE(QFileInfo(unfinished).isFile());
        ::kill(static_cast<pid_t>(conv.processId()), SIGTERM);
        const bool ended = conv.waitForFinished(5000);
        ::close(feed);
        ASSERT_TRUE(ended || conv.waitForFinished(5000));
        EXPECT_TRUE(ended) << "conv waited for its source after the stop";
        EXPECT_EQ(conv.exitStatus(), QProcess::NormalExit);
        EXPECT_NE(conv.exitCode(), 0);
        EXPECT_EQ(contents(invocation.outputPath), QByteArray("earlier"));
        EXPECT_FALSE(QFile::exists(unfinished));
    }

    // The next conversion into the folder removes what the killed ones left, and nothing else: not
    // the file of a process that still runs (this one), nor names that only look alike.
    const QString dead = QString::number(killed);
    const QString live = QString::number(QCoreApplication::applicationPid());
    const QStringList kept = {QStringLiteral(".song.trevalon-") + live + QStringLiteral(".mp3"),
                              QStringLiteral("song.trevalon-") + dead + QStringLiteral(".mp3"),
                              QStringLiteral(".song.trevalon-") + dead +
                                  QStringLiteral(".mp3.part"),
                              QStringLiteral(".song.trevalon-0") + dead + QStringLiteral(".mp3"),
                              QStringLiteral(".song.trevalon-") + dead + QStringLiteral("x.mp3")};
    for (const QString& name : kept)
        ASSERT_TRUE(writeFile(m_out->filePath(name), "not conv's to remove"));
    const QString linked = QStringLiteral(".linked.trevalon-") + dead + QStringLiteral(".mp3");
    ASSERT_TRUE(QFile::link(m_out->filePath(kept[1]), m_out->filePath(linked)));
    // The killed AMR run's (its start removed the killed MP3 run's), the live one, the link.
    ASSERT_EQ(unfinishedFiles(m_out->path()).size(), 3);
    const ConvRun run = convert(invocationFor(s_source, settingsFor(Wav)));
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(
        run.output.contains(QStringLiteral("removed the unfinished long.amr (.long.trevalon-") +
                            dead + QStringLiteral(".amr)")))
        << run.output.toStdString();
    EXPECT_EQ(unfinishedFiles(m_out->path()), QStringList({linked, kept[0]}));
    for (const QString& name : kept)
        EXPECT_EQ(contents(m_out->filePath(name)), QByteArray("not conv's to remove"));
    EXPECT_TRUE(QFileInfo(m_out->filePath(linked)).isSymLink());
}

} // namespace
