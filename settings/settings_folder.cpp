#include "settings/settings_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>

namespace {

bool holdsSettingsFile(const QString& folder)
{
    const QStringList names = SettingsFileNames();
    return std::any_of(names.begin(), names.end(), [&](const QString& name) {
        return QFileInfo::exists(QDir(folder).filePath(name));
    });
}

bool copySettingsFile(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = source.readAll();
    return source.error() == QFileDevice::NoError && SaveSettingsFile(to, bytes);
}

} // namespace

QStringList SettingsFileNames()
{
    return {QStringLiteral("setup.ini"), QStringLiteral("options.ini"),
            QStringLiteral("trevalon.ini")};
}

QString SettingsFolderChoice::readFolder() const
{
    return !fillFrom.isEmpty() && !holdsSettingsFile(folder) ? fillFrom : folder;
}

bool SettingsFolderChoice::prepareWrite() const
{
    if (!QDir().mkpath(folder))
        return false;
    if (fillFrom.isEmpty() || holdsSettingsFile(folder))
        return true;
    bool copied = true;
    for (const QString& name : SettingsFileNames()) {
        const QString from = QDir(fillFrom).filePath(name);
        if (QFileInfo(from).isFile() && !copySettingsFile(from, QDir(folder).filePath(name)))
            copied = false;
    }
    return copied;
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
    SettingsFolderChoice choice;
    // trevalon.ini is left out: a program folder that keeps the two classic files stays the
    // settings folder even where a file of Trevalon's own could not be added.
    if (canWrite(programFolder, QStringLiteral("setup.ini")) &&
        canWrite(programFolder, QStringLiteral("options.ini"))) {
        choice.folder = programFolder;
        choice.inProgramFolder = true;
        return choice;
    }
    choice.folder = userConfigFolder;
    choice.fillFrom = programFolder;
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
