#pragma once

#include <QString>
#include <QStringList>

#include <array>

// The nine output formats in picker order, and the texts of the other pickers. The indexes kept
// in setup.ini point into these lists; the command line carries the picker texts unchanged.
struct OutputFormat
{
    const char* listText;
    const char* extension;
};

inline constexpr std::array<OutputFormat, 9> FormatTable{{
    {"MP3", ".mp3"},
    {"WMA", ".wma"},
    {"OGG", ".ogg"},
    {"WAV", ".wav"},
    {"FLAC", ".flac"},
    {"AC3", ".ac3"},
    {"AAC", ".aac"},
    {"AMR", ".amr"},
    {"MPG", ".mpg"},
}};

enum FormatIndex { Mp3 = 0, Wma, Ogg, Wav, Flac, Ac3, Aac, Amr, Mpg };

QStringList FormatItems();
QStringList BitrateItems();
QStringList RateItems();
QStringList ChannelItems();
