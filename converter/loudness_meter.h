#pragma once

#include "converter/gated_loudness.h"

#include <cstddef>
#include <string>

#include <ebur128.h>

// Measures the 32-bit float WAV stream ffmpeg writes to a pipe, or float audio given directly, with
// libebur128: the integrated
// loudness, the sample peak, optionally the true peak, and the loudness of every 400 ms gating
// block. The audio is fed in steps of exactly 100 ms, so that after each step the momentary
// loudness is the block libebur128 has just gated on.
class LoudnessMeter
{
public:
    explicit LoudnessMeter(bool truePeak);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // False, with error() saying why, when the stream is not what ffmpeg was asked for.
    bool consume(const char* data, std::size_t size);
    // Interleaved float audio given directly instead of a WAV stream, in any number of frames;
    // false, with error() saying why, when its shape changes midway.
    bool consumeFloat(const float* samples, std::size_t frames, int channels, int rate);
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
    bool feedPending();
    bool feed(const float* frames, std::size_t count);

    bool m_wantTruePeak;
    ebur128_state* m_state = nullptr;
    std::string m_pending; // header bytes, or audio bytes short of a 100 ms step
    bool m_inData = false;
    int m_channels = 0;
    int m_rate = 0;
    std::size_t m_step = 0;  // frames in 100 ms, as libebur128 counts them
    std::size_t m_steps = 0; // whole steps fed
    double m_integrated = 0;
    double m_samplePeak = 0;
    double m_truePeak = 0;
    BlockHistogram m_blocks;
    std::string m_error;
};
