#pragma once

#include "converter/audio_graph.h"
#include "converter/job.h"
#include "converter/pipeline.h"

#include <functional>

// The pipeline's read and decode with no encoder and no container behind them: the job's audio
// stream is decoded, cut and filtered as its conversion would be (the start, the length, the extra
// filters), brought to `shape` and handed over frame by frame. Nothing is printed but errors: no
// "Duration: " and no progress. conv measures a source and checks a finished output this way,
// with the same decoding as the conversion itself.
struct DecodeRoute
{
    AudioGraph::Shape shape; // packed sample formats only ("flt", "s16", "s32")
    // Takes each frame, its samples interleaved in data[0]; false stops the decode.
    std::function<bool(const AVFrame& frame)> take;
    // A damaged packet or a failed read ends the decode as a failure instead of being passed over,
    // and checksums are checked where the format has them.
    bool strict = false;
};

// Runs the decode. Audio that gives no samples at all (a cut past the end) is no failure here:
// `gaveAudio` tells. The job's output, its copy switch and its encoding switches are not used.
PipelineResult decodeAudio(const Job& job, const StopCheck& stop, const DecodeRoute& route);
