#include "settings/settings_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

bool holdsSettingsFile(const QString& folder)
{
    const QDir dir(folder);
    return QFileInfo(dir.filePath(QStringLiteral("setup.ini"))).isFile() ||
           QFileInfo(dir.filePath(QStringLiteral("options.ini"))).isFile();
}

} // namespace

bool CanCreateFilesIn(const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".trevalon-write-test-XXXXXX")));
    return probe.open(); // removed again when probe goes out of scope
}

SettingsFolderChoice SettingsFolder(const QString& programFolder, const QString& userConfigFolder,
                                    const FolderWritableCheck& isWritable)
{
    SettingsFolderChoice choice;
    if (holdsSettingsFile(programFolder) || isWritable(programFolder)) {
        choice.folder = programFolder;
        choice.inProgramFolder = true;
        return choice;
    }
    choice.folder = userConfigFolder;
    choice.available = QDir().mkpath(userConfigFolder);
    return choice;
}

// Named explicitly rather than through the application name, so the folder is the same whatever
// name a front end or a test gives its application object.
QString UserConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Trevalon");
}
