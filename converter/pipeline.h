#pragma once

#include "converter/job.h"

#include <cstddef>
#include <functional>
#include <string>

// The conversion done in this process with the FFmpeg libraries: read the source, decode its audio,
// cut and fit it to the encoder, encode and write it (or copy its packets, for a copy job). It
// prints the reports ffmpeg prints, which the program reads: "Duration: HH:MM:SS.xx" for the
// source and "time=HH:MM:SS.xx" lines while the output grows, and a failure's cause as its last
// line. Tags and the cover picture are copied the way ffmpeg copies them.

struct PipelineResult
{
    int status = 0;              // 0 when the output was written whole
    int stopSignal = 0;          // the stop request that ended the conversion early
    bool gaveAudio = false;      // any audio reached the output
    bool nothingDecoded = false; // the source was read to its end and gave the output no audio
};

// The stop signal received meanwhile, 0 for none; asked between packets.
using StopCheck = std::function<int()>;

// Takes 8000 Hz mono 16-bit PCM instead of an encoder and a container (for the AMR writer); false
// stops the conversion.
using PcmSink = std::function<bool(const char* data, std::size_t size)>;

struct AVFrame;

// Takes every frame of audio as it goes into the encoder (or into the PCM sink): cut, and in the
// rate, channels and sample format the conversion gives it; false stops the conversion.
using EncoderAudio = std::function<bool(const AVFrame& frame)>;

// Writes the job's output at `path` (the unfinished file), or feeds `pcm` when given; hands the
// audio it encodes to `encoded` as well when given.
PipelineResult runPipeline(const Job& job, const std::string& path, const StopCheck& stop,
                           const PcmSink& pcm, const EncoderAudio& encoded = {});
