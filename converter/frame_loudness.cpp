#include "converter/frame_loudness.h"

extern "C" {
#include <libavutil/samplefmt.h>
}

#include <cstdint>
#include <string>

namespace {

// One channel of the frame into every `channels`-th float of `out`, scaled to [-1, 1].
template <typename Sample>
void interleave(const AVFrame& frame, int channel, bool planar, float bias, float scale,
                float* out)
{
    const int channels = frame.ch_layout.nb_channels;
    const auto* in = reinterpret_cast<const Sample*>(planar ? frame.extended_data[channel]
                                                            : frame.extended_data[0]) +
                     (planar ? 0 : channel);
    const std::size_t stride = planar ? 1 : static_cast<std::size_t>(channels);
    out += channel;
    for (int i = 0; i < frame.nb_samples; ++i, in += stride, out += channels)
        *out = (static_cast<float>(*in) - bias) * scale;
}

} // namespace

int loudnessPlace(AVChannel channel)
{
    switch (channel) {
    case AV_CHAN_LOW_FREQUENCY:
    case AV_CHAN_LOW_FREQUENCY_2:
        return EBUR128_UNUSED;
    case AV_CHAN_FRONT_LEFT:
        return EBUR128_LEFT;
    case AV_CHAN_FRONT_RIGHT:
        return EBUR128_RIGHT;
    case AV_CHAN_BACK_LEFT:
    case AV_CHAN_SIDE_LEFT:
    case AV_CHAN_TOP_BACK_LEFT:
    case AV_CHAN_SURROUND_DIRECT_LEFT:
    case AV_CHAN_BACK_CENTER:
    case AV_CHAN_TOP_BACK_CENTER:
        return EBUR128_LEFT_SURROUND;
    case AV_CHAN_BACK_RIGHT:
    case AV_CHAN_SIDE_RIGHT:
    case AV_CHAN_TOP_BACK_RIGHT:
    case AV_CHAN_SURROUND_DIRECT_RIGHT:
        return EBUR128_RIGHT_SURROUND;
    default:
        return EBUR128_CENTER;
    }
}

bool FrameLoudness::take(const AVFrame& frame)
{
    const int channels = frame.ch_layout.nb_channels;
    if (frame.nb_samples <= 0 || channels < 1)
        return true;
    if (!m_placed) {
        // Places only a layout that names its channels; without one libebur128's order holds.
        if (frame.ch_layout.order != AV_CHANNEL_ORDER_UNSPEC) {
            std::vector<int> places;
            for (int i = 0; i < channels; ++i)
                places.push_back(
                    loudnessPlace(av_channel_layout_channel_from_index(&frame.ch_layout, i)));
            m_meter.setChannelPlaces(std::move(places));
        }
        m_placed = true;
    }
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const std::size_t frames = static_cast<std::size_t>(frame.nb_samples);
    if (format == AV_SAMPLE_FMT_FLT)
        return m_meter.consumeFloat(reinterpret_cast<const float*>(frame.extended_data[0]), frames,
                                    channels, frame.sample_rate);
    m_interleaved.resize(frames * static_cast<std::size_t>(channels));
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    float* out = m_interleaved.data();
    for (int channel = 0; channel < channels; ++channel) {
        switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_FLT:
            interleave<float>(frame, channel, planar, 0, 1, out);
            break;
        case AV_SAMPLE_FMT_DBL:
            interleave<double>(frame, channel, planar, 0, 1, out);
            break;
        case AV_SAMPLE_FMT_S16:
            interleave<std::int16_t>(frame, channel, planar, 0, 1.0f / 32768, out);
            break;
        case AV_SAMPLE_FMT_S32:
            interleave<std::int32_t>(frame, channel, planar, 0, 1.0f / 2147483648.0f, out);
            break;
        case AV_SAMPLE_FMT_S64:
            interleave<std::int64_t>(frame, channel, planar, 0, 1.0f / 9223372036854775808.0f,
                                     out);
            break;
        case AV_SAMPLE_FMT_U8:
            interleave<std::uint8_t>(frame, channel, planar, 128, 1.0f / 128, out);
            break;
        default:
            m_meter.fail("cannot measure audio in the sample format '" +
                         std::string(av_get_sample_fmt_name(format) ? av_get_sample_fmt_name(format)
                                                                   : "none") +
                         "'");
            return false;
        }
    }
    return m_meter.consumeFloat(m_interleaved.data(), frames, channels, frame.sample_rate);
}
