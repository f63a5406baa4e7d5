#include "intake/staging.h"
#include "platform/single_byte_code_page.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

class Staging : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir().mkdir(stagingFolder()));
    }

    QString source(const QString& name, const QByteArray& content = "audio")
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(writeFile(path, content)) << qPrintable(path);
        return path;
    }

    QString stagingFolder() const { return m_dir.filePath(QStringLiteral("staging")); }
    QString staged(const QString& name) const { return stagingFolder() + u'/' + name + u".tmp"_s; }

    QTemporaryDir m_dir;
    SingleByteCodePage m_latin1{SingleByteCodePage::Latin1};
    SourceStager m_stager{m_latin1, stagingFolder(), QLatin1Char('/'),
                          [] { return QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)); }};
};

TEST_F(Staging, ReachableSourceIsQueuedAsItIsAndNothingIsCopied)
{
    const QString path = source(QStringLiteral("Café.mp3"));
    const StageResult result = m_stager.StageSource(path);
    EXPECT_EQ(result.queuePath, path);
    EXPECT_FALSE(result.staged);
    EXPECT_TRUE(QDir(stagingFolder()).isEmpty());
}

TEST_F(Staging, FileExistsNeverTakesTheQuestionMarkFormForTheSource)
{
    const QString lacking = source(QStringLiteral("Ж.mp3"));
    source(QStringLiteral("?.mp3")); // what the code page would turn the name into
    EXPECT_FALSE(FileExists(lacking, m_latin1));
    EXPECT_TRUE(FileExists(m_dir.filePath(QStringLiteral("?.mp3")), m_latin1));
    EXPECT_FALSE(FileExists(m_dir.path(), m_latin1));
    EXPECT_FALSE(FileExists(m_dir.filePath(QStringLiteral("missing.mp3")), m_latin1));
}

TEST_F(Staging, StagedNamesFollowTheCleaningRules)
{
    const QDateTime now(QDate(2024, 3, 5), QTime(7, 8, 9));
    const QChar slash = QLatin1Char('/');
    // Nothing but lacking characters: the time stamp.
    EXPECT_EQ(StagedName(QStringLiteral("/m/Жук.mp3"), m_latin1, slash, now),
              QStringLiteral("20240305-070809"));
    // Letters stay, every other character is a space, outer spaces included.
    EXPECT_EQ(StagedName(QStringLiteral("/m/Жa bЖ.mp3"), m_latin1, slash, now),
              QStringLiteral(" a b "));
    // Only the part before the first dot counts.
    EXPECT_EQ(StagedName(QStringLiteral("/m/soЖng.live.flac"), m_latin1, slash, now),
              QStringLiteral("so ng"));
    // Separators and the other forbidden characters of the name, in the Windows form.
    EXPECT_EQ(StagedName(QStringLiteral("C:\\m\\a<b>:c|Ж*\".mp3"), m_latin1, QLatin1Char('\\'), now),
              QStringLiteral("a b  c    "));
    const QString longName = QStringLiteral("Ж") + QString(240, QLatin1Char('x'));
    EXPECT_EQ(StagedName(u"/m/"_s + longName + u".mp3"_s, m_latin1, slash, now),
              QLatin1Char(' ') + QString(199, QLatin1Char('x')));
}

TEST_F(Staging, LackingSourceIsCopiedUnderItsCleanedName)
{
    const QString timeStamped = source(QStringLiteral("Жук.mp3"), "first");
    const QString longOne = source(QStringLiteral("Ж") + QString(240, QLatin1Char('x')) + u".mp3"_s, "long");

    const StageResult stamped = m_stager.StageSource(timeStamped);
    EXPECT_TRUE(stamped.staged);
    EXPECT_TRUE(stamped.copied) << qPrintable(stamped.error);
    EXPECT_EQ(stamped.queuePath, staged(QStringLiteral("20240305-070809")));
    EXPECT_EQ(readFile(stamped.queuePath), QByteArray("first"));

    const StageResult cut = m_stager.StageSource(longOne);
    EXPECT_EQ(cut.queuePath, staged(QLatin1Char(' ') + QString(199, QLatin1Char('x'))));
    EXPECT_EQ(readFile(cut.queuePath), QByteArray("long"));
    // No partial copy is left beside the staged ones.
    EXPECT_EQ(QDir(stagingFolder()).entryList(QDir::Files).size(), 2);
}

TEST_F(Staging, TwoSourcesSharingAStagedNameKeepTheirOwnCopies)
{
    const QString first = source(QStringLiteral("one/Жsong.mp3"), "one");
    const QString second = source(QStringLiteral("two/Жsong.flac"), "two");

    const StageResult a = m_stager.StageSource(first);
    const StageResult b = m_stager.StageSource(second);
    EXPECT_EQ(a.queuePath, staged(QStringLiteral(" song")));
    EXPECT_EQ(b.queuePath, staged(QStringLiteral(" song (2)")));
    EXPECT_EQ(readFile(a.queuePath), QByteArray("one"));
    EXPECT_EQ(readFile(b.queuePath), QByteArray("two"));

    // The same source again refreshes its own copy.
    ASSERT_TRUE(writeFile(first, "one, edited"));
    EXPECT_EQ(m_stager.StageSource(first).queuePath, a.queuePath);
    EXPECT_EQ(readFile(a.queuePath), QByteArray("one, edited"));
    EXPECT_EQ(readFile(b.queuePath), QByteArray("two"));
}

TEST_F(Staging, FailedCopyStillQueuesTheStagedPathAndSaysWhy)
{
    const StageResult missing = m_stager.StageSource(m_dir.filePath(QStringLiteral("Жgone.mp3")));
    EXPECT_TRUE(missing.staged);
    EXPECT_FALSE(missing.copied);
    EXPECT_FALSE(missing.error.isEmpty());
    EXPECT_EQ(missing.queuePath, staged(QStringLiteral(" gone")));
    EXPECT_FALSE(QFileInfo::exists(missing.queuePath));

    ASSERT_TRUE(QDir().mkdir(m_dir.filePath(QStringLiteral("Жdir"))));
    const StageResult folder = m_stager.StageSource(m_dir.filePath(QStringLiteral("Жdir")));
    EXPECT_FALSE(folder.copied);
    EXPECT_TRUE(folder.error.contains(QStringLiteral("folder")));
}

TEST_F(Staging, DeleteFolderTreeRemovesLinksButNeverWhatTheyPointTo)
{
    const QString outside = m_dir.filePath(QStringLiteral("outside"));
    source(QStringLiteral("outside/keep.mp3"), "keep");
    const QString tree = m_dir.filePath(QStringLiteral("tree"));
    source(QStringLiteral("tree/a.tmp"));
    source(QStringLiteral("tree/.hidden"));
    source(QStringLiteral("tree/deep/er/b.tmp"));
    ASSERT_TRUE(QFile::link(outside, tree + u"/deep/to-outside"_s));
    ASSERT_TRUE(QFile::link(outside + u"/keep.mp3"_s, tree + u"/to-file"_s));
    ASSERT_TRUE(QFile::link(tree + u"/nowhere"_s, tree + u"/dangling"_s));
    ASSERT_TRUE(QFile::setPermissions(tree + u"/deep/er"_s, QFile::ReadOwner | QFile::ExeOwner));

    const DeleteReport report = DeleteFolderTree(tree);
    EXPECT_TRUE(report.complete()) << qPrintable(report.failures.join(u'\n'));
    EXPECT_EQ(report.filesRemoved, 6);
    EXPECT_EQ(report.foldersRemoved, 3);
    EXPECT_FALSE(QFileInfo(tree).exists() || QFileInfo(tree).isSymLink());
    EXPECT_EQ(readFile(outside + u"/keep.mp3"_s), QByteArray("keep"));

    // A link standing where the folder is expected goes, the folder behind it stays.
    ASSERT_TRUE(QFile::link(outside, tree));
    EXPECT_TRUE(DeleteFolderTree(tree).complete());
    EXPECT_FALSE(QFileInfo(tree).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(outside + u"/keep.mp3"_s));
    EXPECT_TRUE(DeleteFolderTree(tree).complete()); // missing now: nothing to do
}

TEST_F(Staging, StagingFolderIsPrivateAndNeverALink)
{
    const QString own = m_dir.filePath(QStringLiteral("trevalon-test/staging"));
    QString error;
    ASSERT_TRUE(PrepareStagingFolder(own, &error)) << qPrintable(error);
    const QFile::Permissions permissions = QFileInfo(own).permissions();
    EXPECT_TRUE(permissions.testFlags(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_FALSE(permissions & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                QFile::ReadOther | QFile::WriteOther | QFile::ExeOther));
    EXPECT_TRUE(PrepareStagingFolder(own)); // an existing one is fine

    const QString planted = m_dir.filePath(QStringLiteral("planted"));
    ASSERT_TRUE(QFile::link(m_dir.filePath(QStringLiteral("outside-target")), planted));
    QDir().mkdir(m_dir.filePath(QStringLiteral("outside-target")));
    EXPECT_FALSE(PrepareStagingFolder(planted + u"/staging"_s, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("outside-target/staging"))));

    // The start-up clean-up deletes nothing under a planted link or another user's folder, and
    // empties its own folder.
    const QString kept = source(QStringLiteral("outside-target/staging/keep.tmp"));
    EXPECT_FALSE(ClearStagingFolder(planted + u"/staging"_s).complete());
    EXPECT_TRUE(QFileInfo::exists(kept));
    if (::getuid() == 0) {
        const QString foreign = m_dir.filePath(QStringLiteral("foreign"));
        const QString foreignFile = source(QStringLiteral("foreign/staging/keep.tmp"));
        ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
        EXPECT_FALSE(ClearStagingFolder(foreign + u"/staging"_s).complete());
        EXPECT_TRUE(QFileInfo::exists(foreignFile));
    }
    source(QStringLiteral("trevalon-test/staging/old.tmp"));
    EXPECT_TRUE(ClearStagingFolder(own).complete());
    EXPECT_FALSE(QFileInfo::exists(own));
    EXPECT_TRUE(ClearStagingFolder(m_dir.filePath(QStringLiteral("absent/staging"))).complete());

    EXPECT_TRUE(StagingFolderPath().startsWith(QDir::tempPath() + u"/trevalon-"_s));
    EXPECT_NE(QFileInfo(StagingFolderPath()).absolutePath(), QDir::tempPath());
}

} // namespace
