#pragma once

#include <optional>
#include <string>
#include <vector>

// The audio encoder ffmpeg picks for an output and the sample rates it accepts (empty: any rate).
struct EncoderRates
{
    std::string encoder;
    std::vector<int> rates;
};

// What ffmpeg will choose: the named codec, or else the default audio codec of the container that
// the format name or the output file's extension selects. The answer comes from the FFmpeg
// libraries the system's ffmpeg uses and is remembered in the user's cache folder, keyed by the
// identity of that ffmpeg, so only the first conversion of a kind pays for loading the libraries.
std::optional<EncoderRates> lookUpEncoderRates(const std::string& ffmpegPath,
                                               const std::string& codecName,
                                               const std::string& formatName,
                                               const std::string& outputPath);
