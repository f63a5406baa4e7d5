// Hostile names, unreadable sources, unusable output folders and a killed converter, through the
// window's batch driver with the real converter: the batch goes on, lists every failure in its
// end message, writes nowhere but the output and staging folders, and leaves no partial output.

#include "converter/unfinished_name.h"
#include "engine/batch_fixture.h"
#include "intake/display_text.h"
#include "intake/staging.h"
#include "platform/code_page.h"
#include "sandbox.h"

#include <QTest>

#include <unistd.h>

using namespace reliability;

namespace {

const QString ProgramFolder = QStringLiteral(TREVALON_PROGRAM_DIR);

class HostileWindowBatch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(ProgramFolder + QStringLiteral("/data/conv")).isExecutable());
        out = box.path(QStringLiteral("out"));
        rig.settings.outputFolder = out;
        rig.settings.soundIndex = 1; // no completion sound
        stager = std::make_unique<SourceStager>(codePage, StagingFolderPath());
    }

    // Adds a source as the window's Add button does: staged when it cannot be reached as it is,
    // shown with its display text. Returns the display text, which the end message lists.
    QString addAsChosen(const QString& path)
    {
        EXPECT_TRUE(PrepareStagingFolder(stager->stagingFolder()));
        const StageResult staged = stager->StageSource(path);
        const QString display = CleanDisplayText(path, codePage, QLatin1Char('/'));
        rig.list.AppendEntry(staged.queuePath, display, display.trimmed());
        return display;
    }

    // The failed sources the end message must name, and nothing else.
    void expectFailuresReported(const QStringList& displays)
    {
        QStringList reported;
        for (const FailedSource& failure : rig.driver.report().failures)
            reported << failure.source;
        EXPECT_EQ(reported, displays);
        if (displays.isEmpty()) {
            EXPECT_TRUE(rig.sink.messages.isEmpty());
            return;
        }
        ASSERT_EQ(rig.sink.messages.size(), 1);
        EXPECT_EQ(rig.sink.messages[0].text,
                  BatchDriver::failureMessage(rig.driver.report().failures));
        for (const QString& display : displays)
            EXPECT_TRUE(rig.sink.messages[0].text.contains(display)) << display.toStdString();
        EXPECT_EQ(rig.view.events.last(), QStringLiteral("progress Done."));
    }

    void expectNoPartialCopiesInStaging()
    {
        QDirIterator it(stager->stagingFolder(), QDir::Files | QDir::Hidden);
        while (it.hasNext())
            EXPECT_FALSE(it.next().endsWith(QStringLiteral(".part")))
                << it.filePath().toStdString();
    }

    Sandbox box;
    NativeCodePage codePage;
    std::unique_ptr<SourceStager> stager;
    BatchRig rig{ProgramFolder};
    QString out;
};

} // namespace

TEST_F(HostileWindowBatch, AwkwardNamesConvertAndUnreadableSourcesAreListed)
{
    const HostileSources sources = makeHostileSources(box);
    QStringList failedDisplays;
    QSet<QString> expectedOutputs;
    // The unreadable sources sit between the good ones, so every failure is followed by work.
    for (qsizetype i = 0; i < sources.good.size(); ++i) {
        addAsChosen(sources.good[i]);
        expectedOutputs << outputName(sources.good[i], QStringLiteral(".mp3"));
        if (i % 3 == 0 && i / 3 < sources.bad.size())
            failedDisplays << addAsChosen(sources.bad[i / 3]);
    }
    failedDisplays << addAsChosen(sources.folderLikeFile);
    ASSERT_EQ(failedDisplays.size(), sources.bad.size() + 1);
    const Tree before = box.snapshot();

    ASSERT_TRUE(rig.runToEnd(120000));

    EXPECT_EQ(rig.driver.report().converted, sources.good.size());
    EXPECT_FALSE(rig.driver.report().stoppedEarly);
    EXPECT_TRUE(rig.list.isEmpty());
    expectFailuresReported(failedDisplays);
    EXPECT_EQ(filesIn(out), expectedOutputs);
    for (const QString& name : expectedOutputs)
        EXPECT_GT(QFileInfo(out + QLatin1Char('/') + name).size(), 1000) << name.toStdString();
    EXPECT_EQ(box.changesSince(before, out), QStringList());
    expectNoPartialCopiesInStaging();
}

TEST_F(HostileWindowBatch, OutputFolderThatIsAFileFailsEveryEntryAndStaysUntouched)
{
    ASSERT_TRUE(writeFile(out, "a file where the output folder should be\n"));
    ASSERT_TRUE(makeClip(box.source(QStringLiteral("one.wav")), 1));
    ASSERT_TRUE(makeClip(box.source(QStringLiteral("two.wav")), 1));
    const QStringList displays = {addAsChosen(box.source(QStringLiteral("one.wav"))),
                                  addAsChosen(box.source(QStringLiteral("two.wav")))};
    const Tree before = box.snapshot();

    ASSERT_TRUE(rig.runToEnd());

    EXPECT_EQ(rig.driver.report().converted, 0);
    expectFailuresReported(displays);
    // The file in the folder's place is not an allowed place to write.
    EXPECT_EQ(box.changesSince(before, box.path(QStringLiteral("nothing"))), QStringList());
}

TEST_F(HostileWindowBatch, ReadOnlyOutputFolderFailsEveryEntry)
{
    ASSERT_TRUE(QDir().mkpath(out));
    if (const QString reason = box.mountTmpfs(out, "ro,size=1m"); !reason.isEmpty())
        GTEST_SKIP() << "cannot mount a read-only file system here: " << reason.toStdString();
    ASSERT_TRUE(makeClip(box.source(QStringLiteral("one.wav")), 1));
    ASSERT_TRUE(makeClip(box.source(QStringLiteral("two.flac")), 1));
    const QStringList displays = {addAsChosen(box.source(QStringLiteral("one.wav"))),
                                  addAsChosen(box.source(QStringLiteral("two.flac")))};
    const Tree before = box.snapshot();

    ASSERT_TRUE(rig.runToEnd());

    EXPECT_EQ(rig.driver.report().converted, 0);
    expectFailuresReported(displays);
    for (const FailedSource& failure : rig.driver.report().failures)
        EXPECT_TRUE(failure.lastErrorLine.endsWith(QStringLiteral(": Read-only file system")))
            << failure.lastErrorLine.toStdString();
    EXPECT_TRUE(filesIn(out).isEmpty());
    EXPECT_EQ(box.changesSince(before, out), QStringList());
}

TEST_F(HostileWindowBatch, FullOutputFileSystemFailsTheFilesThatDoNotFitAndGoesOn)
{
    ASSERT_TRUE(QDir().mkpath(out));
    if (const QString reason = box.mountTmpfs(out, "size=64k"); !reason.isEmpty())
        GTEST_SKIP() << "cannot mount a small file system here: " << reason.toStdString();
    rig.settings.formatIndex = 3; // WAV: two seconds of it (350 kB) cannot fit into 64 kB
    const QString big = box.source(QStringLiteral("big.flac"));
    const QString small = box.source(QStringLiteral("small.flac"));
    const QString bigger = box.source(QStringLiteral("bigger.flac"));
    ASSERT_TRUE(makeClip(big, 2, {QStringLiteral("-ac"), QStringLiteral("2")}));
    ASSERT_TRUE(makeClip(small, 0.1));
    ASSERT_TRUE(makeClip(bigger, 3, {QStringLiteral("-ac"), QStringLiteral("2")}));
    const QString bigDisplay = addAsChosen(big);
    addAsChosen(small);
    const QString biggerDisplay = addAsChosen(bigger);
    const Tree before = box.snapshot();

    ASSERT_TRUE(rig.runToEnd());

    EXPECT_EQ(rig.driver.report().converted, 1);
    expectFailuresReported({bigDisplay, biggerDisplay});
    EXPECT_EQ(filesIn(out), QSet<QString>{QStringLiteral("small.wav")});
    EXPECT_EQ(box.changesSince(before, out), QStringList());
}

TEST_F(HostileWindowBatch, ConverterKilledMidFileLeavesNoPartialOutputAndTheBatchGoesOn)
{
    // The first source stalls half-way, so its converter is reliably in the middle of the file
    // when it is killed.
    const QString live = box.source(QStringLiteral("live.wav"));
    const StalledSource stalled(live, box.root());
    ASSERT_TRUE(stalled.ready());
    const QString clip = box.path(QStringLiteral("clip.wav"));
    ASSERT_TRUE(makeClip(clip, 1));
    const QString next = box.source(QStringLiteral("next.wav"));
    ASSERT_TRUE(QFile::copy(clip, next));
    const QString liveDisplay = addAsChosen(live);
    addAsChosen(next);
    const Tree before = box.snapshot();

    QSignalSpy finished(&rig.driver, &BatchDriver::finished);
    ASSERT_TRUE(rig.driver.Start());
    // The converter writes under an unfinished name, carrying its process id, until the file is
    // whole.
    const auto writing = [&] {
        const qint64 pid = rig.driver.scheduler().processId(0);
        return pid > 0 &&
               QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(unfinishedOutputPath(
                   QFile::encodeName(out).toStdString() + "/live.mp3", static_cast<long>(pid)))));
    };
    for (int waited = 0; waited < 20000 && !writing(); waited += 10)
        QTest::qWait(10);
    ASSERT_TRUE(writing()) << "the converter never opened its output";
    QTest::qWait(200); // let it encode what it was given
    const qint64 converter = rig.driver.scheduler().processId(0);
    ASSERT_GT(converter, 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(converter), SIGKILL), 0);
    ASSERT_TRUE(finished.wait(60000));

    EXPECT_EQ(rig.driver.report().converted, 1);
    expectFailuresReported({liveDisplay});
    EXPECT_EQ(filesIn(out), QSet<QString>{QStringLiteral("next.mp3")})
        << "the killed job's partial output survived";
    EXPECT_EQ(box.changesSince(before, out), QStringList());
}
