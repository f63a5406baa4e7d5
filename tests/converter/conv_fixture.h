// A fixture for end-to-end runs of data/conv with the argument vectors the program builds, and
// ffprobe's reading of what they produce.
#pragma once

#include "engine/command_line.h"
#include "settings/picker_lists.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace conv_test {

const QString ProgramDir = QStringLiteral(TREVALON_PROGRAM_DIR);

struct ConvRun
{
    int exitCode = -1;
    QString output;
};

struct Probe
{
    QString codec;
    int sampleRate = 0;
    int channels = 0;
    int videoStreams = 0;        // real video, not counting cover pictures
    int pictures = 0;            // attached cover pictures
    double seconds = 0;          // decoded length
    int frameSamples = 0;        // the longest decoded frame's samples
    qint64 bitrate = 0;          // the file's, in bits per second
    QMap<QString, QString> tags; // the container's and the audio stream's tags, keys in lower case
};

inline QByteArray runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    return process.readAllStandardOutput();
}

// One ffprobe run reads the streams, and the decoded frames whose sample counts give the length
// (container durations include encoder padding; decoded samples do not).
inline QStringList probeArguments(const QString& path)
{
    return {QStringLiteral("-v"),
            QStringLiteral("error"),
            QStringLiteral("-show_entries"),
            QStringLiteral("stream=codec_type,codec_name,sample_rate,channels:stream_disposition="
                           "attached_pic:stream_tags:format=bit_rate:format_tags:frame=nb_samples"),
            QStringLiteral("-of"),
            QStringLiteral("json"),
            path};
}

inline Probe parseProbe(const QByteArray& json)
{
    const QJsonObject report = QJsonDocument::fromJson(json).object();
    Probe result;
    const auto addTags = [&](const QJsonObject& owner) {
        const QJsonObject tags = owner.value(QStringLiteral("tags")).toObject();
        for (auto tag = tags.begin(); tag != tags.end(); ++tag)
            result.tags.insert(tag.key().toLower(), tag.value().toString());
    };
    addTags(report.value(QStringLiteral("format")).toObject());
    result.bitrate = report.value(QStringLiteral("format"))
                         .toObject()
                         .value(QStringLiteral("bit_rate"))
                         .toString()
                         .toLongLong();
    for (const QJsonValue& value : report.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        if (stream.value(QStringLiteral("codec_type")).toString() == QStringLiteral("video")) {
            if (stream.value(QStringLiteral("disposition"))
                    .toObject()
                    .value(QStringLiteral("attached_pic"))
                    .toInt() != 0)
                ++result.pictures;
            else
                ++result.videoStreams;
        } else if (stream.value(QStringLiteral("codec_type")).toString() ==
                   QStringLiteral("audio")) {
            addTags(stream);
            result.codec = stream.value(QStringLiteral("codec_name")).toString();
            result.sampleRate = stream.value(QStringLiteral("sample_rate")).toString().toInt();
            result.channels = stream.value(QStringLiteral("channels")).toInt();
        }
    }
    qint64 samples = 0;
    for (const QJsonValue& frame : report.value(QStringLiteral("frames")).toArray()) {
        const qint64 frameSamples =
            frame.toObject().value(QStringLiteral("nb_samples")).toInteger();
        samples += frameSamples;
        result.frameSamples = std::max(result.frameSamples, static_cast<int>(frameSamples));
    }
    if (result.sampleRate > 0)
        result.seconds = static_cast<double>(samples) / result.sampleRate;
    return result;
}

inline Probe probe(const QString& path)
{
    return parseProbe(runTool(QStringLiteral("ffprobe"), probeArguments(path)));
}

// Runs ffmpeg quietly to make a test source; false when it fails.
// The writing end of the named pipe `pipe`, opened once conv has opened it to read (blocking
// writes from then on); -1 when conv never does within `waitMilliseconds`.
inline int openFeed(const QString& pipe, int waitMilliseconds = 5000)
{
    int feed = -1;
    for (int i = 0; i < waitMilliseconds / 20 && feed < 0; ++i) {
        feed = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
        if (feed < 0)
            QThread::msleep(20);
    }
    if (feed >= 0)
        ::fcntl(feed, F_SETFL, 0);
    return feed;
}

inline bool generate(const QStringList& arguments)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")} +
                     arguments);
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitStatus() == QProcess::NormalExit &&
           ffmpeg.exitCode() == 0;
}

class Converter : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        s_source = s_dir->filePath(QStringLiteral("source.mp4"));
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                      QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("testsrc=duration=3:size=96x64:rate=10"), QStringLiteral("-f"),
                      QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("sine=frequency=440:duration=3:sample_rate=44100"),
                      QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:v"),
                      QStringLiteral("mpeg4"), QStringLiteral("-c:a"), QStringLiteral("aac"),
                      QStringLiteral("-shortest"), s_source});
        ffmpeg.waitForFinished(30000);
        s_sourceSeconds = probe(s_source).seconds;
    }

    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(s_source)) << "the test clip could not be generated";
        m_out = std::make_unique<QTemporaryDir>();
    }

    ConversionSettings settingsFor(int format) const
    {
        ConversionSettings settings;
        settings.formatIndex = static_cast<std::int16_t>(format);
        settings.outputFolder = m_out->path();
        return settings;
    }

    static ConverterInvocation invocationFor(const QString& source,
                                             const ConversionSettings& settings)
    {
        return BuildConverterInvocation(ProgramDir, source, settings);
    }

    // conv keeps what it learns about encoders in the user's cache folder; each test starts empty.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_out->filePath(QStringLiteral(".cache")));
        return env;
    }

    ConvRun convert(const ConverterInvocation& invocation) const
    {
        QProcess conv;
        conv.setProcessEnvironment(environment());
        conv.setProcessChannelMode(QProcess::MergedChannels);
        conv.start(invocation.program, invocation.arguments);
        conv.waitForFinished(60000);
        return {conv.exitStatus() == QProcess::NormalExit ? conv.exitCode() : -1,
                QString::fromUtf8(conv.readAll())};
    }

    // Runs the programs a few at a time (each mostly waits for its start-up) and gives each one's
    // exit code and output (merged with its errors when asked), in order.
    QList<ConvRun> runAll(const QList<std::pair<QString, QStringList>>& commands,
                          bool mergeErrors) const
    {
        constexpr int AtOnce = 4;
        QList<ConvRun> runs;
        for (qsizetype first = 0; first < commands.size(); first += AtOnce) {
            std::vector<std::unique_ptr<QProcess>> processes;
            for (qsizetype i = first; i < std::min(first + AtOnce, commands.size()); ++i) {
                processes.push_back(std::make_unique<QProcess>());
                processes.back()->setProcessEnvironment(environment());
                if (mergeErrors)
                    processes.back()->setProcessChannelMode(QProcess::MergedChannels);
                processes.back()->start(commands[i].first, commands[i].second);
            }
            for (const auto& process : processes) {
                process->waitForFinished(60000);
                runs.append(
                    {process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
                     QString::fromUtf8(process->readAllStandardOutput())});
            }
        }
        return runs;
    }

    QList<Probe> probeAll(const QStringList& paths) const
    {
        QList<std::pair<QString, QStringList>> commands;
        for (const QString& path : paths)
            commands.append({QStringLiteral("ffprobe"), probeArguments(path)});
        QList<Probe> probes;
        for (const ConvRun& run : runAll(commands, false))
            probes.append(parseProbe(run.output.toUtf8()));
        return probes;
    }

    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline QString s_source;
    static inline double s_sourceSeconds = 0;
    std::unique_ptr<QTemporaryDir> m_out;
};

} // namespace conv_test
