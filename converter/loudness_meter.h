#pragma once

#include "converter/gated_loudness.h"

#include <cstddef>
#include <string>
#include <vector>

#include <ebur128.h>

// Measures float audio, given directly or as the 32-bit float WAV stream ffmpeg writes to a pipe:
// the integrated loudness, the sample peak, optionally the true peak, and the loudness of every
// 400 ms gating block. libebur128 does the K-weighting; the meter reads one energy from it per
// 100 ms step and builds the gating blocks itself, each the mean of four consecutive steps (75 %
// overlap), so that a track's integrated loudness comes from the same gating an album's does.
class LoudnessMeter
{
public:
    explicit LoudnessMeter(bool truePeak);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // How each channel counts, as libebur128 names the places (EBUR128_LEFT, EBUR128_UNUSED for an
    // LFE channel, EBUR128_LEFT_SURROUND for a channel weighed 1.41, ...); given before the first
    // audio. Without it libebur128's own order holds: L, R, C, LFE, Ls, Rs.
    void setChannelPlaces(std::vector<int> places) { m_places = std::move(places); }
    // False, with error() saying why, when the stream is not what ffmpeg was asked for.
    bool consume(const char* data, std::size_t size);
    // Interleaved float audio given directly instead of a WAV stream, in any number of frames;
    // false, with error() saying why, when its shape changes midway.
    bool consumeFloat(const float* samples, std::size_t frames, int channels, int rate);
    // Marks the measurement failed for the reason given, as when the audio cannot be read.
    void fail(std::string why)
    {
        if (m_error.empty())
            m_error = std::move(why);
    }
    // Measures what is left of the stream; false when it never held audio.
    bool finish();

    const std::string& error() const { return m_error; }
    int sampleRate() const { return m_rate; }
    double integrated() const { return m_integrated; } // LUFS; minus infinity for silence
    double samplePeak() const { return m_samplePeak; } // linear
    double truePeak() const { return m_truePeak; }     // linear
    LoudnessReport report() const { return {m_samplePeak, m_blocks}; }

private:
    bool readHeader();
    bool start(int channels, int rate);
    bool feedWholeFrames();
    bool feed(const float* samples, std::size_t frames);
    bool endStep();

    bool m_wantTruePeak;
    ebur128_state* m_state = nullptr;
    std::vector<int> m_places;
    std::string m_pending;    // WAV header bytes, or WAV audio bytes short of a whole frame
    std::vector<float> m_wav; // whole frames of the WAV stream, aligned for libebur128
    bool m_inData = false;
    int m_channels = 0;
    int m_rate = 0;
    std::size_t m_step = 0;      // frames in 100 ms, as libebur128 counts them
    std::size_t m_inStep = 0;    // frames of the current step fed so far
    std::size_t m_steps = 0;     // whole steps fed
    double m_stepEnergy[4] = {}; // the last four steps' mean energies, the gating block's parts
    float m_peak = 0;
    double m_integrated = 0;
    double m_samplePeak = 0;
    double m_truePeak = 0;
    BlockHistogram m_blocks;
    std::string m_error;
};
