#pragma once

#include <optional>

struct AVCodec;
struct FfmpegLibraries;

// A sample rate and channel count for an encoder.
struct AudioShape
{
    int rate = 0;
    int channels = 0;
};

// The shape the encoder takes for a source of the given shape, found by opening the encoder the
// way ffmpeg will: the source's own shape when the encoder takes it; otherwise, for what the
// command line leaves free, the most channels it takes up to the source's, and the supported rate
// nearest to the source's (the higher of two equally near). Nothing when no shape is found.
std::optional<AudioShape> fitToEncoder(const FfmpegLibraries& av, const AVCodec& encoder,
                                       AudioShape source, bool rateFree, bool channelsFree,
                                       long bitsPerSecond);
