#pragma once

#include <optional>
#include <string>
#include <vector>

// Reading and rewriting the ffmpeg-style argument vector conv is given. Pure functions.

using Arguments = std::vector<std::string>;

// The value after the last occurrence of any of the options, and its index.
struct OptionValue
{
    std::size_t index = 0;
    std::string value;
};
std::optional<OptionValue> lastOptionValue(const Arguments& arguments,
                                           const std::vector<std::string>& names);

// The value of the last of the options when it stands after the input, where it concerns the
// output.
std::optional<OptionValue> outputOption(const Arguments& arguments,
                                        const std::vector<std::string>& names);

// The output file: the last argument, when the vector names an input and ends in a file name.
std::string outputPathOf(const Arguments& arguments);

bool endsWithIgnoringCase(const std::string& text, const std::string& suffix);

// The supported rate nearest to the requested one, the higher of two equally near; the requested
// rate when the list is empty (the encoder takes any rate) or already holds it.
int nearestRate(int requested, const std::vector<int>& supported);

// A bitrate text as ffmpeg reads it ("7.4k", "128000", "1M") in bits per second; 0 when unreadable.
long bitrateBitsPerSecond(const std::string& text);

// The arguments that make ffmpeg decode the same input and time range to 8000 Hz mono 16-bit PCM on
// its stdout, for an AMR output: the output and the switches that concern only the output encoding
// are replaced.
Arguments pcmDecodeArguments(const Arguments& arguments);
