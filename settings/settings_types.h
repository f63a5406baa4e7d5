#pragma once

#include <QString>

#include <cstdint>

// The main window's side of the user's choices, as setup.ini stores them: list positions of the
// pickers and the output folder text.
struct SetupSettings
{
    std::int16_t bitrateIndex = 7; // "128"
    std::int16_t rateIndex = 1;    // "44100"
    std::int16_t channelIndex = 1; // "Stereo"
    QString outputFolder;          // the platform's default output folder when empty
    std::int16_t formatIndex = 0;  // "MP3"
};

// The options dialog's choices, as options.ini stores them. One record for the whole run.
struct OptionsSettings
{
    std::int16_t soundIndex = 0; // 0 = "ON", 1 = "OFF"
    std::int16_t cutterOn = 0;   // 0 = off, anything else = on
    std::int32_t cutStart = 0;   // whole seconds
    std::int32_t cutLength = 0;  // whole seconds, counted from cutStart
    std::int32_t cutStartFraction = 0;
    std::int32_t cutLengthFraction = 0;

    bool operator==(const OptionsSettings&) const = default;
};
