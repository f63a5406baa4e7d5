#include "converter/loudness_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

std::uint32_t little32(const char* at)
{
    const auto* b = reinterpret_cast<const unsigned char*>(at);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::uint16_t little16(const char* at)
{
    const auto* b = reinterpret_cast<const unsigned char*>(at);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

// The largest magnitude among the samples, in eight independent lanes so that the compiler can
// keep them in one vector register.
float peakOf(const float* samples, std::size_t count)
{
    float lanes[8] = {};
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        for (int lane = 0; lane < 8; ++lane)
            lanes[lane] = std::max(lanes[lane], std::fabs(samples[i + lane]));
    }
    for (; i < count; ++i)
        lanes[0] = std::max(lanes[0], std::fabs(samples[i]));
    return *std::max_element(lanes, lanes + 8);
}

} // namespace

LoudnessMeter::LoudnessMeter(bool truePeak) : m_wantTruePeak(truePeak) {}

LoudnessMeter::~LoudnessMeter()
{
    if (m_state != nullptr)
        ebur128_destroy(&m_state);
}

bool LoudnessMeter::start(int channels, int rate)
{
    m_channels = channels;
    m_rate = rate;
    m_step = (static_cast<std::size_t>(m_rate) + 5) / 10;
    if (m_step == 0) {
        m_error = "cannot measure audio of " + std::to_string(rate) + " Hz";
        return false;
    }
    if (!m_places.empty() && m_places.size() != static_cast<std::size_t>(channels)) {
        m_error =
            "the channel places do not fit the audio's " + std::to_string(channels) + " channels";
        return false;
    }
    // Momentary mode only: the meter keeps the gating blocks itself, and the sample peak is its
    // own loop over the samples. The true peak needs libebur128's oversampling.
    const int mode = m_wantTruePeak ? EBUR128_MODE_TRUE_PEAK : EBUR128_MODE_M;
    m_state =
        ebur128_init(static_cast<unsigned>(m_channels), static_cast<unsigned long>(m_rate), mode);
    if (m_state == nullptr) {
        m_error = "cannot measure audio of this shape";
        return false;
    }
    for (std::size_t channel = 0; channel < m_places.size(); ++channel) {
        if (ebur128_set_channel(m_state, static_cast<unsigned>(channel), m_places[channel]) !=
            EBUR128_SUCCESS) {
            m_error = "cannot place channel " + std::to_string(channel + 1) + " for measuring";
            return false;
        }
    }
    return true;
}

bool LoudnessMeter::readHeader()
{
    // RIFF/WAVE, then chunks; ffmpeg may put a LIST chunk before "data", whose size it cannot know
    // on a pipe, so the audio runs to the end of the stream.
    if (m_pending.size() < 12)
        return true;
    if (m_pending.compare(0, 4, "RIFF") != 0 || m_pending.compare(8, 4, "WAVE") != 0) {
        m_error = "the measured stream is not WAV";
        return false;
    }
    std::size_t at = 12;
    while (m_pending.size() >= at + 8) {
        const std::string id = m_pending.substr(at, 4);
        const std::uint32_t size = little32(m_pending.data() + at + 4);
        if (id == "data") {
            if (m_state == nullptr) {
                m_error = "the measured stream has no format";
                return false;
            }
            m_pending.erase(0, at + 8);
            m_inData = true;
            return true;
        }
        const std::size_t padded = size + (size & 1u);
        if (m_pending.size() < at + 8 + padded)
            return true;
        if (id == "fmt ") {
            if (size < 16) {
                m_error = "the measured stream has a broken format";
                return false;
            }
            const char* fmt = m_pending.data() + at + 8;
            const std::uint16_t tag = little16(fmt);
            m_channels = little16(fmt + 2);
            m_rate = static_cast<int>(little32(fmt + 4));
            const std::uint16_t bits = little16(fmt + 14);
            if ((tag != 3 && tag != 0xFFFE) || bits != 32 || m_channels < 1 || m_rate < 1) {
                m_error = "the measured stream is not 32-bit float";
                return false;
            }
            if (!start(m_channels, m_rate))
                return false;
        }
        at += 8 + padded;
    }
    return true;
}

bool LoudnessMeter::feed(const float* samples, std::size_t frames)
{
    const std::size_t channels = static_cast<std::size_t>(m_channels);
    while (frames > 0) {
        // Up to the end of the current 100 ms step, so that each step can be read on its own.
        const std::size_t count = std::min(frames, m_step - m_inStep);
        if (ebur128_add_frames_float(m_state, samples, count) != EBUR128_SUCCESS) {
            m_error = "cannot measure the audio";
            return false;
        }
        m_peak = std::max(m_peak, peakOf(samples, count * channels));
        samples += count * channels;
        frames -= count;
        m_inStep += count;
        if (m_inStep == m_step && !endStep())
            return false;
    }
    return true;
}

bool LoudnessMeter::endStep()
{
    m_inStep = 0;
    double loudness = 0;
    if (ebur128_loudness_window(m_state, 100, &loudness) != EBUR128_SUCCESS) {
        m_error = "cannot read the loudness of the audio";
        return false;
    }
    m_stepEnergy[m_steps % 4] =
        std::isfinite(loudness) ? std::pow(10.0, (loudness + 0.691) / 10.0) : 0.0;
    if (++m_steps < 4)
        return true;
    const double block =
        (m_stepEnergy[0] + m_stepEnergy[1] + m_stepEnergy[2] + m_stepEnergy[3]) / 4.0;
    countBlock(m_blocks, block > 0 ? 10.0 * std::log10(block) - 0.691
                                   : -std::numeric_limits<double>::infinity());
    return true;
}

bool LoudnessMeter::consume(const char* data, std::size_t size)
{
    if (!m_error.empty())
        return false;
    m_pending.append(data, size);
    if (!m_inData && !readHeader())
        return false;
    if (!m_inData)
        return true;
    return feedWholeFrames();
}

bool LoudnessMeter::feedWholeFrames()
{
    // Copied out: the bytes of a pipe need not be aligned for floats.
    const std::size_t frameBytes = static_cast<std::size_t>(m_channels) * sizeof(float);
    const std::size_t frames = m_pending.size() / frameBytes;
    if (frames == 0)
        return true;
    m_wav.resize(frames * static_cast<std::size_t>(m_channels));
    std::memcpy(m_wav.data(), m_pending.data(), frames * frameBytes);
    m_pending.erase(0, frames * frameBytes);
    return feed(m_wav.data(), frames);
}

bool LoudnessMeter::consumeFloat(const float* samples, std::size_t frames, int channels, int rate)
{
    if (!m_error.empty())
        return false;
    if (m_state == nullptr) {
        if (channels < 1 || rate < 1 || !start(channels, rate)) {
            if (m_error.empty())
                m_error = "the measured audio has no channels or no rate";
            return false;
        }
        m_inData = true;
    } else if (channels != m_channels || rate != m_rate) {
        m_error = "the measured audio changed its channels or rate midway";
        return false;
    }
    return feed(samples, frames);
}

bool LoudnessMeter::finish()
{
    if (!m_error.empty())
        return false;
    if (!m_inData) {
        m_error = "the measured stream held no audio";
        return false;
    }
    // Bytes short of a whole frame at the end of a WAV stream are no audio.
    m_pending.clear();
    m_integrated = gatedLoudness(m_blocks);
    m_samplePeak = m_peak;
    m_truePeak = 0;
    for (int channel = 0; m_wantTruePeak && channel < m_channels; ++channel) {
        double peak = 0;
        if (ebur128_true_peak(m_state, static_cast<unsigned>(channel), &peak) == EBUR128_SUCCESS)
            m_truePeak = std::max(m_truePeak, peak);
    }
    return true;
}
