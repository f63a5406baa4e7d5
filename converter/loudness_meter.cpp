#include "converter/loudness_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

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
    int mode = EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK;
    if (m_wantTruePeak)
        mode |= EBUR128_MODE_TRUE_PEAK;
    m_state = ebur128_init(static_cast<unsigned>(m_channels), static_cast<unsigned long>(m_rate),
                           mode);
    if (m_state == nullptr) {
        m_error = "cannot measure audio of this shape";
        return false;
    }
    m_step = (static_cast<std::size_t>(m_rate) + 5) / 10;
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

bool LoudnessMeter::feed(const float* frames, std::size_t count)
{
    if (ebur128_add_frames_float(m_state, frames, count) != EBUR128_SUCCESS) {
        m_error = "cannot measure the audio";
        return false;
    }
    if (count != m_step)
        return true;
    // libebur128 gates its first block after four steps and one more after every step.
    if (++m_steps >= 4) {
        double block = 0;
        if (ebur128_loudness_momentary(m_state, &block) == EBUR128_SUCCESS)
            countBlock(m_blocks, block);
    }
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
    return feedPending();
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
    m_pending.append(reinterpret_cast<const char*>(samples),
                     frames * static_cast<std::size_t>(channels) * sizeof(float));
    return feedPending();
}

bool LoudnessMeter::feedPending()
{
    const std::size_t stepBytes = m_step * static_cast<std::size_t>(m_channels) * sizeof(float);
    std::size_t used = 0;
    // The steps are copied out: the pending bytes need not be aligned for floats.
    std::vector<float> step(m_step * static_cast<std::size_t>(m_channels));
    while (m_pending.size() - used >= stepBytes) {
        std::memcpy(step.data(), m_pending.data() + used, stepBytes);
        if (!feed(step.data(), m_step))
            return false;
        used += stepBytes;
    }
    m_pending.erase(0, used);
    return true;
}

bool LoudnessMeter::finish()
{
    if (!m_error.empty())
        return false;
    if (!m_inData) {
        m_error = "the measured stream held no audio";
        return false;
    }
    const std::size_t frameBytes = static_cast<std::size_t>(m_channels) * sizeof(float);
    const std::size_t frames = m_pending.size() / frameBytes;
    if (frames > 0) {
        std::vector<float> rest(frames * static_cast<std::size_t>(m_channels));
        std::memcpy(rest.data(), m_pending.data(), frames * frameBytes);
        if (!feed(rest.data(), frames))
            return false;
    }
    m_pending.clear();
    ebur128_loudness_global(m_state, &m_integrated);
    m_samplePeak = 0;
    m_truePeak = 0;
    for (int channel = 0; channel < m_channels; ++channel) {
        double peak = 0;
        if (ebur128_sample_peak(m_state, static_cast<unsigned>(channel), &peak) == EBUR128_SUCCESS)
            m_samplePeak = std::max(m_samplePeak, peak);
        if (m_wantTruePeak &&
            ebur128_true_peak(m_state, static_cast<unsigned>(channel), &peak) == EBUR128_SUCCESS)
            m_truePeak = std::max(m_truePeak, peak);
    }
    return true;
}
