#pragma once

#include "converter/loudness_meter.h"

#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

// Hands frames of audio, as the FFmpeg libraries hold them, to a loudness meter: any sample format,
// planar or packed, as interleaved float (packed float goes through without a copy), with every
// channel weighed by its place in the frame's channel layout.
class FrameLoudness
{
public:
    explicit FrameLoudness(LoudnessMeter& meter) : m_meter(meter) {}

    // False, with the meter's error() saying why, when the meter cannot take the frame.
    bool take(const AVFrame& frame);

private:
    LoudnessMeter& m_meter;
    std::vector<float> m_interleaved;
    bool m_placed = false;
};

// How a channel at this place counts in the loudness, as libebur128 names it: an LFE channel not
// at all, the surround, side and back channels 1.41 times, every other channel once, as the
// ebur128 filter of the FFmpeg libraries weighs them.
int loudnessPlace(AVChannel channel);
