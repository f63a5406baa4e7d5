#pragma once

#include "engine/command_line.h"
#include "engine/conversion_settings.h"

#include <QString>

// "Keep folders": an entry found in a folder the user added (by Add Folder, a drop or a
// command-line argument) is converted into a copy of that folder's tree under the output folder, so
// that tracks of the same name in different albums no longer overwrite each other.

// The folder below the output folder that keeps the source's place: the added folder's own name,
// then the subfolders between it and the source, joined with the separator ("Rock/A" for the
// source /music/Rock/A/x.flac added with /music/Rock). Empty when there is no added folder, when
// the source does not lie inside it, or when a part of the way is "." or "..".
QString KeptSubfolder(const QString& addedFolder, const QString& sourcePath, QChar separator);

// The settings one entry is converted with: with keepFolders on and a kept subfolder, the output
// folder moves down into it; otherwise the settings are returned unchanged, so the command text is
// exactly that of a flat output folder.
ConversionSettings EntrySettings(const ConversionSettings& settings, const QString& addedFolder,
                                 const QString& sourcePath,
                                 const PathStyle& style = PathStyle::native());
