#include "intake/folder_search.h"
#include "intake/folder_search_job.h"
#include "platform/code_page.h"
#include "platform/single_byte_code_page.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class FolderSearch : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    void files(const QStringList& relatives)
    {
        for (const QString& relative : relatives) {
            QDir().mkpath(QFileInfo(path(relative)).absolutePath());
            if (relative.endsWith(u'/'))
                continue; // an empty folder
            QFile file(path(relative));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(relative);
        }
    }

    QStringList under(const QString& root, const QStringList& relatives) const
    {
        QStringList result;
        for (const QString& relative : relatives)
            result += root + u'/' + relative;
        return result;
    }

    QTemporaryDir m_dir;
};

TEST_F(FolderSearch, OwnFilesFirstThenEachSubfolderDepthFirstInListingOrder)
{
    files({QStringLiteral("b.txt"), QStringLiteral("a.mp3"), QStringLiteral("_x.wav"),
           QStringLiteral("B2.mp3"), QStringLiteral(".hidden.mp3"), QStringLiteral("sub/c.wav"),
           QStringLiteral("Sub2/d/e.mp3"), QStringLiteral("Sub2/z.mp3"),
           QStringLiteral(".hiddendir/f.mp3"), QStringLiteral("empty/d2/")});
    const QStringList expected = under(m_dir.path(), {
        QStringLiteral(".hidden.mp3"), QStringLiteral("a.mp3"), QStringLiteral("b.txt"),
        QStringLiteral("B2.mp3"), QStringLiteral("_x.wav"), QStringLiteral(".hiddendir/f.mp3"),
        QStringLiteral("sub/c.wav"), QStringLiteral("Sub2/z.mp3"), QStringLiteral("Sub2/d/e.mp3")});
    SearchReport report;
    EXPECT_EQ(SearchFolder(m_dir.path(), &report), expected);
    EXPECT_EQ(report.filesFound, expected.size());
    EXPECT_EQ(report.foldersSearched, 7);

    // The separator is always put between folder and name, as the chosen folder was given.
    EXPECT_EQ(SearchFolder(m_dir.path() + u"/sub/"_s), QStringList{m_dir.path() + u"/sub//c.wav"_s});
}

TEST_F(FolderSearch, ListingOrderComparesUpperCasedCodeUnits)
{
    EXPECT_TRUE(ListedBefore(QStringLiteral("a"), QStringLiteral("B")));
    EXPECT_TRUE(ListedBefore(QStringLiteral("z"), QStringLiteral("_")));
    EXPECT_TRUE(ListedBefore(QStringLiteral("A"), QStringLiteral("a")));
    EXPECT_FALSE(ListedBefore(QStringLiteral("a"), QStringLiteral("A")));
    EXPECT_TRUE(ListedBefore(QStringLiteral("track2"), QStringLiteral("track10")) == false);
    EXPECT_TRUE(ListedBefore(QStringLiteral("é"), QStringLiteral("F")) == false);

    // A search lists each folder in that order, also where names share a long start, differ only
    // in case or only far into the name, or end where another goes on.
    const QStringList mixed = {u"abcdEFGH2"_s, u"ABCDefgh1"_s, u"abcdefgh1"_s, u"abcd"_s,
                               u"ABCD_"_s,     u"abcé"_s,      u"abcE"_s,      u"b"_s};
    const QStringList shared = {u"song 01 a.mp3"_s, u"song 01 A.mp3"_s, u"song 01"_s,
                                u"song 01 b.mp3"_s, u"song 01_.mp3"_s,  u"song 01 é.mp3"_s,
                                u"song 01 E.mp3"_s, u"song 01 a.mp3x"_s, u"song 012.mp3"_s};
    for (const QStringList& names : {mixed, shared}) {
        const QString folder = path(names.first().left(4));
        files(under(names.first().left(4), names));
        QStringList expected = names;
        std::sort(expected.begin(), expected.end(), ListedBefore);
        EXPECT_EQ(SearchFolder(folder), under(folder, expected));
    }
}

TEST_F(FolderSearch, SymbolicLinksNeverLeadIntoALoop)
{
    files({QStringLiteral("root/a/f.mp3"), QStringLiteral("outside/o.mp3")});
    const QString root = path(QStringLiteral("root"));
    ASSERT_TRUE(QFile::link(root, root + u"/a/loop"_s));
    ASSERT_TRUE(QFile::link(root + u"/a"_s, root + u"/b-again"_s));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("outside")), root + u"/c-outside"_s));
    ASSERT_TRUE(QFile::link(root + u"/nowhere"_s, root + u"/dangling.mp3"_s));

    SearchReport report;
    const QStringList found = SearchFolder(root, &report);
    EXPECT_EQ(found, under(root, {QStringLiteral("a/f.mp3"), QStringLiteral("c-outside/o.mp3")}));
    EXPECT_EQ(report.repeatedFolders.size(), 2);
}

TEST_F(FolderSearch, EverySubfolderIsSearched)
{
    QStringList relatives;
    for (int i = 0; i < 250; ++i)
        relatives += QStringLiteral("sub%1/f.wav").arg(i, 3, 10, QLatin1Char('0'));
    files(relatives);
    EXPECT_EQ(SearchFolder(m_dir.path()), under(m_dir.path(), relatives));
}

TEST_F(FolderSearch, MissingFolderIsReportedAndGivesNothing)
{
    SearchReport report;
    EXPECT_TRUE(SearchFolder(path(QStringLiteral("gone")), &report).isEmpty());
    EXPECT_EQ(report.unreadableFolders, QStringList{path(QStringLiteral("gone"))});
}

TEST_F(FolderSearch, TrimFixedNameAndFolderExists)
{
    EXPECT_EQ(TrimFixedName(QStringLiteral(" a b") + QChar(u'\0') + u"  "_s + QChar(u'\0')),
              QStringLiteral(" a b"));
    EXPECT_EQ(TrimFixedName(QStringLiteral("   ")), QString());
    EXPECT_EQ(TrimFixedName(QString()), QString());

    files({QStringLiteral("Жdir/x.mp3"), QStringLiteral("dir/x.mp3")});
    const SingleByteCodePage latin1(SingleByteCodePage::Latin1);
    EXPECT_TRUE(FolderExists(path(QStringLiteral("dir")), latin1));
    EXPECT_FALSE(FolderExists(path(QStringLiteral("dir/x.mp3")), latin1));
    EXPECT_FALSE(FolderExists(path(QStringLiteral("Жdir")), latin1));
    EXPECT_TRUE(FolderExists(path(QStringLiteral("Жdir")), NativeCodePage()));
}

TEST_F(FolderSearch, JobDeliversEveryPathInOrderOffTheCallingThread)
{
    QStringList relatives;
    for (int folder = 0; folder < 6; ++folder)
        for (int file = 0; file < 1000; ++file)
            relatives += QStringLiteral("f%1/%2.mp3").arg(folder).arg(file, 4, 10, QLatin1Char('0'));
    files(relatives);
    const QStringList expected = SearchFolder(m_dir.path());
    ASSERT_EQ(expected.size(), 6000);

    FolderSearchJob job;
    QStringList delivered;
    int batches = 0;
    bool finishedLast = false;
    QObject::connect(&job, &FolderSearchJob::filesFound, [&](const FoundFiles& found) {
        delivered += found.paths;
        ++batches;
    });
    QSignalSpy finished(&job, &FolderSearchJob::finished);
    QObject::connect(&job, &FolderSearchJob::finished,
                     [&] { finishedLast = delivered.size() == expected.size(); });

    ASSERT_TRUE(job.start(m_dir.path()));
    EXPECT_FALSE(job.start(m_dir.path()));
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(finishedLast);
    EXPECT_EQ(delivered, expected);
    EXPECT_GE(batches, 3);
    EXPECT_FALSE(job.isRunning());
    const auto report = finished.first().first().value<SearchReport>();
    EXPECT_EQ(report.filesFound, 6000);
    EXPECT_FALSE(report.cancelled);

    // A second search on the same job, dropped half-way by destroying it.
    auto* dropped = new FolderSearchJob;
    ASSERT_TRUE(dropped->start(m_dir.path()));
    delete dropped;
    QTest::qWait(50);
}

} // namespace
