// conv --worker: job after job through one process, each job's console and status in frames.

#include "converter/conv_fixture.h"
#include "converter/unfinished_name.h"
#include "converter/worker_frames.h"

#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace conv_test;

struct JobResult
{
    QByteArray console;
    int status = -1;
    int keepAlives = 0;
};

TEST_F(Converter, WorkerConvertsJobAfterJobAndFramesEachJobsReportsAndStatus)
{
    const QString program = ProgramDir + QStringLiteral("/data/conv");
    ConversionSettings odd = settingsFor(Mp3);
    // A newline in a name cannot break a frame: the length leads.
    odd.outputBaseName = QStringLiteral("line\nbreak");
    const QList<ConverterInvocation> jobs = {
        invocationFor(s_source, settingsFor(Ogg)),
        invocationFor(m_out->filePath(QStringLiteral("absent.wav")), settingsFor(Mp3)),
        invocationFor(s_source, odd)};
    std::string input;
    for (const ConverterInvocation& job : jobs) {
        std::vector<std::string> arguments;
        for (const QString& argument : job.arguments)
            arguments.push_back(argument.toStdString());
        input += worker_frames::encodeJob(arguments);
    }

    QProcess worker;
    worker.setProcessEnvironment(environment());
    worker.start(program, {QStringLiteral("--worker")});
    ASSERT_TRUE(worker.waitForStarted());
    worker.write(input.data(), static_cast<qint64>(input.size()));
    worker.closeWriteChannel();
    ASSERT_TRUE(worker.waitForFinished(60000));
    EXPECT_EQ(worker.exitCode(), 0) << worker.readAllStandardError().toStdString();
    const QByteArray output = worker.readAllStandardOutput();

    worker_frames::Reader reader;
    reader.add(output.constData(), static_cast<std::size_t>(output.size()));
    QList<JobResult> results{JobResult{}};
    while (auto frame = reader.next()) {
        if (frame->kind == worker_frames::Console) {
            results.last().console += QByteArray::fromStdString(frame->payload);
        } else if (frame->kind == worker_frames::KeepAlive) {
            EXPECT_TRUE(frame->payload.empty());
            ++results.last().keepAlives;
        } else {
            ASSERT_EQ(frame->kind, worker_frames::Exit);
            results.last().status = std::stoi(frame->payload);
            results.append(JobResult{});
        }
    }
    EXPECT_FALSE(reader.broken());
    ASSERT_EQ(results.size(), jobs.size() + 1);
    EXPECT_TRUE(results.last().console.isEmpty());
    // The first packet read proves the job moves; the driver takes a silent worker for hung.
    EXPECT_GE(results[0].keepAlives, 1);

    for (const int ok : {0, 2}) {
        SCOPED_TRACE(jobs[ok].outputPath.toStdString());
        EXPECT_EQ(results[ok].status, 0) << results[ok].console.toStdString();
        EXPECT_TRUE(results[ok].console.contains("Duration: "));
        EXPECT_TRUE(results[ok].console.contains("time="));
        EXPECT_NEAR(probe(jobs[ok].outputPath).seconds, s_sourceSeconds, 0.1);
    }
    EXPECT_NE(results[1].status, 0);
    EXPECT_TRUE(results[1].console.trimmed().endsWith(
        "cannot read the file (absent.wav: No such file or directory)"))
        << results[1].console.toStdString();
    EXPECT_FALSE(QFile::exists(jobs[1].outputPath));

    // Bytes that are not frames end the worker with a failure, not a job run on guesswork.
    QProcess confused;
    confused.start(program, {QStringLiteral("--worker")});
    ASSERT_TRUE(confused.waitForStarted());
    confused.write("-i song.wav song.mp3\n");
    confused.closeWriteChannel();
    ASSERT_TRUE(confused.waitForFinished(10000));
    EXPECT_NE(confused.exitCode(), 0);
    EXPECT_TRUE(confused.readAllStandardOutput().isEmpty());
}

TEST_F(Converter, StoppingAWorkerStopsItsJobRemovesTheUnfinishedFileAndEndsTheWorker)
{
    // The job's source is a pipe that gives eight seconds of sound and then nothing, so the job
    // is still running when the stop comes.
    const QString wav = m_out->filePath(QStringLiteral("whole.wav"));
    ASSERT_TRUE(generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("sine=duration=10"), wav}));
    const QString pipe = m_out->filePath(QStringLiteral("pipe.wav"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const ConverterInvocation first = invocationFor(s_source, settingsFor(Wav));
    const ConverterInvocation stopped = invocationFor(pipe, settingsFor(Mp3));
    std::string input;
    for (const ConverterInvocation& job : {first, stopped}) {
        std::vector<std::string> arguments;
        for (const QString& argument : job.arguments)
            arguments.push_back(argument.toStdString());
        input += worker_frames::encodeJob(arguments);
    }
    QFile earlier(stopped.outputPath);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
    earlier.close();

    QProcess worker;
    worker.setProcessEnvironment(environment());
    worker.start(ProgramDir + QStringLiteral("/data/conv"), {QStringLiteral("--worker")});
    ASSERT_TRUE(worker.waitForStarted());
    worker.write(input.data(), static_cast<qint64>(input.size()));
    ASSERT_TRUE(worker.waitForBytesWritten(5000));
    const int feed = openFeed(pipe, 10000);
    ASSERT_GE(feed, 0) << "the worker never opened the second job's source";
    QFile whole(wav);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray sound = whole.read(8 * 88200);
    EXPECT_EQ(::write(feed, sound.constData(), static_cast<size_t>(sound.size())), sound.size());
    const QString unfinished = QFile::decodeName(QByteArray::fromStdString(unfinishedOutputPath(
        QFile::encodeName(stopped.outputPath).toStdString(), worker.processId())));
    for (int i = 0; i < 250 && !QFile::exists(unfinished); ++i)
        QThread::msleep(20);
    EXPECT_TRUE(QFile::exists(unfinished));

    ::kill(static_cast<pid_t>(worker.processId()), SIGTERM);
    const bool ended = worker.waitForFinished(5000);
    ::close(feed);
    ASSERT_TRUE(ended || worker.waitForFinished(5000));
    EXPECT_TRUE(ended) << "the worker waited for its source after the stop";
    const QByteArray output = worker.readAllStandardOutput();
    worker_frames::Reader reader;
    reader.add(output.constData(), static_cast<std::size_t>(output.size()));
    std::vector<int> statuses;
    while (auto frame = reader.next()) {
        if (frame->kind == worker_frames::Exit)
            statuses.push_back(std::stoi(frame->payload));
    }
    // The first job is done and stays; the stopped one says so and leaves the path as it was.
    EXPECT_EQ(statuses, (std::vector<int>{0, 128 + SIGTERM}));
    EXPECT_EQ(worker.exitCode(), 128 + SIGTERM);
    EXPECT_TRUE(QFile::exists(first.outputPath));
    EXPECT_FALSE(QFile::exists(unfinished));
    QFile kept(stopped.outputPath);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("earlier"));
}

} // namespace
