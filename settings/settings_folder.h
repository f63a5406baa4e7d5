#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// Where setup.ini, options.ini and trevalon.ini are read from and written to.
struct SettingsFolderChoice
{
    // Where the settings are written, and read from once it holds any of them.
    QString folder;
    // The program folder, when the user's configuration folder was chosen: while that folder
    // holds no settings file yet, the program folder's files are the starting values, and the
    // first write copies them in (once) before it writes its own file.
    QString fillFrom;
    bool inProgramFolder = false;

    // The folder the settings are read from now: folder, or fillFrom while folder holds none.
    QString readFolder() const;
    // Makes folder ready for a settings file to be written: creates it when needed and, while it
    // holds no settings file, copies fillFrom's settings files into it byte for byte. False when
    // the folder could not be created or a file could not be copied (the write that follows
    // then reports its own failure too).
    bool prepareWrite() const;
};

// The names of the settings files.
QStringList SettingsFileNames();

// Whether a settings file of that name can be written in the folder.
using SettingsWritableCheck = std::function<bool(const QString& folder, const QString& fileName)>;

// Tries to create and remove a file in the folder. This is the real test: it also fails on a
// read-only mount or a folder the user may read but not change, whatever the permission bits say.
bool CanCreateFilesIn(const QString& folder);

// Whether the file can be written: through a new file in its folder, or in place when only the
// file itself may be changed. Opening to append changes nothing in the file.
bool CanWriteSettingsFile(const QString& folder, const QString& fileName);

// The folder the settings live in:
//  - the program folder, when setup.ini and options.ini can be written there (the folder, or the
//    files in place); no other folder is consulted then;
//  - otherwise the user's configuration folder (an installed, shared copy), which starts from the
//    program folder's files while it holds none of its own (see SettingsFolderChoice).
// File dates decide nothing, trevalon.ini plays no part in the choice, and nothing is written:
// the folder is created and filled only by the first write.
SettingsFolderChoice SettingsFolder(const QString& programFolder, const QString& userConfigFolder,
                                    const SettingsWritableCheck& canWrite = CanWriteSettingsFile);

// The user's configuration folder for Trevalon (~/.config/Trevalon on Linux).
QString UserConfigFolder();

// Writes the whole file: through a new file put in its place when the folder allows one (so a
// failed write leaves the old file as it was), otherwise straight into the file when only the
// file may be written.
bool SaveSettingsFile(const QString& path, const QByteArray& bytes);
