#include "settings/settings_folder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>

namespace {

// The time of the newest settings file in the folder; invalid when it holds none.
QDateTime newestSettingsFile(const QString& folder)
{
    QDateTime newest;
    for (const QString& name : SettingsFileNames()) {
        const QFileInfo file(QDir(folder).filePath(name));
        if (file.isFile() && (!newest.isValid() || file.lastModified() > newest))
            newest = file.lastModified();
    }
    return newest;
}

bool copySettingsFile(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = source.readAll();
    return source.error() == QFileDevice::NoError && SaveSettingsFile(to, bytes);
}

// Brings every settings file of the other folder that is newer than the chosen folder's copy, or
// that the chosen folder lacks, into the chosen folder.
QStringList copyNewerFiles(const QString& otherFolder, const QString& chosenFolder)
{
    QStringList notCopied;
    for (const QString& name : SettingsFileNames()) {
        const QFileInfo other(QDir(otherFolder).filePath(name));
        const QFileInfo own(QDir(chosenFolder).filePath(name));
        if (!other.isFile() || (own.exists() && own.lastModified() >= other.lastModified()))
            continue;
        if (own.exists() && !own.isFile()) {
            notCopied << other.filePath();
            continue;
        }
        if (!copySettingsFile(other.filePath(), own.filePath()))
            notCopied << other.filePath();
    }
    return notCopied;
}

} // namespace

QStringList SettingsFileNames()
{
    return {QStringLiteral("setup.ini"), QStringLiteral("options.ini"),
            QStringLiteral("trevalon.ini")};
}

bool CanCreateFilesIn(const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".trevalon-write-test-XXXXXX")));
    return probe.open(); // removed again when probe goes out of scope
}

bool CanWriteSettingsFile(const QString& folder, const QString& fileName)
{
    const QString path = QDir(folder).filePath(fileName);
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return false; // a folder of that name: no file can be written there
    if (CanCreateFilesIn(folder))
        return true;
    QFile file(path);
    return info.isFile() && file.open(QIODevice::WriteOnly | QIODevice::Append);
}

SettingsFolderChoice SettingsFolder(const QString& programFolder, const QString& userConfigFolder,
                                    const SettingsWritableCheck& canWrite)
{
    const QStringList names = SettingsFileNames();
    const bool programWritable = std::all_of(names.begin(), names.end(), [&](const QString& name) {
        return canWrite(programFolder, name);
    });
    const QDateTime programNewest = newestSettingsFile(programFolder);
    const QDateTime userNewest = newestSettingsFile(userConfigFolder);
    const bool userHoldsNewer =
        userNewest.isValid() && (!programNewest.isValid() || userNewest > programNewest);

    SettingsFolderChoice choice;
    if (programWritable && !userHoldsNewer) {
        choice.folder = programFolder;
        choice.inProgramFolder = true;
        choice.notCopied = copyNewerFiles(userConfigFolder, programFolder);
        return choice;
    }
    choice.folder = userConfigFolder;
    choice.available = QDir().mkpath(userConfigFolder);
    if (choice.available)
        choice.notCopied = copyNewerFiles(programFolder, userConfigFolder);
    return choice;
}

// Named explicitly rather than through the application name, so the folder is the same whatever
// name a front end or a test gives its application object.
QString UserConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Trevalon");
}

bool SaveSettingsFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
