#pragma once

#include "converter/stream_map.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVStream;

// Small pieces of the in-process pipeline: its console lines, its choice of source streams, and
// the streams, tags and chapters it gives the output.

// Writes a line to conv's console (stderr), as ffmpeg's messages go there.
void say(const std::string& line);

// FFmpeg's words for an error code.
std::string errorText(int error);

// A time as ffmpeg's reports give it: "00:03:25.47".
std::string clockText(std::int64_t microseconds);

// ffmpeg's pick of an audio stream when no map names one: a stream that delivered packets while
// the file was read, then one marked as default, then the most channels; the first of equals.
int streamFfmpegPicks(const AVFormatContext& context);

// The streams of the source a map names.
std::vector<int> mappedStreams(const AVFormatContext& context, const StreamMap& map);

// ffmpeg's progress line: "size=  95kB time=00:00:06.00 bitrate= 129.1kbits/s speed=1x", ending in
// a carriage return while the output grows and in a newline at the end.
std::string progressLine(double kilobytes, double seconds, double elapsed, bool last);

// The source's chapters within the cut, moved with it, as ffmpeg copies them. `offset` is what
// moves the source's first timestamp to zero (microseconds).
void copyChapters(const AVFormatContext& in, AVFormatContext& out, std::optional<double> start,
                  std::optional<double> length, std::int64_t offset);

// The report ffmpeg gives of its input, which the program reads the length from:
// "Input #0, flac, from 'a.flac':\n  Duration: 00:03:25.47, bitrate: 905 kb/s".
std::string inputReport(const AVFormatContext& in, const std::string& input);

// ffmpeg's default tags of an output: the source's global tags, less those that no longer hold
// (the length of a cut one, the creating program's).
void copyGlobalTags(const AVFormatContext& in, AVFormatContext& out, bool cut);

// Adds the output's stream for a source stream: the encoder's parameters where `encoder` is given
// (named `encoderName` in the stream's tags), the source stream's own for a copy, with its
// disposition and tags. Nothing when it cannot be added.
AVStream* addOutputStream(AVFormatContext& out, const AVStream& in, const AVCodecContext* encoder,
                          const std::string& encoderName);
