#include "converter/failure_reason.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::string fileName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Errors that mean the bytes were read but are not media FFmpeg knows.
bool notMedia(int error)
{
    return error == AVERROR_INVALIDDATA || error == AVERROR(EINVAL) ||
           error == AVERROR_DEMUXER_NOT_FOUND || error == AVERROR_EOF;
}

std::optional<double> seconds(const Arguments& arguments, const char* option)
{
    // The cut stands after the input in the command the program builds.
    const auto value = outputOption(arguments, {option});
    if (!value)
        return std::nullopt;
    char* end = nullptr;
    const double number = std::strtod(value->value.c_str(), &end);
    if (end == value->value.c_str() || *end != '\0' || !std::isfinite(number))
        return std::nullopt;
    return number;
}

} // namespace

std::string clockText(double seconds)
{
    const long long tenths = std::llround(std::max(seconds, 0.0) * 10);
    const long long whole = tenths / 10;
    char text[64];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    std::string result = text;
    if (tenths % 10 != 0)
        result += '.' + std::to_string(tenths % 10);
    return result;
}

std::string failureReason(const Arguments& arguments, const SourceInfo& source)
{
    const auto input = lastOptionValue(arguments, {"-i"});
    if (!source.loaded || !input)
        return {};
    const std::string name = fileName(input->value);
    if (source.openError != 0) {
        const std::string words = "(" + name + ": " + source.errorText + ")";
        return notMedia(source.openError)
                   ? "not an audio or video file that FFmpeg can read " + words
                   : "cannot read the file " + words;
    }
    if (source.audioStream < 0)
        return "the file holds no audio (" + name + ")";
    const auto start = seconds(arguments, "-ss");
    if (start && source.seconds >= 0 && *start >= source.seconds)
        return "cut starts at " + clockText(*start) + " but the file is " +
               clockText(source.seconds) + " long";
    const auto length = seconds(arguments, "-t");
    if (length && *length <= 0)
        return "the cut is " + clockText(*length) + " long: nothing to convert";
    return {};
}
