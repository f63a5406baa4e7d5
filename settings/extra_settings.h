#pragma once

#include "settings/library_choices.h"
#include "settings/loudness_choice.h"

#include <QString>

#include <optional>

// The choices Trevalon offers beyond setup.ini and options.ini, kept in trevalon.ini (Qt's INI
// format) in the same settings folder. Every field has a default that keeps the program's classic
// behaviour, so a missing, unreadable or damaged file, or a value out of range, changes nothing.
struct ExtraSettings
{
    // How many files the window converts at once. Absent means "not chosen": the window then
    // converts one at a time and trevalon-batch uses every core.
    std::optional<int> filesAtOnce;
    // Rebuild an added folder's tree under the output folder instead of one flat folder.
    bool keepFolders = false;
    // Names from tags, existing outputs and stream copy.
    LibraryChoices library{};
    // Loudness tags or levelled audio for every output; off keeps the audio and tags as they come.
    LoudnessChoice loudness = LoudnessChoice::Off;

    bool operator==(const ExtraSettings&) const = default;
};

inline constexpr int MaxFilesAtOnce = 64;

// Reads trevalon.ini from the folder; any field absent or unusable keeps its default.
ExtraSettings ReadExtraSettings(const QString& folder);
// Writes trevalon.ini into the folder; false when the file could not be written.
bool WriteExtraSettings(const QString& folder, const ExtraSettings& settings);
