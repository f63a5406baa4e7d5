#include "mainwindow/single_instance.h"
#include "platform/private_folder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

TEST(SingleInstanceTest, ASecondStartFindsTheLockAndWritesNothing)
{
    QTemporaryDir temp;
    const QString lock = QDir(temp.path()).filePath(QStringLiteral("trevalon.lock"));
    SingleInstance first(lock);
    ASSERT_TRUE(first.isFirst());
    QFile file(lock);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    const QDateTime modified = QFileInfo(lock).lastModified();
    file.close();
    QTest::qWait(20);

    SingleInstance second(lock);
    EXPECT_FALSE(second.isFirst());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_EQ(QFileInfo(lock).lastModified(), modified);

    // Without a runtime folder the lock lies in the program's private temp folder, never under a
    // name in the shared temp folder that another user could create first.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString fallback = SingleInstance::DefaultLockFilePath();
    if (!runtime.isNull())
        qputenv("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(fallback, ProgramTempFolder() + QStringLiteral("/trevalon.lock"));
    EXPECT_FALSE(QFileInfo(ProgramTempFolder()).isSymLink());
    EXPECT_FALSE(QFileInfo(ProgramTempFolder()).permissions() &
                 (QFile::WriteGroup | QFile::WriteOther | QFile::ExeGroup | QFile::ExeOther));
}
