#include "engine/command_line.h"
#include "engine/kept_folders.h"
#include "qt_print.h"
#include "settings/picker_lists.h"

#include <gtest/gtest.h>

namespace {

const QString App = QStringLiteral("C:\\App");

ConversionSettings withFormat(int format, const QString& folder = QStringLiteral("C:\\output"))
{
    ConversionSettings settings;
    settings.formatIndex = static_cast<std::int16_t>(format);
    settings.outputFolder = folder;
    return settings;
}

QString windowsCommand(const QString& source, const ConversionSettings& settings)
{
    return BuildCommandLine(App, source, settings, PathStyle::windows());
}

ConversionSettings withCutter(ConversionSettings settings, int start, int startFraction, int length,
                              int lengthFraction)
{
    settings.cutterOn = 1;
    settings.cutStart = start;
    settings.cutStartFraction = startFraction;
    settings.cutLength = length;
    settings.cutLengthFraction = lengthFraction;
    return settings;
}

TEST(CommandLine, WindowsExamplesHoldToTheLetter)
{
    EXPECT_EQ(windowsCommand(QStringLiteral("D:\\music\\song.live.wav"), withFormat(Mp3)),
              QStringLiteral("C:\\App\\data\\conv.exe -threads 1 -i \"D:\\music\\song.live.wav\" -y "
                             "-vn -ab 128k -ar 44100 -ac 2 \"C:\\output\\song.mp3\""));
    EXPECT_EQ(windowsCommand(QStringLiteral("D:\\v\\clip.avi"),
                             withCutter(withFormat(Wma, QStringLiteral("E:\\out\\")), 90, 0, 30, 0)),
              QStringLiteral("C:\\App\\data\\conv.exe -threads 1 -i \"D:\\v\\clip.avi\" -ss 90.0 -t "
                             "30.0 -y -vn -acodec wmav1 \"E:\\out\\clip.wma\""));
}

TEST(CommandLine, EachFormatHasItsSwitchesAndExtension)
{
    // Bitrate, rate and channels are set away from the defaults so that a format which must ignore
    // them would show it.
    struct Expected
    {
        int format;
        QString tail;
    };
    const Expected table[] = {
        {Mp3, QStringLiteral(" -y -vn -ab 320k -ar 12050 -ac 1 \"C:\\output\\a.mp3\"")},
        {Wma, QStringLiteral(" -y -vn -acodec wmav1 \"C:\\output\\a.wma\"")},
        {Ogg, QStringLiteral(" -y -vn -ac 2 \"C:\\output\\a.ogg\"")},
        {Wav, QStringLiteral(" -y -vn -acodec pcm_s16le \"C:\\output\\a.wav\"")},
        {Flac, QStringLiteral(" -y -vn  \"C:\\output\\a.flac\"")},
        {Ac3, QStringLiteral(" -y -vn \"C:\\output\\a.ac3\"")},
        {Aac, QStringLiteral(" -y -vn \"C:\\output\\a.aac\"")},
        {Amr, QStringLiteral(" -y -vn -ar 8000 -ab 7.4k -ac 1 \"C:\\output\\a.amr\"")},
        {Mpg, QStringLiteral(" -y -vn -ab 320k -ar 12050 -ac 1 \"C:\\output\\a.mpg\"")},
        {Opus, QStringLiteral(" -y -vn -acodec libopus -ab 320k -ar 12050 -ac 1 -f ogg "
                              "\"C:\\output\\a.opus\"")},
        {M4a, QStringLiteral(" -y -vn -acodec aac -ab 320k -ar 12050 -ac 1 -f ipod "
                             "\"C:\\output\\a.m4a\"")},
        {Alac, QStringLiteral(" -y -vn -acodec alac -f ipod \"C:\\output\\a.m4a\"")},
    };
    const QString head = QStringLiteral("C:\\App\\data\\conv.exe -threads 1 -i \"D:\\a.avi\"");
    for (const Expected& row : table) {
        ConversionSettings settings = withFormat(row.format);
        settings.bitrateIndex = 11;
        settings.rateIndex = 6;
        settings.channelIndex = 0;
        EXPECT_EQ(windowsCommand(QStringLiteral("D:\\a.avi"), settings), head + row.tail)
            << FormatTable[row.format].listText;

        const QString cutterText = windowsCommand(QStringLiteral("D:\\a.avi"),
                                                  withCutter(settings, 90, 5, 30, 50));
        QString expectedTail = row.tail;
        if (row.format == Flac)
            expectedTail = QStringLiteral(" -y -vn \"C:\\output\\a.flac\"");
        EXPECT_EQ(cutterText, head + QStringLiteral(" -ss 90.5 -t 30.50") + expectedTail)
            << FormatTable[row.format].listText;
    }
}

TEST(CommandLine, VbrPresetsBecomeEachFormatsNearestQuality)
{
    // For each format: the switches with V0, then with V2. The formats whose command carries no
    // bitrate for the numbers take the preset as one switch at the end.
    struct Expected
    {
        int format;
        QString v0;
        QString v2;
    };
    const Expected table[] = {
        {Mp3, QStringLiteral(" -y -vn -q:a 0 -ar 44100 -ac 2 "),
         QStringLiteral(" -y -vn -q:a 2 -ar 44100 -ac 2 ")},
        {Mpg, QStringLiteral(" -y -vn -ab 256k -ar 44100 -ac 2 "),
         QStringLiteral(" -y -vn -ab 192k -ar 44100 -ac 2 ")},
        {Ogg, QStringLiteral(" -y -vn -ac 2 -q:a 8 "), QStringLiteral(" -y -vn -ac 2 -q:a 6 ")},
        {Opus, QStringLiteral(" -y -vn -acodec libopus -ab 192k -ar 44100 -ac 2 -f ogg "),
         QStringLiteral(" -y -vn -acodec libopus -ab 160k -ar 44100 -ac 2 -f ogg ")},
        {M4a, QStringLiteral(" -y -vn -acodec aac -ab 256k -ar 44100 -ac 2 -f ipod "),
         QStringLiteral(" -y -vn -acodec aac -ab 192k -ar 44100 -ac 2 -f ipod ")},
        {Wma, QStringLiteral(" -y -vn -acodec wmav1 -ab 256k "),
         QStringLiteral(" -y -vn -acodec wmav1 -ab 192k ")},
        {Ac3, QStringLiteral(" -y -vn -ab 256k "), QStringLiteral(" -y -vn -ab 192k ")},
        {Aac, QStringLiteral(" -y -vn -ab 256k "), QStringLiteral(" -y -vn -ab 192k ")},
        // Lossless formats and AMR ignore the bitrate picker.
        {Wav, QStringLiteral(" -y -vn -acodec pcm_s16le "),
         QStringLiteral(" -y -vn -acodec pcm_s16le ")},
        {Flac, QStringLiteral(" -y -vn  "), QStringLiteral(" -y -vn  ")},
        {Alac, QStringLiteral(" -y -vn -acodec alac -f ipod "),
         QStringLiteral(" -y -vn -acodec alac -f ipod ")},
        {Amr, QStringLiteral(" -y -vn -ar 8000 -ab 7.4k -ac 1 "),
         QStringLiteral(" -y -vn -ar 8000 -ab 7.4k -ac 1 ")},
    };
    ASSERT_EQ(BitrateItems().value(BitrateV0), QStringLiteral("V0"));
    ASSERT_EQ(BitrateItems().value(BitrateV2), QStringLiteral("V2"));
    const QString head = QStringLiteral("C:\\App\\data\\conv.exe -threads 1 -i \"D:\\a.avi\"");
    for (const Expected& row : table) {
        ConversionSettings settings = withFormat(row.format);
        const QString output = QStringLiteral("\"C:\\output\\a") +
                               QString::fromLatin1(FormatTable[row.format].extension) +
                               QLatin1Char('"');
        settings.bitrateIndex = BitrateV0;
        EXPECT_EQ(windowsCommand(QStringLiteral("D:\\a.avi"), settings), head + row.v0 + output)
            << FormatTable[row.format].listText;
        settings.bitrateIndex = BitrateV2;
        EXPECT_EQ(windowsCommand(QStringLiteral("D:\\a.avi"), settings), head + row.v2 + output)
            << FormatTable[row.format].listText;
    }
}

TEST(CommandLine, OddSettingsPassThrough)
{
    ConversionSettings settings = withFormat(Mp3, QString());
    settings.channelIndex = -1;
    EXPECT_EQ(windowsCommand(QStringLiteral("D:\\.hidden"), settings),
              QStringLiteral("C:\\App\\data\\conv.exe -threads 1 -i \"D:\\.hidden\" -y -vn -ab 128k "
                             "-ar 44100 -ac 0 \"\\.mp3\""));
    EXPECT_EQ(windowsCommand(QStringLiteral("D:\\a.wav"),
                             withCutter(withFormat(Wav), -5, 0, 0, 7)),
              QStringLiteral("C:\\App\\data\\conv.exe -threads 1 -i \"D:\\a.wav\" -ss -5.0 -t 0.7 -y "
                             "-vn -acodec pcm_s16le \"C:\\output\\a.wav\""));
    EXPECT_TRUE(windowsCommand(QStringLiteral("D:\\a.wav"), withFormat(12)).isEmpty());
    EXPECT_TRUE(windowsCommand(QStringLiteral("D:\\a.wav"), withFormat(-1)).isEmpty());
    EXPECT_TRUE(BuildConverterInvocation(App, QStringLiteral("D:\\a.wav"), withFormat(12),
                                         PathStyle::windows())
                    .isEmpty());
}

TEST(CommandLine, OutputFolderWithOrWithoutTrailingSeparator)
{
    EXPECT_EQ(windowsCommand(QStringLiteral("D:\\a.wav"), withFormat(Ogg, QStringLiteral("C:\\output"))),
              windowsCommand(QStringLiteral("D:\\a.wav"), withFormat(Ogg, QStringLiteral("C:\\output\\"))));
    const ConversionSettings native = withFormat(Ogg, QStringLiteral("/home/u/out/"));
    EXPECT_EQ(BuildCommandLine(QStringLiteral("/opt/t"), QStringLiteral("/m/a.wav"), native,
                               PathStyle::native()),
              QStringLiteral("/opt/t/data/conv -threads 1 -i \"/m/a.wav\" -y -vn -ac 2 "
                             "\"/home/u/out/a.ogg\""));
}

TEST(CommandLine, VectorCarriesEachArgumentWholeWithoutQuotes)
{
    ConversionSettings settings = withCutter(withFormat(Flac, QStringLiteral("/out dir")), 1, 2, 3, 4);
    const QString source = QStringLiteral("/m/-x \"quoted\" ünï.wav");
    const ConverterInvocation invocation =
        BuildConverterInvocation(QStringLiteral("/opt/t"), source, settings, PathStyle::native());
    EXPECT_EQ(invocation.program, QStringLiteral("/opt/t/data/conv"));
    EXPECT_EQ(invocation.arguments,
              QStringList({QStringLiteral("-threads"), QStringLiteral("1"), QStringLiteral("-i"),
                           source, QStringLiteral("-ss"), QStringLiteral("1.2"), QStringLiteral("-t"),
                           QStringLiteral("3.4"), QStringLiteral("-y"), QStringLiteral("-vn"),
                           QStringLiteral("/out dir/-x \"quoted\" ünï.flac")}));
    EXPECT_EQ(invocation.outputPath, invocation.arguments.last());

    // Every format's vector is the text's words once the quoted paths are put back whole.
    for (int format = 0; format < static_cast<int>(FormatTable.size()); ++format) {
        const ConversionSettings plain = withFormat(format, QStringLiteral("/o"));
        const ConverterInvocation each =
            BuildConverterInvocation(QStringLiteral("/p"), QStringLiteral("/s.wav"), plain);
        const QString text = BuildCommandLine(QStringLiteral("/p"), QStringLiteral("/s.wav"), plain);
        QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (QString& word : words)
            word.remove(QLatin1Char('"'));
        EXPECT_EQ(QStringList(each.program) + each.arguments, words) << format;
    }
}

} // namespace

TEST(CommandLine, KeptFoldersRebuildTheAddedFolderUnderTheOutputFolder)
{
    ConversionSettings keep = withFormat(Mp3, QStringLiteral("C:\\output\\"));
    keep.keepFolders = true;
    const PathStyle windows = PathStyle::windows();
    const auto windowsOutput = [&](const QString& added, const QString& source) {
        return windowsCommand(source, EntrySettings(keep, added, source, windows))
            .section(QLatin1Char('"'), -2, -2);
    };

    // A nested tree under a folder whose name has blanks and letters beyond ASCII.
    const QString rock = QStringLiteral("D:\\music\\Rock \u00c9t\u00e9 \u97f3");
    const QString deep = rock + QStringLiteral("\\A\\B C\\x.live.flac");
    EXPECT_EQ(windowsCommand(deep, EntrySettings(keep, rock, deep, windows)),
              QStringLiteral("C:\\App\\data\\conv.exe -threads 1 -i \"") + deep +
                  QStringLiteral("\" -y -vn -ab 128k -ar 44100 -ac 2 "
                                 "\"C:\\output\\Rock \u00c9t\u00e9 \u97f3\\A\\B C\\x.mp3\""));
    EXPECT_EQ(windowsOutput(rock, rock + QStringLiteral("\\top.wav")),
              QStringLiteral("C:\\output\\Rock \u00c9t\u00e9 \u97f3\\top.mp3"));
    // A drive root has no name of its own; its found paths carry a doubled separator.
    EXPECT_EQ(windowsOutput(QStringLiteral("E:\\"), QStringLiteral("E:\\\\A\\x.wav")),
              QStringLiteral("C:\\output\\A\\x.mp3"));

    // A file added on its own, a file outside the folder (a name that merely starts like it),
    // and a way through ".." all land in the output folder itself.
    for (const auto& [added, source] :
         {std::pair{QString(), QStringLiteral("D:\\music\\Rock\\x.wav")},
          std::pair{QStringLiteral("D:\\music\\Rock"),
                    QStringLiteral("D:\\music\\Rockabilly\\x.wav")},
          std::pair{QStringLiteral("D:\\music\\Rock"),
                    QStringLiteral("D:\\music\\Rock\\..\\x.wav")}})
        EXPECT_EQ(windowsOutput(added, source), QStringLiteral("C:\\output\\x.mp3"))
            << source.toStdString();

    // The native form: a folder given with a trailing separator, text and vector agreeing.
    ConversionSettings native = withFormat(Flac, QStringLiteral("/home/u/out"));
    native.keepFolders = true;
    const QString found = QStringLiteral("/m/Jazz//Live/y.wav");
    const ConversionSettings entry = EntrySettings(native, QStringLiteral("/m/Jazz/"), found);
    EXPECT_EQ(entry.outputFolder, QStringLiteral("/home/u/out/Jazz/Live"));
    const ConverterInvocation invocation =
        BuildConverterInvocation(QStringLiteral("/opt/t"), found, entry);
    EXPECT_EQ(invocation.outputPath, QStringLiteral("/home/u/out/Jazz/Live/y.flac"));
    EXPECT_TRUE(BuildCommandLine(QStringLiteral("/opt/t"), found, entry)
                    .endsWith(QStringLiteral(" -y -vn  \"/home/u/out/Jazz/Live/y.flac\"")));

    // With the option off a folder's entries get exactly the flat command of today.
    ConversionSettings off = keep;
    off.keepFolders = false;
    EXPECT_EQ(windowsCommand(deep, EntrySettings(off, rock, deep, windows)),
              windowsCommand(deep, withFormat(Mp3, QStringLiteral("C:\\output\\"))));
    EXPECT_TRUE(
        windowsCommand(deep, withFormat(Mp3)).endsWith(QStringLiteral("\"C:\\output\\x.mp3\"")));
}
