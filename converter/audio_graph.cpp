#include "converter/audio_graph.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
}

#include <cstdio>

namespace {

std::string layoutName(const AVChannelLayout& layout)
{
    char name[128];
    if (av_channel_layout_describe(&layout, name, sizeof name) < 0)
        return {};
    return name;
}

std::string number(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

} // namespace

AudioGraph::~AudioGraph()
{
    avfilter_graph_free(&m_graph);
}

int AudioGraph::open(const AVCodecContext& decoder, std::optional<double> start,
                     std::optional<double> length, const Shape& shape, const std::string& filters)
{
    m_graph = avfilter_graph_alloc();
    if (m_graph == nullptr)
        return AVERROR(ENOMEM);
    m_graph->nb_threads = 1;

    AVChannelLayout layout{};
    if (decoder.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&layout, decoder.ch_layout.nb_channels);
    else
        av_channel_layout_copy(&layout, &decoder.ch_layout);
    const std::string sourceArguments =
        "time_base=1/" + std::to_string(decoder.sample_rate) +
        ":sample_rate=" + std::to_string(decoder.sample_rate) +
        ":sample_fmt=" + av_get_sample_fmt_name(decoder.sample_fmt) +
        ":channel_layout=" + layoutName(layout);
    av_channel_layout_uninit(&layout);
    int error = avfilter_graph_create_filter(&m_source, avfilter_get_by_name("abuffer"), "in",
                                             sourceArguments.c_str(), nullptr, m_graph);
    if (error < 0)
        return error;
    if ((error = avfilter_graph_create_filter(&m_sink, avfilter_get_by_name("abuffersink"), "out",
                                              nullptr, nullptr, m_graph)) < 0)
        return error;

    std::string chain;
    if (start || length) {
        chain = "atrim=";
        if (start)
            chain += "start=" + number(*start);
        if (length)
            chain += std::string(start ? ":" : "") + "duration=" + number(*length);
        chain += ",asetpts=PTS-STARTPTS,";
    }
    if (!filters.empty())
        chain += filters + ',';
    std::string format;
    for (const auto& [key, value] :
         {std::pair<const char*, const std::string&>{"sample_fmts", shape.sampleFormats},
          {"sample_rates", shape.rates},
          {"channel_layouts", shape.layouts}}) {
        if (!value.empty())
            format += (format.empty() ? "" : ":") + std::string(key) + '=' + value;
    }
    chain += format.empty() ? std::string("anull") : "aformat=" + format;

    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    outputs->name = av_strdup("in");
    outputs->filter_ctx = m_source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = m_sink;
    error = avfilter_graph_parse_ptr(m_graph, chain.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (error < 0 || (error = avfilter_graph_config(m_graph, nullptr)) < 0)
        return error;
    return 0;
}

int AudioGraph::push(AVFrame* frame)
{
    return av_buffersrc_add_frame_flags(m_source, frame, AV_BUFFERSRC_FLAG_PUSH);
}

int AudioGraph::pull(AVFrame* frame)
{
    return av_buffersink_get_frame(m_sink, frame);
}

AVSampleFormat AudioGraph::format() const
{
    return static_cast<AVSampleFormat>(av_buffersink_get_format(m_sink));
}

int AudioGraph::rate() const
{
    return av_buffersink_get_sample_rate(m_sink);
}

int AudioGraph::layout(AVChannelLayout* layout) const
{
    return av_buffersink_get_ch_layout(m_sink, layout);
}

AVRational AudioGraph::timeBase() const
{
    return av_buffersink_get_time_base(m_sink);
}

void AudioGraph::setFrameSize(int samples)
{
    av_buffersink_set_frame_size(m_sink, static_cast<unsigned>(samples));
}

AudioGraph::Shape encoderShape(const AVCodec& encoder, int rate, int channels)
{
    AudioGraph::Shape shape;
    const auto add = [](std::string& list, const std::string& item) {
        if (!item.empty())
            list += (list.empty() ? "" : "|") + item;
    };
    if (encoder.sample_fmts != nullptr) {
        for (const AVSampleFormat* format = encoder.sample_fmts; *format != AV_SAMPLE_FMT_NONE;
             ++format)
            add(shape.sampleFormats, av_get_sample_fmt_name(*format));
    }
    if (rate > 0) {
        shape.rates = std::to_string(rate);
    } else if (encoder.supported_samplerates != nullptr) {
        for (const int* each = encoder.supported_samplerates; *each != 0; ++each)
            add(shape.rates, std::to_string(*each));
    }
    if (channels > 0) {
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, channels);
        shape.layouts = layoutName(layout);
        av_channel_layout_uninit(&layout);
    } else if (encoder.ch_layouts != nullptr) {
        for (const AVChannelLayout* each = encoder.ch_layouts; each->nb_channels != 0; ++each)
            add(shape.layouts, layoutName(*each));
    }
    return shape;
}
