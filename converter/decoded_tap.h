#pragma once

#include "converter/audio_graph.h"
#include "converter/pipeline.h"

#include <optional>

// A branch beside the conversion's own graph: every decoded frame, cut as the output is cut, turned
// to interleaved float and handed on unchanged in rate and channels.
class DecodedTap
{
public:
    DecodedTap() = default;
    ~DecodedTap();
    DecodedTap(const DecodedTap&) = delete;
    DecodedTap& operator=(const DecodedTap&) = delete;

    // The error code, 0 on success.
    int open(const AVCodecContext& decoder, std::optional<double> start,
             std::optional<double> length, DecodedAudio take);
    bool active() const { return static_cast<bool>(m_take); }
    // A decoded frame, left as it is (nullptr: the end); the error code, or 1 when the taker
    // stopped the conversion.
    int push(const AVFrame* frame);

private:
    AudioGraph m_graph;
    DecodedAudio m_take;
    AVFrame* m_in = nullptr;
    AVFrame* m_out = nullptr;
};
