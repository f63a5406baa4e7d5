#pragma once

#include "engine/conversion_settings.h"

#include <QString>
#include <QStringList>

// How paths are written: the Windows form ("\" and data\conv.exe) or the form of the platform the
// program runs on. The builder is the same for both, so the Windows texts stay tested on Linux.
struct PathStyle
{
    QChar separator;
    QString converterRelativePath; // the converter below the program folder

    static PathStyle windows();
    static PathStyle native();
};

// The converter process exactly as it is started: its path and its arguments, without the quotes
// of the command text. Starting from this vector means no file name is ever re-parsed as switches.
struct ConverterInvocation
{
    QString program;
    QStringList arguments;
    QString outputPath;

    bool isEmpty() const { return program.isEmpty(); }
};

// The converter command text for one source, as shown and recorded; empty for an unknown format.
QString BuildCommandLine(const QString& applicationFolder, const QString& sourcePath,
                         const ConversionSettings& settings,
                         const PathStyle& style = PathStyle::native());

// The same command as an argument vector; empty for an unknown format.
ConverterInvocation BuildConverterInvocation(const QString& applicationFolder,
                                             const QString& sourcePath,
                                             const ConversionSettings& settings,
                                             const PathStyle& style = PathStyle::native());
