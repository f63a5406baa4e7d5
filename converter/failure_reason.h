#pragma once

#include "converter/arguments.h"
#include "converter/source_probe.h"

#include <string>

// One plain line that says why a conversion of this source failed, where the FFmpeg libraries'
// reading of the source tells more than ffmpeg's own last line: a file that is not media, a file
// without audio, a cut that starts past the end. Empty when the source tells nothing.
std::string failureReason(const Arguments& arguments, const SourceInfo& source);

// A length in seconds as the cutter shows it: "0:20", "1:00:00", "1:30.5".
std::string clockText(double seconds);
