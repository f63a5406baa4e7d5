#include "converter/unfinished_name.h"
#include "engine/dos_outputs.h"
#include "engine/progress_tracker.h"
#include "qt_print.h"
#include "recording_sink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <sys/resource.h>

namespace {

const QString FakeConverter = QStringLiteral(TREVALON_TEST_TOOLS_DIR "/fake_converter");

ConverterInvocation fake(const QStringList& script, const QString& outputPath = {})
{
    return {FakeConverter, script, outputPath};
}

// Records the runner's events in the order they arrive.
struct EventLog
{
    explicit EventLog(DOSOutputs& dos)
    {
        QObject::connect(&dos, &DOSOutputs::ReceiveOutputs, &dos, [this](const QString& block) {
            blocks << block;
            events << QStringLiteral("block");
        });
        QObject::connect(&dos, &DOSOutputs::CommandOver, &dos,
                         [this] { events << QStringLiteral("over"); });
    }
    QStringList blocks;
    QStringList events;
};

bool runToEnd(DOSOutputs& dos, int timeoutMs = 10000)
{
    QSignalSpy over(&dos, &DOSOutputs::CommandOver);
    return dos.isRunning() && over.wait(timeoutMs);
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < timeoutMs)
        QTest::qWait(10);
    return condition();
}

QString escaped(QStringView text)
{
    QString out;
    for (QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else
            out += c;
    }
    return out;
}

} // namespace

TEST(DOSOutputs, BlocksInOrderWithoutSplitCharactersThenOneCommandOver)
{
    RecordingSink sink;
    DOSOutputs dos(sink);
    EventLog log(dos);
    // 1023 bytes, then characters of two, three and four bytes straddling the 1024-byte reads,
    // then more text after a pause.
    const QString wide = QStringLiteral("é€😀ü") + QString(2000, QLatin1Char('b'));
    dos.setCommandLine(QStringLiteral("fake"),
                       fake({QStringLiteral("repeat:1023:a"), QStringLiteral("print:") + wide,
                             QStringLiteral("sleep:50"), QStringLiteral("print:\\nend\\n")}));
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    ASSERT_TRUE(runToEnd(dos));

    const QString expected = QString(1023, QLatin1Char('a')) + wide + QStringLiteral("\nend\n");
    EXPECT_EQ(log.blocks.join(QString()), expected);
    EXPECT_EQ(dos.Outputs(), expected);
    EXPECT_GE(log.blocks.size(), 4);
    for (const QString& block : log.blocks)
        EXPECT_LE(block.size(), 1024);
    EXPECT_EQ(log.events.last(), QStringLiteral("over"));
    EXPECT_EQ(log.events.count(QStringLiteral("over")), 1);
    EXPECT_TRUE(dos.lastResult().succeeded());
    EXPECT_EQ(dos.lastResult().lastErrorLine, QStringLiteral("end"));
    EXPECT_TRUE(sink.messages.isEmpty());
}

TEST(DOSOutputs, SilentCommandAndExitStatus)
{
    RecordingSink sink;
    DOSOutputs dos(sink);
    EventLog log(dos);
    dos.setCommandLine(QStringLiteral("fake"), fake({}));
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    ASSERT_TRUE(runToEnd(dos));
    EXPECT_EQ(log.events, QStringList{QStringLiteral("over")});
    EXPECT_TRUE(dos.Outputs().isEmpty());
    EXPECT_TRUE(dos.lastResult().succeeded());

    dos.setCommandLine(QStringLiteral("fake"),
                       fake({QStringLiteral("print:in.mp3: Invalid data found\\r\\n\\n  \\n"),
                             QStringLiteral("exit:3")}));
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    ASSERT_TRUE(runToEnd(dos));
    EXPECT_FALSE(dos.lastResult().succeeded());
    EXPECT_EQ(dos.lastResult().exitCode, 3);
    EXPECT_EQ(dos.lastResult().lastErrorLine, QStringLiteral("in.mp3: Invalid data found"));

    // The converter's closing "Conversion failed!" is passed over for the reason above it.
    dos.setCommandLine(QStringLiteral("fake"),
                       fake({QStringLiteral("print:out.wav: No space left on device\r\n"
                                            "Conversion failed!\r\n"),
                             QStringLiteral("exit:1")}));
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    ASSERT_TRUE(runToEnd(dos));
    EXPECT_EQ(dos.lastResult().lastErrorLine, QStringLiteral("out.wav: No space left on device"));

    dos.setCommandLine(QStringLiteral("fake"), fake({QStringLiteral("crash")}));
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    EXPECT_TRUE(dos.Outputs().isEmpty()); // the last job's text is gone once the next started
    ASSERT_TRUE(runToEnd(dos));
    EXPECT_TRUE(dos.lastResult().crashed);
    EXPECT_FALSE(dos.lastResult().succeeded());
    EXPECT_EQ(log.events.count(QStringLiteral("over")), 4);
}

TEST(DOSOutputs, StartFailuresShowTheirMessageAndRaiseNoEvent)
{
    RecordingSink sink;
    DOSOutputs dos(sink);
    EventLog log(dos);
    QSignalSpy startFailed(&dos, &DOSOutputs::StartFailed);

    EXPECT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::CommandLineEmpty);
    dos.setCommandLine(QStringLiteral("/nowhere/data/conv -i x"),
                       {QStringLiteral("/nowhere/data/conv"), {QStringLiteral("-i")}, {}});
    EXPECT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::NotFound);

    // A file that may be executed but is no program: the system refuses it only at exec time.
    QTemporaryDir dir;
    const QString bogus = dir.filePath(QStringLiteral("conv"));
    QFile file(bogus);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x7f"
               "ELF garbage");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    dos.setCommandLine(bogus, {bogus, {}, {}});
    const auto result = dos.ExecuteCommand();
    if (result == DOSOutputs::StartResult::Started)
        EXPECT_TRUE(startFailed.wait(5000));
    else
        EXPECT_EQ(result, DOSOutputs::StartResult::NotFound);
    QTest::qWait(100);
    EXPECT_FALSE(dos.isRunning());

    ASSERT_EQ(sink.messages.size(), 3);
    EXPECT_EQ(sink.messages[0].text, QStringLiteral("Command Line empty"));
    EXPECT_EQ(sink.messages[1].text, QStringLiteral("File or command not found"));
    for (const auto& message : sink.messages) {
        EXPECT_EQ(message.title, QCoreApplication::applicationName());
        EXPECT_EQ(message.icon, MessageSink::Icon::Critical);
    }
    EXPECT_TRUE(log.events.isEmpty());
}

TEST(DOSOutputs, ChannelThatCannotBeCreatedIsReportedWithItsCode)
{
    RecordingSink sink;
    DOSOutputs dos(sink);
    EventLog log(dos);

    // Two finished jobs (the second replaces the first one's process) and a refused start first:
    // a sanitized build checks an object's type on its first use through a pipe of its own, which
    // cannot be had once no descriptor is left.
    dos.setCommandLine(QStringLiteral("fake"), fake({}));
    for (int job = 0; job < 2; ++job) {
        ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
        ASSERT_TRUE(runToEnd(dos));
    }
    ConverterInvocation missing = fake({});
    missing.program = QStringLiteral("/nonexistent/fake_converter");
    dos.setCommandLine(QStringLiteral("missing"), missing);
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::NotFound);
    sink.messages.clear();
    log.events.clear();
    dos.setCommandLine(QStringLiteral("fake"), fake({}));

    // With no file descriptor left, the console channel cannot be created.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const auto result = dos.ExecuteCommand();
    setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_EQ(result, DOSOutputs::StartResult::ChannelFailed);
    ASSERT_EQ(sink.messages.size(), 1);
    EXPECT_EQ(sink.messages[0].text, QStringLiteral("CreatePipe failed. Error: 24")); // EMFILE
    QTest::qWait(50);
    EXPECT_TRUE(log.events.isEmpty());
    EXPECT_FALSE(dos.isRunning());
}

TEST(DOSOutputs, JobEndsWithItsOwnChildNotWithProcessesItLeftBehind)
{
    RecordingSink sink;
    DOSOutputs dos(sink);
    dos.setCommandLine(QStringLiteral("fake"),
                       fake({QStringLiteral("print:started\\n"), QStringLiteral("spawn:3000")}));
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    ASSERT_TRUE(runToEnd(dos));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(dos.Outputs(), QStringLiteral("started\n"));
}

TEST(DOSOutputs, StopAsksThenKillsAndRemovesThePartialOutput)
{
    QTemporaryDir dir;
    RecordingSink sink;
    DOSOutputs dos(sink);
    const QString output = dir.filePath(QStringLiteral("song.mp3"));

    dos.setCommandLine(QStringLiteral("fake"), fake({QStringLiteral("grow"), output}, output));
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(output); }));
    dos.stop(5000);
    ASSERT_TRUE(runToEnd(dos));
    EXPECT_TRUE(dos.lastResult().stoppedByUser);
    EXPECT_TRUE(dos.lastResult().partialOutputRemoved);
    EXPECT_FALSE(QFile::exists(output));

    // A converter that ignores the polite request is killed after the grace period.
    dos.setCommandLine(
        QStringLiteral("fake"),
        fake({QStringLiteral("ignoreterm"), QStringLiteral("grow"), output}, output));
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(output); }));
    QElapsedTimer clock;
    clock.start();
    dos.stop(300);
    ASSERT_TRUE(runToEnd(dos));
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_TRUE(dos.lastResult().crashed);
    EXPECT_FALSE(QFile::exists(output));

    // A converter killed from outside mid-file cannot clean up: the runner removes what it left.
    dos.setCommandLine(QStringLiteral("fake"), fake({QStringLiteral("grow"), output}, output));
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(output); }));
    ::kill(static_cast<pid_t>(dos.processId()), SIGKILL);
    ASSERT_TRUE(runToEnd(dos));
    EXPECT_TRUE(dos.lastResult().crashed);
    EXPECT_FALSE(dos.lastResult().stoppedByUser);
    EXPECT_FALSE(QFile::exists(output));

    // The converter writes under an unfinished name carrying its process id: killed, it leaves
    // that file, which the runner removes, while an earlier output at the path stays.
    {
        QFile earlier(output);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
    }
    dos.setCommandLine(QStringLiteral("fake"), fake({QStringLiteral("hang")}, output));
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    const QString unfinished = QFile::decodeName(QByteArray::fromStdString(unfinishedOutputPath(
        QFile::encodeName(output).toStdString(), static_cast<long>(dos.processId()))));
    {
        QFile partial(unfinished);
        ASSERT_TRUE(partial.open(QIODevice::WriteOnly) && partial.write("half") == 4);
    }
    ::kill(static_cast<pid_t>(dos.processId()), SIGKILL);
    ASSERT_TRUE(runToEnd(dos));
    EXPECT_TRUE(dos.lastResult().partialOutputRemoved);
    EXPECT_FALSE(QFile::exists(unfinished));
    EXPECT_EQ(QFileInfo(output).size(), 7);

    // A job that finished on its own keeps its file.
    dos.setCommandLine(QStringLiteral("fake"), fake({QStringLiteral("write"), output}, output));
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    ASSERT_TRUE(runToEnd(dos));
    dos.stop();
    EXPECT_TRUE(QFile::exists(output));
    EXPECT_TRUE(dos.lastResult().succeeded());
}

TEST(DOSOutputs, StoppingNeverRemovesAFileTheJobDidNotWriteOrHadFinished)
{
    QTemporaryDir dir;
    RecordingSink sink;
    const QString output = dir.filePath(QStringLiteral("song.mp3"));
    const auto writeEarlier = [&] {
        QFile file(output);
        return file.open(QIODevice::WriteOnly) && file.write("earlier") == 7;
    };
    const auto readBack = [&] {
        QFile file(output);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    // Waits without handling events, so the child has ended before the runner hears of it.
    const auto letTheChildEnd = [](const DOSOutputs& dos) {
        const QString proc = QStringLiteral("/proc/%1/stat").arg(dos.processId());
        for (int i = 0; i < 1000; ++i) {
            QFile stat(proc);
            if (!stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z "))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    };

    // Stopped, or destroyed, before the converter reached an earlier file of the same name.
    ASSERT_TRUE(writeEarlier());
    {
        DOSOutputs dos(sink);
        dos.setCommandLine(QStringLiteral("fake"), fake({QStringLiteral("hang")}, output));
        ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
        dos.stop(300);
        ASSERT_TRUE(runToEnd(dos));
        EXPECT_FALSE(dos.lastResult().partialOutputRemoved);
        EXPECT_EQ(readBack(), QByteArray("earlier"));

        ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    }
    EXPECT_EQ(readBack(), QByteArray("earlier"));

    // A job that exited with code 0 before its end was handled has finished its file.
    {
        DOSOutputs dos(sink);
        dos.setCommandLine(QStringLiteral("fake"), fake({QStringLiteral("write"), output}, output));
        ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
        ASSERT_TRUE(letTheChildEnd(dos));
        dos.stop();
        ASSERT_TRUE(runToEnd(dos));
        EXPECT_TRUE(dos.lastResult().stoppedByUser);
        EXPECT_FALSE(dos.lastResult().partialOutputRemoved);
        ASSERT_TRUE(QFile::exists(output));

        ASSERT_TRUE(writeEarlier());
        ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
        ASSERT_TRUE(letTheChildEnd(dos));
    }
    EXPECT_TRUE(QFile::exists(output));
    EXPECT_NE(readBack(), QByteArray("earlier"));

    // A stopped job that had overwritten the earlier file has made it its own: it goes.
    ASSERT_TRUE(writeEarlier());
    {
        DOSOutputs dos(sink);
        dos.setCommandLine(QStringLiteral("fake"),
                           fake({QStringLiteral("write"), QStringLiteral("hang"), output}, output));
        ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
        ASSERT_TRUE(waitUntil([&] { return readBack() != QByteArray("earlier"); }));
    }
    EXPECT_FALSE(QFile::exists(output));
}

TEST(DOSOutputs, TrackerReadsRecordedOutputArrivingInPieces)
{
    QFile recorded(QStringLiteral(TREVALON_TEST_DATA_DIR "/ffmpeg_mp3_progress.txt"));
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(recorded.readAll());
    QStringList script;
    for (qsizetype at = 0; at < text.size(); at += 333)
        script << QStringLiteral("print:") + escaped(QStringView(text).mid(at, 333))
               << QStringLiteral("sleep:5");

    RecordingSink sink;
    DOSOutputs dos(sink);
    ProgressTracker tracker;
    QStringList captions;
    QObject::connect(&dos, &DOSOutputs::ReceiveOutputs, &dos, [&](const QString& block) {
        if (auto display = tracker.ReceiveOutputs(block))
            captions << display->caption;
    });
    dos.setCommandLine(QStringLiteral("fake"), fake(script));
    ASSERT_EQ(dos.ExecuteCommand(), DOSOutputs::StartResult::Started);
    ASSERT_TRUE(runToEnd(dos));

    EXPECT_EQ(dos.Outputs(), text);
    EXPECT_EQ(tracker.TotalSeconds(), 6);
    ASSERT_GE(captions.size(), 5);
    EXPECT_EQ(captions.last(), QStringLiteral("100%"));
}
