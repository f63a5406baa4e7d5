#include "cli/batch_options.h"
#include "settings/extra_settings.h"
#include "settings/picker_lists.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QStringList args(std::initializer_list<const char*> words)
{
    QStringList list;
    for (const char* word : words)
        list << QString::fromUtf8(word);
    return list;
}

TEST(BatchOptions, PickerValuesBecomeListPositions)
{
    const ParsedArguments parsed =
        ParseBatchArguments(args({"--format", "flac", "--bitrate", "320", "--rate", "12050",
                                  "--channels", "Mono", "--output", "/o", "--jobs", "3", "a.wav",
                                  "dir"}),
                            2);
    ASSERT_EQ(parsed.outcome, ParsedArguments::Outcome::Run) << parsed.text.toStdString();
    SetupSettings setup;
    OptionsSettings cutter;
    ApplyOverrides(parsed.options, setup, cutter);
    EXPECT_EQ(setup.formatIndex, 4);
    EXPECT_EQ(setup.bitrateIndex, 11);
    EXPECT_EQ(setup.rateIndex, 6);
    EXPECT_EQ(setup.channelIndex, 0);
    EXPECT_EQ(setup.outputFolder, QStringLiteral("/o"));
    EXPECT_EQ(parsed.options.jobs, 3);
    EXPECT_EQ(parsed.options.sources, args({"a.wav", "dir"}));
    EXPECT_EQ(cutter, OptionsSettings{}) << "no cutter option leaves options.ini's cutter alone";

    // The formats and presets after the first ones, in any case.
    const ParsedArguments later =
        ParseBatchArguments(args({"--format", "opus", "--bitrate", "v2", "a.wav"}), 2);
    ASSERT_EQ(later.outcome, ParsedArguments::Outcome::Run) << later.text.toStdString();
    ApplyOverrides(later.options, setup, cutter);
    EXPECT_EQ(setup.formatIndex, Opus);
    EXPECT_EQ(setup.bitrateIndex, BitrateV2);
}

TEST(BatchOptions, UsageErrorsNameWhatIsAllowed)
{
    const auto error = [](std::initializer_list<const char*> words) {
        const ParsedArguments parsed = ParseBatchArguments(args(words), 2);
        EXPECT_EQ(parsed.outcome, ParsedArguments::Outcome::UsageError);
        return parsed.text;
    };
    EXPECT_TRUE(error({"--format", "mp4", "a"}).contains(
        QStringLiteral("MP3, WMA, OGG, WAV, FLAC, AC3, AAC, AMR, MPG, OPUS, M4A, ALAC")));
    EXPECT_TRUE(error({"--rate", "11025", "a"}).contains(QStringLiteral("12050")));
    EXPECT_TRUE(error({"--channels", "2", "a"}).contains(QStringLiteral("Mono, Stereo")));
    EXPECT_FALSE(error({"--jobs", "0", "a"}).isEmpty());
    EXPECT_FALSE(error({"--cut-start", "1:75:00", "a"}).isEmpty());
    EXPECT_FALSE(error({"--no-such-option", "a"}).isEmpty());
    // setup.ini could not keep such a folder: refused before anything is written.
    EXPECT_TRUE(error({"--output", "/m/my \"x\" music", "a"})
                    .contains(QStringLiteral("double quote")));
    EXPECT_FALSE(error({"--format", "MP3"}).isEmpty()) << "no source";
    EXPECT_EQ(ParseBatchArguments(args({"--version"}), 1).outcome,
              ParsedArguments::Outcome::ShowVersion);
    EXPECT_EQ(ParseBatchArguments(args({"--help"}), 1).outcome, ParsedArguments::Outcome::ShowHelp);
}

TEST(BatchOptions, CutterTimesAsTheOptionsDialogStoresThem)
{
    EXPECT_EQ(ParseCutTime(QStringLiteral("1:02:03.5")), (CutTime{3723, 5}));
    EXPECT_EQ(ParseCutTime(QStringLiteral("2:03")), (CutTime{123, 0}));
    EXPECT_EQ(ParseCutTime(QStringLiteral("90.25")), (CutTime{90, 25}));
    EXPECT_EQ(ParseCutTime(QStringLiteral("0")), (CutTime{0, 0}));
    EXPECT_FALSE(ParseCutTime(QStringLiteral("90.05"))) << "would silently become 90.5";
    EXPECT_FALSE(ParseCutTime(QStringLiteral("1:60")));
    EXPECT_FALSE(ParseCutTime(QStringLiteral("-3")));
    EXPECT_FALSE(ParseCutTime(QStringLiteral("1::2")));
    EXPECT_FALSE(ParseCutTime(QStringLiteral("99999999999")));

    SetupSettings setup;
    OptionsSettings cutter;
    cutter.cutLength = 30;
    ApplyOverrides(ParseBatchArguments(args({"--cut-start", "1:02:03.5", "a"}), 1).options, setup,
                   cutter);
    EXPECT_EQ(cutter.cutterOn, 1);
    EXPECT_EQ(cutter.cutStart, 3723);
    EXPECT_EQ(cutter.cutStartFraction, 5);
    EXPECT_EQ(cutter.cutLength, 30) << "the length not given keeps options.ini's";

    ApplyOverrides(ParseBatchArguments(args({"--cut-start", "0", "--cut-length", "0.5", "a"}), 1)
                       .options,
                   setup, cutter);
    EXPECT_EQ(cutter.cutterOn, 0) << "all-zero times turn the cutter off";
}

TEST(BatchOptions, JobsComeFromTheCommandLineThenFilesAtOnceThenEveryCore)
{
    QTemporaryDir folder;
    const auto jobsFor = [&folder](QStringList arguments) {
        arguments << QStringLiteral("x.wav");
        return JobsToRun(ParseBatchArguments(arguments, 6).options,
                         ReadExtraSettings(folder.path()));
    };
    const auto writeIni = [&folder](const QByteArray& bytes) {
        QFile file(folder.filePath(QStringLiteral("trevalon.ini")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    EXPECT_EQ(jobsFor({}), 6) << "no trevalon.ini: every core";
    writeIni("[Conversion]\nFilesAtOnce=3\n");
    EXPECT_EQ(jobsFor({}), 3);
    EXPECT_EQ(jobsFor({QStringLiteral("--jobs"), QStringLiteral("1")}), 1);
    writeIni("[Conversion]\nFilesAtOnce=lots\n");
    EXPECT_EQ(jobsFor({}), 6) << "an unusable value counts as not chosen";
    static constexpr char damaged[] = "\0\xff[Conv\nFilesAtOnce=3";
    writeIni(QByteArray(damaged, sizeof damaged - 1));
    EXPECT_EQ(jobsFor({}), 6) << "a damaged file counts as not chosen";
}

} // namespace
