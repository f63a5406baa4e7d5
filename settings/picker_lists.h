#pragma once

#include <QString>
#include <QStringList>

#include <array>

// The output formats in picker order, and the texts of the other pickers. The indexes kept in
// setup.ini point into these lists, so new items only ever go at the end; the command line carries
// the picker texts unchanged.
struct OutputFormat
{
    const char* listText;
    const char* extension;
};

inline constexpr std::array<OutputFormat, 12> FormatTable{{
    {"MP3", ".mp3"},
    {"WMA", ".wma"},
    {"OGG", ".ogg"},
    {"WAV", ".wav"},
    {"FLAC", ".flac"},
    {"AC3", ".ac3"},
    {"AAC", ".aac"},
    {"AMR", ".amr"},
    {"MPG", ".mpg"},
    {"OPUS", ".opus"},
    {"M4A", ".m4a"},
    {"ALAC", ".m4a"},
}};

enum FormatIndex { Mp3 = 0, Wma, Ogg, Wav, Flac, Ac3, Aac, Amr, Mpg, Opus, M4a, Alac };

// The bitrate picker's MP3 VBR presets, after "320".
enum BitrateIndex { BitrateV0 = 12, BitrateV2 = 13 };

QStringList FormatItems();
QStringList BitrateItems();
QStringList RateItems();
QStringList ChannelItems();
