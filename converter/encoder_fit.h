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

// Whether the encoder opens for this rate and channel count (and bitrate, when not 0).
bool encoderTakes(const FfmpegLibraries& av, const AVCodec& encoder, int rate, int channels,
                  long bitsPerSecond);

// Whether it opens, in stereo, at every usual rate up to 384000 Hz.
bool takesEveryUsualRate(const FfmpegLibraries& av, const AVCodec& encoder);

// A channel count beyond any real source's: an encoder that takes it takes every source's.
constexpr int ManyChannels = 32;
