#include "platform/settings_platform.h"

#include <QDir>

QString DefaultOutputFolder()
{
    return QDir::homePath() + QStringLiteral("/output");
}

// File names on Linux are UTF-8, so the settings files are too: every output folder the user can
// pick is stored and read back unchanged.
QStringConverter::Encoding SettingsTextEncoding()
{
    return QStringConverter::Utf8;
}
