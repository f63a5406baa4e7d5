#include "intake/dropped_names.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(DroppedNames, LocalUrlsGiveFullUnicodeNamesAndMarkFolders)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString song = dir.filePath(QStringLiteral("Жук #1 100%.mp3"));
    const QString folder = dir.filePath(QStringLiteral("Ordner ü"));
    QFile file(song);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(QDir().mkdir(folder));

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(song), QUrl(QStringLiteral("https://example.org/a.mp3")),
                  QUrl::fromLocalFile(folder),
                  QUrl::fromLocalFile(dir.filePath(QStringLiteral("gone.wav")))});
    const DroppedNames dropped = ReadDroppedNames(data);

    const QVector<DroppedName> expected = {
        {QDir::toNativeSeparators(song), false},
        {QDir::toNativeSeparators(folder), true},
        {QDir::toNativeSeparators(dir.filePath(QStringLiteral("gone.wav"))), false}};
    EXPECT_EQ(dropped.names, expected);
    ASSERT_EQ(dropped.skipped.size(), 1);
    EXPECT_EQ(dropped.skipped.first().host(), QStringLiteral("example.org"));
}

TEST(DroppedNames, DropWithoutUrlsGivesNothing)
{
    QMimeData data;
    data.setText(QStringLiteral("/etc/passwd"));
    const DroppedNames dropped = ReadDroppedNames(data);
    EXPECT_TRUE(dropped.names.isEmpty());
    EXPECT_TRUE(dropped.skipped.isEmpty());
}

} // namespace
