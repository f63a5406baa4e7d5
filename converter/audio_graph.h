#pragma once

#include <optional>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
}

// The filter graph between the decoder and the encoder: the cut (atrim, with timestamps starting
// again at zero), then any further filters the job asks for (the loudness gain), then the sample format, rate and channel layout the encoder takes, which
// libavfilter reaches by inserting its resampler as ffmpeg's own graphs do. Frames come out in the
// encoder's frame size where the encoder needs a fixed one.
class AudioGraph
{
public:
    struct Shape
    {
        std::string sampleFormats; // "s16|s16p"; empty: any
        std::string rates;         // "44100" or "8000|16000"; empty: any
        std::string layouts;       // "stereo|mono"; empty: any
    };

    AudioGraph() = default;
    ~AudioGraph();
    AudioGraph(const AudioGraph&) = delete;
    AudioGraph& operator=(const AudioGraph&) = delete;

    // Builds the graph for the decoder's output; the error code, 0 on success. `filters` is a
    // libavfilter chain run after the cut ("volume=-3.20dB"); empty for none.
    int open(const AVCodecContext& decoder, std::optional<double> start,
             std::optional<double> length, const Shape& shape, const std::string& filters = {});

    // Feeds a decoded frame (nullptr: the end); the error code.
    int push(AVFrame* frame);
    // Takes the next frame out: 0, AVERROR(EAGAIN) when more input is needed, AVERROR_EOF at the
    // end.
    int pull(AVFrame* frame);

    AVSampleFormat format() const;
    int rate() const;
    int layout(AVChannelLayout* layout) const;
    AVRational timeBase() const;
    // Makes every frame but the last hold this many samples (for an encoder with fixed frames).
    void setFrameSize(int samples);

private:
    AVFilterGraph* m_graph = nullptr;
    AVFilterContext* m_source = nullptr;
    AVFilterContext* m_sink = nullptr;
};

// The encoder's accepted sample formats, rates and layouts as AudioGraph takes them; a rate or
// channel count that is given replaces the encoder's list.
AudioGraph::Shape encoderShape(const AVCodec& encoder, int rate, int channels);
