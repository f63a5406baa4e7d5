#pragma once

#include <optional>
#include <string>
#include <vector>

struct AVCodec;
struct FfmpegLibraries;

// The audio encoder ffmpeg picks for an output and the sample rates it declares (empty: none
// declared), and whether any source's rate or channel count suits it as it is: because the encoder
// declares what it takes and ffmpeg fits the source to that itself, or because it opens at every
// usual rate (channel count). Only an encoder for which this is not so needs to see the source.
struct EncoderRates
{
    std::string encoder;
    std::vector<int> rates;
    bool anyRate = false;
    bool anyChannels = false;
};

// What ffmpeg will choose: the named codec, or else the default audio codec of the container that
// the format name or the output file's extension selects. The answer comes from the FFmpeg
// libraries the system's ffmpeg uses and is remembered in the user's cache folder, keyed by the
// identity of that ffmpeg, so only the first conversion of a kind pays for loading the libraries.
std::optional<EncoderRates> lookUpEncoderRates(const std::string& ffmpegPath,
                                               const std::string& codecName,
                                               const std::string& formatName,
                                               const std::string& outputPath);

// The same choice made with the loaded libraries, uncached; nullptr when there is none.
const AVCodec* findOutputEncoder(const FfmpegLibraries& av, const std::string& codecName,
                                 const std::string& formatName, const std::string& outputPath);
