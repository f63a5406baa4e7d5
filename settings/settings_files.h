#pragma once

#include "settings/settings_types.h"

#include <QString>

// setup.ini and options.ini in the settings folder (the program folder, or the user's configuration
// folder where the program folder cannot be written). Reads keep the current value of every field
// that is absent or unusable; each call tells whether the file was read or written at all.
bool ReadSetupFile(const QString& folder, SetupSettings& setup);
bool WriteSetupFile(const QString& folder, const SetupSettings& setup);
bool ReadOptionsFile(const QString& folder, OptionsSettings& options);
bool WriteOptionsFile(const QString& folder, const OptionsSettings& options);

// setup.ini keeps the output folder between double quotes, so a folder whose name holds one would
// come back cut short at the next start, and a later batch would fill another folder. Such a
// folder is refused where it is chosen or typed.
bool SetupFileCanHoldFolder(const QString& folder);
// Why such a folder is refused.
QString FolderWithQuoteMessage(const QString& folder);
