// The window's batch: one file after another, and several files at once.
#include "main_window_fixture.h"
#include "platform/converter_processes.h"
#include "widgets/hotspot.h"

#include <QFileInfo>
#include <QLabel>
#include <QTest>

TEST_F(MainWindowTest, ExitWithTwoConvertingStopsBothAndLeavesNoPartialOutput)
{
    QDir().mkpath(path(QStringLiteral("program/data")));
    const QString converter = path(QStringLiteral("program/data/conv"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TREVALON_TEST_TOOLS_DIR "/fake_converter"), converter));
    auto window = start();
    window->extraSettings().filesAtOnce = 2;
    for (const char* name : {"one.wav", "two.wav", "three.wav"}) {
        writeFile(QString::fromLatin1(name), "grow\n"); // the fake converter's script: never ends
        const QString source = path(QString::fromLatin1(name));
        window->files().AppendEntry(source, source, source);
    }
    window->imgStart_Click();
    const QDir output(path(QStringLiteral("output")));
    QTRY_COMPARE_WITH_TIMEOUT(output.entryList(QDir::Files).size(), 2, 10000);
    EXPECT_EQ(OwnConverterProcesses(converter).size(), 2);

    window->Exit();
    window.reset();
    EXPECT_TRUE(output.entryList(QDir::Files).isEmpty()) << "a partial output was left";
    EXPECT_TRUE(OwnConverterProcesses(converter).isEmpty()) << "a converter is still running";
}

TEST_F(MainWindowTest, ABatchRunsTheListAndReportsAFailedSource)
{
    // A converter that reports progress, fails on sources named "bad" and succeeds otherwise.
    writeFile(QStringLiteral("program/data/conv"),
              "#!/bin/sh\n"
              "echo 'Duration: 00:00:10.00, start: 0.000000'\n"
              "echo 'size= 1kB time=00:00:05.00 bitrate=1'\n"
              "case \"$*\" in *bad*) echo 'bad: Invalid data found'; exit 1;; esac\n"
              "exit 0\n");
    QFile::setPermissions(path(QStringLiteral("program/data/conv")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The chime is on: with or without a sound device the batch must still come to its end.
    ASSERT_TRUE(QFile::copy(QStringLiteral(TREVALON_PROGRAM_DIR "/sound.wav"),
                            path(QStringLiteral("program/sound.wav"))));
    writeFile(QStringLiteral("settings/trevalon.ini"), "[Conversion]\nKeepFolders=true\n");
    auto window = start();
    window->options().soundIndex = 0;
    for (const char* name : {"one.wav", "bad.wav"}) {
        const QString source = path(QString::fromLatin1(name));
        window->files().AppendEntry(source, source, source);
    }
    window->files().appendFoundPaths({path(QStringLiteral("album/CD 1/two.wav"))},
                                     path(QStringLiteral("album")));
    window->imgStart_Click();
    EXPECT_TRUE(window->batchBusy());
    EXPECT_FALSE(window->imgToolbar(0)->isEnabled());
    EXPECT_FALSE(window->imgMenu(0)->isEnabled());
    EXPECT_FALSE(window->imgConvert()->isEnabled());
    EXPECT_FALSE(window->lblFeed()->isEnabled());
    EXPECT_TRUE(window->imgBrowse()->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(!window->batchBusy(), 20000);
    EXPECT_TRUE(window->files().isEmpty());
    EXPECT_EQ(window->lblPB()->text(), QStringLiteral("Done."));
    EXPECT_EQ(window->imgPB()->width(), 0);
    EXPECT_TRUE(window->imgToolbar(0)->isEnabled());
    EXPECT_TRUE(window->imgConvert()->isEnabled());
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("output/album/CD 1"))).isDir()); // Keep folders
    EXPECT_TRUE(services.calls.contains(QStringLiteral("openFolder")));
    ASSERT_EQ(services.messages.size(), 1);
    EXPECT_TRUE(services.messages[0].text.contains(path(QStringLiteral("bad.wav"))));
    EXPECT_FALSE(services.messages[0].text.contains(QStringLiteral("two.wav")));
}
