#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// Where setup.ini, options.ini and trevalon.ini live.
struct SettingsFolderChoice
{
    QString folder;
    bool inProgramFolder = false;
    // False only when the user's configuration folder was needed and could not be created; the
    // folder is still named so reads find nothing and writes report their failure.
    bool available = true;
    // Settings files of the other folder, newer than the chosen folder's, that could not be
    // brought over; their choices are not read.
    QStringList notCopied;
};

// The names of the settings files, in the order they are looked at.
QStringList SettingsFileNames();

// Whether a settings file of that name can be written in the folder.
using SettingsWritableCheck = std::function<bool(const QString& folder, const QString& fileName)>;

// Tries to create and remove a file in the folder. This is the real test: it also fails on a
// read-only mount or a folder the user may read but not change, whatever the permission bits say.
bool CanCreateFilesIn(const QString& folder);

// Whether the file can be written: through a new file in its folder, or in place when only the
// file itself may be changed. Opening to append changes nothing in the file.
bool CanWriteSettingsFile(const QString& folder, const QString& fileName);

// The folder the settings are read from and written to:
//  - the folder (program folder or the user's configuration folder) holding the newest settings
//    file, the program folder when neither holds one;
//  - but never a program folder where one of the settings files cannot be written (an installed,
//    shared copy): then the user's configuration folder, created when needed.
// A settings file of the other folder that is newer than the chosen folder's own copy, or that
// the chosen folder lacks, is copied over first, so what the last Exit wrote is what is read and
// the next Exit writes where the next start looks.
SettingsFolderChoice SettingsFolder(const QString& programFolder, const QString& userConfigFolder,
                                    const SettingsWritableCheck& canWrite = CanWriteSettingsFile);

// The user's configuration folder for Trevalon (~/.config/Trevalon on Linux).
QString UserConfigFolder();

// Writes the whole file: through a new file put in its place when the folder allows one (so a
// failed write leaves the old file as it was), otherwise straight into the file when only the
// file may be written.
bool SaveSettingsFile(const QString& path, const QByteArray& bytes);
