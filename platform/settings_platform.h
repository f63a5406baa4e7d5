#pragma once

#include <QString>
#include <QStringConverter>

// The output folder used when none has been chosen: "<home>/output" on Linux, "C:\output" on
// Windows. The settings reader falls back to it and the output folder box names it.
QString DefaultOutputFolder();

// The encoding of the text in setup.ini and options.ini.
QStringConverter::Encoding SettingsTextEncoding();
