#pragma once

#include <QString>

// The program's own folder under the system temp folder (never the shared temp folder itself),
// one per user, for the staged copies of sources.
QString ProgramTempFolder();

// Creates the folder if it is missing and checks that it is a real folder, not a symbolic link,
// that only the current user owns and can enter. Returns false with the reason otherwise, and
// when there is no usable temporary folder (TMPDIR not text, or no folder); the parent folder
// must already exist.
bool EnsurePrivateFolder(const QString& path, QString* error = nullptr);
