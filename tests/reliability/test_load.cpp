// Ten thousand list entries through the batch scheduler, two at once as trevalon-batch runs them, with a converter that only writes a
// tiny file: memory must stay flat after the first thousand, and every descriptor opened for the
// converters must be closed again.

#include "cli/batch_jobs.h"
#include "engine/batch_scheduler.h"
#include "engine/recording_sink.h"
#include "intake/file_list_model.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>
#include <optional>

namespace {

constexpr int Entries = 10000;
constexpr int Checkpoint = 1000;
// Allowed growth of resident and peak memory from the checkpoint to the end: a leak of 1 kB per
// entry (one process object, one output buffer) would show as about 9 MB.
constexpr qint64 AllowedGrowthKb = 6 * 1024;

struct Memory
{
    qint64 residentKb = -1; // VmRSS
    qint64 peakKb = -1;     // VmHWM
};

Memory readMemory()
{
    Memory memory;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return memory;
    for (const QByteArray& line : status.readAll().split('\n')) {
        const auto valueOf = [&line](const char* field) {
            return line.mid(static_cast<qsizetype>(qstrlen(field)))
                .trimmed()
                .split(' ')
                .value(0)
                .toLongLong();
        };
        if (line.startsWith("VmRSS:"))
            memory.residentKb = valueOf("VmRSS:");
        else if (line.startsWith("VmHWM:"))
            memory.peakKb = valueOf("VmHWM:");
    }
    return memory;
}

qsizetype openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

class CountingObserver
{
public:
    void jobFinished(bool succeeded, const QString& reason)
    {
        ++finished;
        if (!succeeded && firstFailure.isEmpty())
            firstFailure = reason;
        if (finished == Checkpoint)
            atCheckpoint = readMemory();
    }

    int finished = 0;
    QString firstFailure;
    Memory atCheckpoint;
};

} // namespace

TEST(Load, TenThousandEntriesKeepMemoryFlatAndLeakNoDescriptors)
{
    // In memory where the machine has a shared-memory file system: the ten thousand outputs are
    // created and removed much faster there than on a busy disk.
    const QString memoryFolder = QStringLiteral("/dev/shm");
    QTemporaryDir program(QFileInfo(memoryFolder).isWritable()
                              ? memoryFolder + QStringLiteral("/trevalon-load-XXXXXX")
                              : QDir::tempPath() + QStringLiteral("/trevalon-load-XXXXXX"));
    ASSERT_TRUE(program.isValid());
    ASSERT_TRUE(QDir(program.path()).mkpath(QStringLiteral("data")));
    ASSERT_TRUE(QFile::link(QStringLiteral(TREVALON_TEST_TOOLS_DIR "/tiny_converter"),
                            program.filePath(QStringLiteral("data/conv"))));
    ConversionSettings settings;
    settings.outputFolder = program.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(settings.outputFolder));
    QVector<BatchSource> files;
    files.reserve(Entries);
    for (int i = 0; i < Entries; ++i)
        files.append({program.filePath(
                          QStringLiteral("sources/track %1.wav").arg(i, 5, 10, QLatin1Char('0'))),
                      {}});

    const qsizetype descriptorsBefore = openDescriptors();
    const Memory before = readMemory();
    Memory atEnd;
    CountingObserver observer;
    QElapsedTimer clock;
    clock.start();
    {
        RecordingSink sink;
        FileListModel list;
        list.appendEntries(EntriesOf(BuildBatchJobs(program.path(), files, {}, settings)));
        BatchScheduler run(list, sink, [&settings] { return settings; }, program.path());
        run.setFilesAtOnce(2);
        run.setRemoveFinishedEntries(false);
        QObject::connect(&run, &BatchScheduler::jobFinished,
                         [&observer](const ScheduledJob&, const JobOutcome& outcome) {
                             observer.jobFinished(outcome.succeeded(), outcome.reason);
                         });
        QSignalSpy finished(&run, &BatchScheduler::finished);
        run.start();
        ASSERT_TRUE(finished.wait(110000)) << observer.finished << " entries done in time";
        atEnd = readMemory();
        EXPECT_EQ(run.report().converted, Entries) << observer.firstFailure.toStdString();
        EXPECT_TRUE(run.report().failures.isEmpty());
        EXPECT_TRUE(sink.messages.isEmpty());
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const qint64 seconds = clock.elapsed() / 1000;
    const qsizetype descriptorsAfter = openDescriptors();

    std::cout << "entries=" << observer.finished << " seconds=" << seconds << '\n'
              << "rss_kb: before=" << before.residentKb << " at_" << Checkpoint << "="
              << observer.atCheckpoint.residentKb << " at_" << Entries << "=" << atEnd.residentKb
              << '\n'
              << "peak_rss_kb: at_" << Checkpoint << "=" << observer.atCheckpoint.peakKb << " at_"
              << Entries << "=" << atEnd.peakKb << '\n'
              << "open_fds: before=" << descriptorsBefore << " after=" << descriptorsAfter
              << std::endl;

    EXPECT_EQ(observer.finished, Entries);
    EXPECT_EQ(QDir(settings.outputFolder).entryList(QDir::Files).size(), Entries);
    ASSERT_GT(observer.atCheckpoint.residentKb, 0) << "no memory figures from /proc/self/status";
    EXPECT_LT(atEnd.residentKb - observer.atCheckpoint.residentKb, AllowedGrowthKb);
    EXPECT_LT(atEnd.peakKb - observer.atCheckpoint.peakKb, AllowedGrowthKb);
    EXPECT_EQ(descriptorsAfter, descriptorsBefore);
}
