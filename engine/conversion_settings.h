#pragma once

#include "settings/library_choices.h"
#include "settings/loudness_choice.h"
#include "settings/settings_types.h"

#include <QString>

#include <cstdint>

// Everything that shapes one converter command line: the main window's pickers and output folder
// plus the options dialog's record. Read afresh for every list entry.
struct ConversionSettings
{
    std::int16_t formatIndex = 0;
    std::int16_t bitrateIndex = 7;
    std::int16_t rateIndex = 1;
    std::int16_t channelIndex = 1;
    QString outputFolder;

    std::int16_t soundIndex = 0;
    std::int16_t cutterOn = 0;
    std::int32_t cutStart = 0;
    std::int32_t cutLength = 0;
    std::int32_t cutStartFraction = 0;
    std::int32_t cutLengthFraction = 0;

    // Kept in trevalon.ini, not in the two classic files: rebuild an added folder's tree under the
    // output folder (see engine/kept_folders.h). from() leaves it off.
    bool keepFolders = false;
    // Also from trevalon.ini: names from tags, existing outputs, stream copy; all off.
    LibraryChoices library;
    // Set per entry when names from tags gave it one: the output's file name without extension,
    // in place of the source's.
    QString outputBaseName;
    // Kept in trevalon.ini too: the converter measures and tags, or levels, every output.
    LoudnessChoice loudness = LoudnessChoice::Off;

    static ConversionSettings from(const SetupSettings& setup, const OptionsSettings& options);
};
