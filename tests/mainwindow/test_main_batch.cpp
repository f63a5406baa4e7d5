// The window's batch with several files at once.
#include "main_window_fixture.h"
#include "platform/converter_processes.h"

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
