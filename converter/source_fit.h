#pragma once

#include "converter/arguments.h"
#include "converter/source_probe.h"

#include <functional>
#include <string>

// Fits the arguments ffmpeg gets to the source, by asking the FFmpeg libraries about it:
// - a rate or channel count the output's encoder refuses, in the audio stream ffmpeg converts,
//   becomes the nearest the encoder takes where the command line sets none (ffmpeg's standard
//   downmix for fewer channels);
// - an MP3, FLAC or MP4 output carries the source's attached cover picture in its tags, while
//   any real video stays dropped.
// The source is only read when one of these can apply; what was read is left in `source` for
// explaining a failure later (and, with `keepOpen`, the source kept open as probeSource keeps it).
// Each change is reported through `report`.
void fitToSource(Arguments& arguments, const std::string& ffmpegPath, SourceInfo& source,
                 const std::function<void(const std::string&)>& report,
                 const AVIOInterruptCB* keepOpen = nullptr);
