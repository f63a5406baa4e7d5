#pragma once

#include <QString>

#include <functional>

// Where setup.ini and options.ini live.
struct SettingsFolderChoice
{
    QString folder;
    bool inProgramFolder = false;
    // False only when the user's configuration folder was needed and could not be created; the
    // folder is still named so reads find nothing and writes report their failure.
    bool available = true;
};

// Whether new files can be created in a folder.
using FolderWritableCheck = std::function<bool(const QString& folder)>;

// Tries to create and remove a file in the folder. This is the real test: it also fails on a
// read-only mount or a folder the user may read but not change, whatever the permission bits say.
bool CanCreateFilesIn(const QString& folder);

// The program folder when it already holds setup.ini or options.ini, or when files can be created
// in it; otherwise the user's configuration folder, created when needed. An installed, shared copy
// of the program thus keeps each user's settings instead of silently losing them.
SettingsFolderChoice SettingsFolder(const QString& programFolder, const QString& userConfigFolder,
                                    const FolderWritableCheck& isWritable = CanCreateFilesIn);

// The user's configuration folder for Trevalon (~/.config/Trevalon on Linux).
QString UserConfigFolder();
