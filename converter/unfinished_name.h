#pragma once

// The name under which a conversion writes its output until the file is whole. The file lies in
// the output's own folder (so the final rename is atomic), is hidden, carries the id of the
// process writing it, and keeps the output's extension last, because FFmpeg's choice of
// container, the AMR writer and the tag writers all go by the extension:
//     song.mp3  ->  .song.trevalon-4711.mp3
// Plain C++ with no Qt, header only, so the converter and the program share one definition.

#include <cstddef>
#include <optional>
#include <string>

namespace unfinished_name_detail {

inline const std::string Marker = ".trevalon-";
constexpr std::size_t LongestFileName = 255;

// The stem shortened to at most `bytes` bytes without cutting a UTF-8 sequence in two.
inline std::string shortened(const std::string& stem, std::size_t bytes)
{
    if (stem.size() <= bytes)
        return stem;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(stem[end]) & 0xC0) == 0x80)
        --end;
    return stem.substr(0, end);
}

} // namespace unfinished_name_detail

// The unfinished file's name for an output file name (no folder) and a process id. A name too
// long for the file system keeps its extension and loses the end of its stem.
inline std::string unfinishedOutputName(const std::string& outputName, long pid)
{
    using namespace unfinished_name_detail;
    const std::size_t dot = outputName.rfind('.');
    const std::string stem = dot == std::string::npos ? outputName : outputName.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : outputName.substr(dot);
    const std::string tail = Marker + std::to_string(pid) + extension;
    const std::size_t room =
        LongestFileName > tail.size() + 1 ? LongestFileName - tail.size() - 1 : 0;
    return '.' + shortened(stem, room) + tail;
}

// The unfinished file for an output path: the same folder, the name above.
inline std::string unfinishedOutputPath(const std::string& outputPath, long pid)
{
    const std::size_t slash = outputPath.rfind('/');
    if (slash == std::string::npos)
        return unfinishedOutputName(outputPath, pid);
    return outputPath.substr(0, slash + 1) +
           unfinishedOutputName(outputPath.substr(slash + 1), pid);
}

// What an unfinished file's name tells: the id of the process that wrote it and the name of the
// output it stands for.
struct UnfinishedOutput
{
    long pid = 0;
    std::string outputName;
};

// Recognises a file name (no folder) of exactly the form above; nothing for any other name, so
// a user's own file that merely looks similar is never taken for one. The id is the one standing
// before the last dot (or at the end, for an output without extension), so a marker inside the
// output's own name or extension cannot pass for it.
inline std::optional<UnfinishedOutput> readUnfinishedOutputName(const std::string& fileName)
{
    using namespace unfinished_name_detail;
    if (fileName.size() < 2 || fileName[0] != '.' || fileName.find('/') != std::string::npos)
        return std::nullopt;
    const auto idEndingAt = [&](std::size_t end) -> std::optional<UnfinishedOutput> {
        std::size_t digits = end;
        while (digits > 0 && fileName[digits - 1] >= '0' && fileName[digits - 1] <= '9')
            --digits;
        // A process id as written: no leading zero, small enough for any system's pid_t.
        if (digits == end || fileName[digits] == '0' || end - digits > 9 ||
            digits < Marker.size() + 1 ||
            fileName.compare(digits - Marker.size(), Marker.size(), Marker) != 0)
            return std::nullopt;
        const std::size_t marker = digits - Marker.size();
        return UnfinishedOutput{std::stol(fileName.substr(digits, end - digits)),
                                fileName.substr(1, marker - 1) + fileName.substr(end)};
    };
    const std::size_t lastDot = fileName.rfind('.');
    if (auto withExtension = idEndingAt(lastDot))
        return withExtension;
    // Without an extension the stem holds no dot: the marker's is the name's second and last.
    const std::size_t secondDot = fileName.find('.', 1);
    if (secondDot == std::string::npos || secondDot + Marker.size() + 1 > fileName.size() ||
        fileName.find('.', secondDot + 1) != std::string::npos)
        return std::nullopt;
    return idEndingAt(fileName.size());
}
