// conv --worker: job after job through one process, each job's console and status in frames.

#include "converter/conv_fixture.h"
#include "converter/worker_frames.h"

namespace {

using namespace conv_test;

struct JobResult
{
    QByteArray console;
    int status = -1;
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
        } else {
            ASSERT_EQ(frame->kind, worker_frames::Exit);
            results.last().status = std::stoi(frame->payload);
            results.append(JobResult{});
        }
    }
    EXPECT_FALSE(reader.broken());
    ASSERT_EQ(results.size(), jobs.size() + 1);
    EXPECT_TRUE(results.last().console.isEmpty());

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

} // namespace
