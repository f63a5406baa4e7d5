// conv's loudness measurements and its check of an output, done in its own process: with no
// ffmpeg to be found, alone and as a worker, stopped while it measures, and the check against
// outputs spoiled after their conversion.
#include "converter/conv_fixture.h"
#include "converter/gated_loudness.h"
#include "converter/loudness_probe.h"
#include "converter/output_check.h"
#include "converter/worker_frames.h"
#include "engine/library_jobs.h"

#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace conv_test;

namespace {

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

} // namespace

// conv measures a file, levels one (with the limiter where the peaks need it), tags a copied stream
// and checks its outputs in its own process: with no ffmpeg anywhere on its PATH, alone and as a
// worker. A stop during a measuring pass ends it at once and leaves nothing; the check refuses
// outputs spoiled after their conversion.
TEST(ConvInProcess, MeasuresLevelsTagsACopyAndChecksWithNoFfmpegToStart)
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
        } else if (frame->kind == worker_frames::Exit) {
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
        const int feed = openFeed(pipe);
        ASSERT_GE(feed, 0) << "conv never opened its source";
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
