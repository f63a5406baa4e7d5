#pragma once

#include "converter/arguments.h"
#include "converter/child_result.h"
#include "converter/pipeline.h"

#include <memory>
#include <string>

struct AVFormatContext;
struct AVIOInterruptCB;

// conv's conversion without ffmpeg: the job read from the (fitted) arguments runs through the
// pipeline in this process, into the unfinished file `written`; an AMR output goes through the
// AMR writer. The outcome is told as a child's would be, so the rest of conv treats both paths
// alike: a non-zero exit status once the cause is printed, or the stop signal.
struct InProcessRun
{
    ChildResult result;
    int writeError = 0;       // the AMR writer's errno
    bool emptyOutput = false; // nothing could be decoded into the output
    bool refused = false;     // the arguments are not a shape conv takes
};

// `filters` is a filter chain run on the audio after the cut (the loudness gain), empty for none;
// `encoded`, when given, takes the audio as it goes into the encoder as well. `opened`, when
// given, is the source already open (the fit's probe of it), read on instead of opening the file
// again.
InProcessRun convertInProcess(const Arguments& arguments, const std::string& written, bool amr,
                              const std::string& filters = {}, const EncoderAudio& encoded = {},
                              std::shared_ptr<AVFormatContext> opened = {});

// Converting in this process, conv takes the stop signals (SIGTERM, SIGINT, SIGHUP) by a handler
// from its start, so that a read or write waiting on a pipe or a slow disk returns at once (EINTR)
// and the work ends; inProcessStop() tells which came. Nothing is held or lost between the start
// and the conversion.
void takeStopsInProcess();
StopCheck inProcessStop();

// An interrupt callback for a source opened before the conversion starts: it ends a read that
// waits once a stop request has come.
const AVIOInterruptCB* stopInterrupt();

// Whether the arguments are a job conv converts in this process by decoding the audio (not one that
// copies its packets, nor one it refuses).
bool decodesInProcess(const Arguments& arguments);

// Whether conv converts in-process, as it does unless a leading "--ffmpeg" (taken off the
// arguments, like "--in-process") or TREVALON_CONV_IN_PROCESS=0 in the environment has it run the
// system's ffmpeg instead, as it did before.
bool takeInProcessChoice(Arguments& arguments);

// A stop request that came while, or since, a conversion ran in this process; 0 for none.
int stopRequestedInProcess();
