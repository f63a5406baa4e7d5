#include "converter/decoded_tap.h"

DecodedTap::~DecodedTap()
{
    av_frame_free(&m_in);
    av_frame_free(&m_out);
}

int DecodedTap::open(const AVCodecContext& decoder, std::optional<double> start,
                     std::optional<double> length, DecodedAudio take)
{
    m_in = av_frame_alloc();
    m_out = av_frame_alloc();
    if (m_in == nullptr || m_out == nullptr)
        return AVERROR(ENOMEM);
    // Packed float only: the rate and the channels stay the source's.
    if (const int error = m_graph.open(decoder, start, length, {"flt", "", ""}); error < 0)
        return error;
    m_take = std::move(take);
    return 0;
}

int DecodedTap::push(const AVFrame* frame)
{
    int error = 0;
    if (frame != nullptr) {
        // The graph takes over what it is given; the conversion still needs the frame.
        if ((error = av_frame_ref(m_in, frame)) < 0)
            return error;
        error = m_graph.push(m_in);
        av_frame_unref(m_in);
    } else {
        error = m_graph.push(nullptr);
    }
    if (error < 0)
        return error;
    while ((error = m_graph.pull(m_out)) >= 0) {
        const bool ok =
            m_out->nb_samples <= 0 ||
            m_take(reinterpret_cast<const float*>(m_out->data[0]),
                   static_cast<std::size_t>(m_out->nb_samples), m_out->ch_layout.nb_channels,
                   m_out->sample_rate);
        av_frame_unref(m_out);
        if (!ok)
            return 1;
    }
    return error == AVERROR(EAGAIN) || error == AVERROR_EOF ? 0 : error;
}
