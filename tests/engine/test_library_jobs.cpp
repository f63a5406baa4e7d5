#include "engine/library_jobs.h"
#include "engine/output_names.h"
#include "qt_print.h"
#include "settings/picker_lists.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

NamingSource source(TrackTags tags, const QString& fileName = QStringLiteral("file"),
                    const QString& keptFolder = {})
{
    return NamingSource{std::move(tags), fileName, keptFolder, fileName};
}

TrackTags tagged(const QString& artist, const QString& album, const QString& track,
                 const QString& title)
{
    TrackTags tags;
    tags.artist = artist;
    tags.album = album;
    tags.track = track;
    tags.title = title;
    return tags;
}

const QString Album = QStringLiteral("{albumartist}/{album}/{track} {title}");

} // namespace

TEST(OutputNames, PatternsGiveSafePathsOrTheSourcesOwnName)
{
    TrackTags dated = tagged(QStringLiteral("Band"), QStringLiteral("Best"), QStringLiteral(" 7 "),
                             QStringLiteral("Go"));
    dated.date = QStringLiteral("2003-05-01");
    dated.genre = QStringLiteral("Rock\x01Pop");
    dated.disc = QStringLiteral("2/3");
    TrackTags withAlbumArtist = dated;
    withAlbumArtist.albumArtist = QStringLiteral("Various");

    const struct
    {
        const char* what;
        QString pattern;
        NamingSource source;
        std::optional<QString> path;
    } cases[] = {
        {"a slash, a colon and a question mark in tags stay inside their part", Album,
         source(tagged(QStringLiteral("AC/DC"), QStringLiteral("Live: Why?"), QStringLiteral("3"),
                       QStringLiteral("A*B<C>|\"D\\"))),
         QStringLiteral("AC_DC/Live_ Why_/03 A_B_C___D_")},
        {"a track number with a total keeps the number alone", Album,
         source(tagged(QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("03/12"),
                       QStringLiteral("Z"))),
         QStringLiteral("X/Y/03 Z")},
        {"an empty tag counts as missing", Album,
         source(tagged(QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("1"),
                       QStringLiteral("  "))),
         std::nullopt},
        {"year, disc, genre and a blank-padded track", QStringLiteral("{year} {disc}-{track} {genre}"),
         source(dated), QStringLiteral("2003 2-07 Rock_Pop")},
        {"a missing disc is 1 and a missing album artist takes the artist",
         QStringLiteral("{albumartist}/{disc}"), source(dated), QStringLiteral("Band/2")},
        {"the album artist wins when tagged", QStringLiteral("{albumartist}/{disc}"),
         source(withAlbumArtist), QStringLiteral("Various/2")},
        {"missing disc", QStringLiteral("{disc}"),
         source(tagged(QStringLiteral("X"), {}, {}, {})), QStringLiteral("1")},
        {"trailing dots and blanks go, an empty part becomes _",
         QStringLiteral("{artist}/{album}/{title}"),
         source(tagged(QStringLiteral("R.E.M."), QStringLiteral(".."), {}, QStringLiteral("x. "))),
         QStringLiteral("R.E.M/_/x")},
        {"{folder} keeps the tree; a lone file has none", QStringLiteral("{folder}/{filename}"),
         source({}, QStringLiteral("a.b"), QStringLiteral("Rock/A")), QStringLiteral("Rock/A/a.b")},
        {"{folder} of a lone file leaves no empty folder", QStringLiteral("{folder}/{filename}"),
         source({}, QStringLiteral("a")), QStringLiteral("a")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PatternPath(c.pattern, c.source), c.path) << c.what;

    // A 300-byte Japanese title is cut to the file part's 200 bytes on a character boundary; a
    // folder part may keep 255.
    const QString japanese = QString(100, QChar(0x66F2)); // three bytes each in UTF-8
    const QString named =
        *PatternPath(QStringLiteral("{album}/{title}"),
                     source(tagged({}, japanese, {}, japanese + QStringLiteral("\U0001F3B5"))));
    const QStringList parts = named.split(QLatin1Char('/'));
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts[0], japanese.left(85));
    EXPECT_EQ(parts[1], japanese.left(66));
    // A four-byte character at the cut is dropped whole, never split into half a pair.
    EXPECT_EQ(SafeNamePart(QStringLiteral("ab\U0001F3B5"), 5), QStringLiteral("ab"));

    EXPECT_TRUE(NamePatternProblem(QStringLiteral("{artst}/{title}")).has_value());
    EXPECT_TRUE(NamePatternProblem(QStringLiteral("{artist")).has_value());
    EXPECT_TRUE(NamePatternProblem(QStringLiteral(" ")).has_value());
    EXPECT_FALSE(NamePatternProblem(Album).has_value());
}

TEST(OutputNames, EqualNamesAreNumberedInListOrderWhateverTheirCase)
{
    const TrackTags song = tagged(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("1"),
                                  QStringLiteral("Song"));
    const TrackTags shouted = tagged(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("1"),
                                     QStringLiteral("SONG"));
    // The third source lacks its title: it falls back to its own name, which the fourth has as
    // a tagged name.
    const QVector<NamedOutput> outputs = AssignOutputNames(
        QStringLiteral("{artist} {title}"),
        {source(song), source(shouted), source(tagged(QStringLiteral("A"), {}, {}, {}),
                                               QStringLiteral("A Song")),
         source(tagged(QStringLiteral("x"), {}, {}, QStringLiteral("y"))),
         source(tagged(QStringLiteral("A"), {}, {}, QStringLiteral("y")), QStringLiteral("x y"))});
    ASSERT_EQ(outputs.size(), 5);
    EXPECT_EQ(outputs[0].path, QStringLiteral("A Song"));
    EXPECT_EQ(outputs[1].path, QStringLiteral("a SONG (2)"));
    EXPECT_EQ(outputs[2].path, QStringLiteral("A Song (3)"));
    EXPECT_FALSE(outputs[2].fromTags);
    EXPECT_EQ(outputs[2].number, 3);
    EXPECT_EQ(outputs[3].path, QStringLiteral("x y"));
    EXPECT_EQ(outputs[4].path, QStringLiteral("A y"));
}

TEST(LibraryJobs, ExistingOutputsAreSkippedOrNumberedBeforeTheJobStarts)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QDir dir(folder.path());
    const auto touch = [&dir](const QString& name, qint64 ageSeconds) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                         QFileDevice::FileModificationTime);
    };
    const auto planFor = [&dir](const QString& output) {
        JobPlan plan;
        plan.commandText = QStringLiteral("conv -i \"s\" \"%1\"").arg(dir.filePath(output));
        plan.invocation.program = QStringLiteral("conv");
        plan.invocation.arguments = {QStringLiteral("-i"), QStringLiteral("s"), dir.filePath(output)};
        plan.invocation.outputPath = dir.filePath(output);
        return plan;
    };
    const auto nothingTaken = [](const QByteArray&) { return false; };
    touch(QStringLiteral("new.flac"), 100);
    touch(QStringLiteral("new.mp3"), 10);
    touch(QStringLiteral("old.mp3"), 1000);
    touch(QStringLiteral("new (2).mp3"), 10);

    JobPlan upToDate = planFor(QStringLiteral("new.mp3"));
    EXPECT_TRUE(ApplyExistingRule(upToDate, dir.filePath(QStringLiteral("new.flac")),
                                  ExistingOutput::Skip, nothingTaken).skip);
    // An output older than its source is converted again.
    JobPlan stale = planFor(QStringLiteral("old.mp3"));
    EXPECT_FALSE(ApplyExistingRule(stale, dir.filePath(QStringLiteral("new.flac")),
                                   ExistingOutput::Skip, nothingTaken).skip);
    JobPlan absent = planFor(QStringLiteral("none.mp3"));
    EXPECT_FALSE(ApplyExistingRule(absent, dir.filePath(QStringLiteral("new.flac")),
                                   ExistingOutput::Skip, nothingTaken).skip);

    // Number takes the first name neither on disk nor taken by another job, everywhere the plan
    // names its output.
    JobPlan numbered = planFor(QStringLiteral("new.mp3"));
    const ExistingDecision decision = ApplyExistingRule(
        numbered, QStringLiteral("s"), ExistingOutput::Number,
        [&dir](const QByteArray& path) {
            return path == QFile::encodeName(dir.filePath(QStringLiteral("new (3).mp3")));
        });
    EXPECT_FALSE(decision.skip);
    const QString expected = dir.filePath(QStringLiteral("new (4).mp3"));
    EXPECT_EQ(numbered.outputPath(), expected);
    EXPECT_EQ(numbered.invocation.arguments.last(), expected);
    EXPECT_TRUE(numbered.commandText.endsWith(QLatin1Char('"') + expected + QLatin1Char('"')));

    JobPlan overwrite = planFor(QStringLiteral("new.mp3"));
    EXPECT_FALSE(ApplyExistingRule(overwrite, QStringLiteral("s"), ExistingOutput::Overwrite,
                                   nothingTaken).skip);
    EXPECT_EQ(overwrite.outputPath(), dir.filePath(QStringLiteral("new.mp3")));
}

TEST(LibraryJobs, OnlyASourceInTheTargetsCodecIsCopiedAndNeverWithTheCutter)
{
    ConversionSettings settings;
    settings.formatIndex = Mp3;
    settings.outputFolder = QStringLiteral("/out");
    settings.library.copySameFormat = true;
    const auto planned = [](const ConversionSettings& s, const QString& codec) {
        JobPlan plan;
        plan.invocation = BuildConverterInvocation(QStringLiteral("/app"), QStringLiteral("/in/a.mp3"), s);
        plan.commandText = BuildCommandLine(QStringLiteral("/app"), QStringLiteral("/in/a.mp3"), s);
        PlanStreamCopy(plan, QStringLiteral("/in/a.mp3"), s, [&codec](const QString&) { return codec; });
        return plan;
    };
    const JobPlan copy = planned(settings, QStringLiteral("mp3"));
    EXPECT_TRUE(copy.streamCopy);
    EXPECT_TRUE(copy.invocation.arguments.join(QLatin1Char(' ')).contains(QStringLiteral("-c copy")));
    EXPECT_EQ(copy.invocation.arguments.last(), QStringLiteral("/out/a.mp3"));
    EXPECT_FALSE(copy.commandText.contains(QStringLiteral("-ab")));

    EXPECT_FALSE(planned(settings, QStringLiteral("mp2")).streamCopy);
    ConversionSettings cut = settings;
    cut.cutterOn = 1;
    EXPECT_FALSE(planned(cut, QStringLiteral("mp3")).streamCopy);
    ConversionSettings off = settings;
    off.library.copySameFormat = false;
    EXPECT_FALSE(planned(off, QStringLiteral("mp3")).streamCopy);

    // The converter's own check of the output stays in front of a copy, and only when asked for.
    EXPECT_FALSE(copy.commandText.contains(QStringLiteral("-verify")));
    ConversionSettings checked = settings;
    checked.library.verify = true;
    const JobPlan verified = planned(checked, QStringLiteral("mp3"));
    EXPECT_TRUE(verified.streamCopy);
    EXPECT_EQ(verified.invocation.arguments.mid(0, 5),
              (QStringList{QStringLiteral("-verify"), QStringLiteral("-threads"), QStringLiteral("1"),
                           QStringLiteral("-i"), QStringLiteral("/in/a.mp3")}));
    EXPECT_TRUE(verified.commandText.startsWith(
        QStringLiteral("/app/data/conv -verify -threads 1 -i \"/in/a.mp3\" -y -map 0:a:0")))
        << verified.commandText.toStdString();
}
