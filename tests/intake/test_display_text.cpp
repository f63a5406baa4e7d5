#include "intake/display_text.h"
#include "intake/file_list_model.h"
#include "platform/code_page.h"
#include "platform/single_byte_code_page.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QChar Backslash = QLatin1Char('\\');

TEST(DisplayText, FormatCellIsTheLastThreeCharactersUpperCased)
{
    FileListModel model;
    model.AppendEntry(QStringLiteral("q1"), QStringLiteral("d1"), QStringLiteral("C:\\Music\\song.flac"));
    model.AppendEntry(QStringLiteral("q2"), QStringLiteral("d2"), QStringLiteral("C:\\Video\\clip.rm"));
    model.AppendEntry(QStringLiteral("q3"), QStringLiteral("d3"), QStringLiteral("C:\\a\\Track.Mp3"));
    model.AppendEntry(QStringLiteral("q4"), QStringLiteral("d4"), QStringLiteral("ab"));
    ASSERT_EQ(model.count(), 4);
    EXPECT_EQ(model.entry(0).formatCell, QStringLiteral("LAC"));
    EXPECT_EQ(model.entry(1).formatCell, QStringLiteral(".RM"));
    EXPECT_EQ(model.entry(2).formatCell, QStringLiteral("MP3"));
    EXPECT_EQ(model.entry(3).formatCell, QStringLiteral("AB"));
    EXPECT_EQ(model.entry(2).queuePath, QStringLiteral("q3"));
    EXPECT_EQ(model.entry(2).displayText, QStringLiteral("d3"));

    // A folder search's paths are both queue path and display text; the cell ignores outer spaces.
    const QStringList found = {u"/m/a.mp3 "_s, u"/m/b.flac"_s, u"/m/c.Mp3"_s};
    model.appendFoundPaths(found, u"/m"_s);
    model.appendFoundPaths(QStringList(found), u"/m"_s);
    ASSERT_EQ(model.count(), 10);
    EXPECT_EQ(found, (QStringList{u"/m/a.mp3 "_s, u"/m/b.flac"_s, u"/m/c.Mp3"_s}));
    for (int row = 4; row < 10; ++row) {
        const FileEntry& entry = model.entry(row);
        EXPECT_EQ(entry.queuePath, found.at((row - 4) % 3));
        EXPECT_EQ(entry.displayText, entry.queuePath);
        EXPECT_EQ(entry.formatCell, (row - 4) % 3 == 1 ? u"LAC"_s : u"MP3"_s);
        EXPECT_EQ(entry.addedFolder, u"/m"_s);
    }
}

TEST(DisplayText, FileNamePartTakesWhatFollowsTheLastSeparator)
{
    EXPECT_EQ(FileNamePart(QStringLiteral("C:\\a\\b.mp3"), Backslash), QStringLiteral("b.mp3"));
    EXPECT_EQ(FileNamePart(QStringLiteral("b.mp3"), Backslash), QStringLiteral("b.mp3"));
    EXPECT_EQ(FileNamePart(QStringLiteral("C:\\a\\"), Backslash), QString());
    EXPECT_EQ(FileNamePart(QString(), Backslash), QString());
    EXPECT_EQ(FileNamePart(QStringLiteral("/home/u/x.wav"), QLatin1Char('/')), QStringLiteral("x.wav"));
}

TEST(DisplayText, OutputBaseNameIsTheFileNameUpToItsFirstDot)
{
    EXPECT_EQ(OutputBaseName(QStringLiteral("D:\\a.b.c.wav"), Backslash), QStringLiteral("a"));
    EXPECT_EQ(OutputBaseName(QStringLiteral("D:\\noext"), Backslash), QStringLiteral("noext"));
    EXPECT_EQ(OutputBaseName(QStringLiteral("D:\\dir.old\\track"), Backslash),
              QStringLiteral("track"));
    EXPECT_EQ(OutputBaseName(QStringLiteral("D:\\.profile"), Backslash), QString());
    EXPECT_EQ(OutputBaseName(QString(), Backslash), QString());
    EXPECT_EQ(OutputBaseName(QStringLiteral("plain.mp4"), Backslash), QStringLiteral("plain"));
    EXPECT_EQ(OutputBaseName(QStringLiteral("/m/dir.old/track.live.flac"), QLatin1Char('/')),
              QStringLiteral("track"));
}

TEST(DisplayText, CodePagesReplaceWhatTheyLackByOneQuestionMarkPerCharacter)
{
    const SingleByteCodePage latin1(SingleByteCodePage::Latin1);
    const SingleByteCodePage windows1252(SingleByteCodePage::Windows1252);
    const QString text = QStringLiteral("é€Ж") + QString::fromUcs4(U"\U0001F3B5") + QStringLiteral("z");

    EXPECT_EQ(latin1.roundTrip(text), QStringLiteral("é???z"));
    EXPECT_EQ(windows1252.roundTrip(text), QStringLiteral("é€??z"));
    EXPECT_TRUE(windows1252.canRepresent(QStringLiteral("Œuvre – “live”")));
    EXPECT_FALSE(latin1.canRepresent(QStringLiteral("Œuvre")));
    // The C1 controls are Latin-1 characters but no Windows-1252 ones.
    EXPECT_EQ(windows1252.roundTrip(QString(QChar(0x81))), QStringLiteral("?"));
    EXPECT_EQ(AnsiRoundTrip(text, NativeCodePage()), text);
}

TEST(DisplayText, EveryOccurrenceOfTheNameLeavesTheFolderPart)
{
    const NativeCodePage native;
    EXPECT_EQ(CleanDisplayText(QStringLiteral("C:\\song\\song"), native, Backslash),
              QStringLiteral("C:\\\\song"));
    EXPECT_EQ(CleanDisplayText(QStringLiteral("C:\\Music\\a.mp3"), native, Backslash),
              QStringLiteral("C:\\Music\\a.mp3"));
    EXPECT_EQ(CleanDisplayText(QStringLiteral("C:\\dir\\"), native, Backslash),
              QStringLiteral("C:\\dir\\"));
}

TEST(DisplayText, LackingCharactersShowAsQuestionMarksInTheFolderAndSpacesInTheName)
{
    const SingleByteCodePage latin1(SingleByteCodePage::Latin1);
    EXPECT_EQ(CleanDisplayText(QStringLiteral("C:\\Мир\\Жa.mp3"), latin1, Backslash),
              QStringLiteral("C:\\???\\ a.mp3"));
    EXPECT_EQ(CleanDisplayText(QStringLiteral("/музыка/трек.flac"), latin1, QLatin1Char('/')),
              QStringLiteral("/??????") + u"/    .flac"_s);
    // A name's own forbidden characters become spaces too, in the name only.
    EXPECT_EQ(CleanDisplayText(QStringLiteral("/a:b/c<d>e|f*g\"h.mp3"), latin1, QLatin1Char('/')),
              QStringLiteral("/a:b/c d e f g h.mp3"));
}

} // namespace
