#include "platform/settings_platform.h"

QString DefaultOutputFolder()
{
    return QStringLiteral("C:\\output");
}

// The system's ANSI code page, as the files have always been written on Windows.
QStringConverter::Encoding SettingsTextEncoding()
{
    return QStringConverter::System;
}
