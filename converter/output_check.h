#pragma once

#include "converter/arguments.h"
#include "converter/job.h"
#include "converter/pipeline.h"

#include <string>

class ChildProcess;

// The check of a finished output before it is put in place, asked for with conv's own leading
// switch "-verify" (which ffmpeg never sees): the output is decoded from start to end and its
// length compared with the source's, decoded the way the conversion read it (the same start,
// length and filters). For a lossless output (FLAC, ALAC, PCM in WAV) the decoded samples must
// also be those of the source brought to the output's sample format, rate and channels by the
// same route: the two decodes' MD5 sums must be equal. With the audio levelled ("-loudness
// apply") the samples differ by design, so only the length and the full decode are checked.

struct CheckRequest
{
    bool verify = false;       // "-verify" was given
    bool compareSamples = true; // false where the conversion changes the audio on purpose
};

// Takes conv's own switches from the front of the arguments: "-verify" is removed; a
// "-loudness apply" found among them is left for its own reader and only noted here.
CheckRequest takeCheckSwitch(Arguments& arguments);

struct CheckResult
{
    std::string failure; // why the output is refused, in plain words; "" when it passed
    int stopSignal = 0;  // conv was asked to stop while checking
};

// Checks the unfinished output `written` with both decodes done in this process; `job` is the
// conversion as it ran (its source, audio stream, cut and filters). A stop request ends it.
CheckResult checkOutputInProcess(const Job& job, const std::string& written,
                                 const CheckRequest& request, const StopCheck& stop);

// The same with ffmpeg doing the decodes (conv's "--ffmpeg" path). `arguments` are those ffmpeg
// converted with (the
// source is the last "-i", the output the last argument). The lines ffmpeg prints about a damaged
// output go to conv's stderr; the result says what failed.
CheckResult checkOutput(ChildProcess& process, const std::string& ffmpeg,
                        const Arguments& arguments, const std::string& written,
                        const CheckRequest& request);
