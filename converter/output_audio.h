#pragma once

#include "converter/output_check.h"

#include <string>

// The pieces of the output check that both ways of decoding share.

// What the output holds, as far as the comparison needs it.
struct OutputAudio
{
    bool read = false;     // the libraries could read it
    bool lossless = false; // FLAC, ALAC or plain PCM: the source's samples are expected back
    int sampleRate = 0;
    int channels = 0;
    std::string sampleFormat; // what the source is brought to: "s16" or "s32"
    std::string pcmCodec;     // how both decodes are hashed: "pcm_s16le", "pcm_s24le", "pcm_s32le"
};

OutputAudio readOutputAudio(const std::string& path);

// A full decode as the comparison sees it: the MD5 of its PCM and its length.
struct DecodedSum
{
    std::string md5;
    double seconds = -1;
};

// The verdict on an output decoded to its end, against its source decoded the same way: equal
// samples where they are compared, otherwise lengths that agree within the encoders' padding.
CheckResult compareDecodes(const DecodedSum& output, const DecodedSum& source, bool compareSamples);

// A failure in the check's words: "verify failed: " and why.
CheckResult checkFailed(const std::string& why);
