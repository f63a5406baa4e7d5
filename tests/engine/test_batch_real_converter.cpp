#include "batch_fixture.h"
#include "qt_print.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString ProgramFolder = QStringLiteral(TREVALON_PROGRAM_DIR);

// A three-second tone in the given container, made by the system's ffmpeg.
QString makeClip(const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    QProcess::execute(QStringLiteral("ffmpeg"),
                      {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                       QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                       QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("sine=frequency=440:duration=3"), path});
    return path;
}

double durationOf(const QString& path)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("format=duration:stream=codec_name"), QStringLiteral("-of"),
                 QStringLiteral("csv=p=0"), path});
    probe.waitForFinished();
    const QStringList lines =
        QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.size() != 2 || lines.at(0).trimmed() != QStringLiteral("mp3"))
        return -1;
    return lines.at(1).toDouble();
}

class RealConverterBatch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(ProgramFolder + QStringLiteral("/data/conv")).isExecutable())
            << "the converter is not built in " << ProgramFolder.toStdString();
        rig = std::make_unique<BatchRig>(ProgramFolder);
        rig->settings.outputFolder = dir.filePath(QStringLiteral("out"));
        rig->settings.soundIndex = 1;
    }

    QTemporaryDir dir;
    std::unique_ptr<BatchRig> rig;
};

} // namespace

TEST_F(RealConverterBatch, ThreeSourcesBecomeThreeMp3Files)
{
    for (const char* name : {"tone.wav", "tone two.flac", "tone3.ogg"})
        rig->add(makeClip(dir, QLatin1String(name)));
    ASSERT_TRUE(rig->runToEnd());

    EXPECT_EQ(rig->driver.report().converted, 3);
    EXPECT_TRUE(rig->list.isEmpty());
    for (const char* name : {"out/tone.mp3", "out/tone two.mp3", "out/tone3.mp3"})
        EXPECT_NEAR(durationOf(dir.filePath(QLatin1String(name))), 3.0, 0.2) << name;
    QStringList captions = rig->view.captions();
    ASSERT_GE(captions.size(), 2);
    EXPECT_EQ(captions.takeLast(), QStringLiteral("Done."));
    EXPECT_EQ(captions.last(), QStringLiteral("100%"));
    EXPECT_TRUE(rig->sink.messages.isEmpty());
}

TEST_F(RealConverterBatch, CorruptSourceIsReportedWhileTheOthersConvert)
{
    const QString broken = dir.filePath(QStringLiteral("broken.mp3"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 3000; ++i)
        file.putChar(static_cast<char>(QRandomGenerator::global()->bounded(256)));
    file.close();

    rig->add(makeClip(dir, QStringLiteral("first.wav")));
    rig->add(broken);
    rig->add(makeClip(dir, QStringLiteral("last.wav")));
    ASSERT_TRUE(rig->runToEnd());

    EXPECT_EQ(rig->driver.report().converted, 2);
    EXPECT_TRUE(rig->list.isEmpty());
    EXPECT_GT(durationOf(dir.filePath(QStringLiteral("out/first.mp3"))), 2.8);
    EXPECT_GT(durationOf(dir.filePath(QStringLiteral("out/last.mp3"))), 2.8);
    ASSERT_EQ(rig->sink.messages.size(), 1);
    const QString text = rig->sink.messages[0].text;
    EXPECT_TRUE(text.contains(QStringLiteral("broken.mp3"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("first.wav")));
    ASSERT_EQ(rig->driver.report().failures.size(), 1);
    EXPECT_FALSE(rig->driver.report().failures[0].lastErrorLine.isEmpty());
    EXPECT_EQ(rig->view.events.last(), QStringLiteral("progress Done."));
}

TEST_F(RealConverterBatch, MissingConverterIsReportedOnce)
{
    BatchRig missing(dir.filePath(QStringLiteral("no program here")));
    missing.settings.outputFolder = dir.filePath(QStringLiteral("out"));
    missing.add(makeClip(dir, QStringLiteral("a.wav")));
    missing.add(makeClip(dir, QStringLiteral("b.wav")));
    ASSERT_TRUE(missing.runToEnd());
    ASSERT_EQ(missing.sink.messages.size(), 1);
    EXPECT_EQ(missing.sink.messages[0].text, QStringLiteral("File or command not found"));
    EXPECT_EQ(missing.list.count(), 2);
    EXPECT_EQ(missing.view.events.last(), QStringLiteral("controls on"));
}
