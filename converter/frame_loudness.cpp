#include "converter/frame_loudness.h"

extern "C" {
#include <libavutil/samplefmt.h>
}

#include <cstdint>
#include <string>

namespace {

// The frame's samples interleaved into `out`, scaled to [-1, 1].
template <typename Sample>
void interleave(const AVFrame& frame, bool planar, float bias, float scale, float* out)
{
    const std::size_t channels = static_cast<std::size_t>(frame.ch_layout.nb_channels);
    const std::size_t frames = static_cast<std::size_t>(frame.nb_samples);
    const auto plane = [&](std::size_t channel) {
        return reinterpret_cast<const Sample*>(frame.extended_data[channel]);
    };
    if (!planar) {
        const Sample* in = plane(0);
        for (std::size_t i = 0; i < frames * channels; ++i)
            out[i] = (static_cast<float>(in[i]) - bias) * scale;
    } else if (channels == 2) {
        // Stereo on its own, where the compiler can interleave in vector registers.
        const Sample* left = plane(0);
        const Sample* right = plane(1);
        for (std::size_t i = 0; i < frames; ++i) {
            out[2 * i] = (static_cast<float>(left[i]) - bias) * scale;
            out[2 * i + 1] = (static_cast<float>(right[i]) - bias) * scale;
        }
    } else {
        for (std::size_t channel = 0; channel < channels; ++channel) {
            const Sample* in = plane(channel);
            for (std::size_t i = 0; i < frames; ++i)
                out[i * channels + channel] = (static_cast<float>(in[i]) - bias) * scale;
        }
    }
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
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_FLT:
        interleave<float>(frame, planar, 0, 1, out);
        break;
    case AV_SAMPLE_FMT_DBL:
        interleave<double>(frame, planar, 0, 1, out);
        break;
    case AV_SAMPLE_FMT_S16:
        interleave<std::int16_t>(frame, planar, 0, 1.0f / 32768, out);
        break;
    case AV_SAMPLE_FMT_S32:
        interleave<std::int32_t>(frame, planar, 0, 1.0f / 2147483648.0f, out);
        break;
    case AV_SAMPLE_FMT_S64:
        interleave<std::int64_t>(frame, planar, 0, 1.0f / 9223372036854775808.0f, out);
        break;
    case AV_SAMPLE_FMT_U8:
        interleave<std::uint8_t>(frame, planar, 128, 1.0f / 128, out);
        break;
    default: {
        const char* name = av_get_sample_fmt_name(format);
        m_meter.fail("cannot measure audio in the sample format '" +
                     std::string(name != nullptr ? name : "none") + "'");
        return false;
    }
    }
    return m_meter.consumeFloat(m_interleaved.data(), frames, channels, frame.sample_rate);
}
