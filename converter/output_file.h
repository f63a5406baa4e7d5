#pragma once

#include "converter/arguments.h"

#include <functional>
#include <string>

// How an output file appears at its path only when it is whole: ffmpeg (or the AMR writer) writes
// the unfinished file beside it (converter/unfinished_name.h), which is flushed to the disk and
// renamed onto the output path when the conversion succeeded, and removed otherwise. The rename
// replaces whatever entry is at the path, so a symbolic link there is replaced and its target is
// never written.

using Report = std::function<void(const std::string&)>;

// Whether the output goes this way: a file path in a folder conv can write, where nothing or a
// file or a link is now. A device, a pipe or a URL is written directly, as ffmpeg would.
bool writtenWhole(const std::string& outputPath);

// The folder an output path lies in ("." for a bare name).
std::string folderOf(const std::string& path);

// Removes the unfinished files that conversions which were cut off (killed, or lost with the
// power) left in the folder: only names of the exact form, only regular files, and only where
// the process whose id the name carries no longer runs. Each removal is reported.
void removeLeftovers(const std::string& folder, const Report& report);

// The name of the source (an input of the arguments) that is the same file as the output,
// following links; empty when there is none.
std::string sourceAtOutput(const Arguments& arguments, const std::string& outputPath);

// Flushes the unfinished file and renames it onto the output path; the errno when that failed.
int putInPlace(const std::string& unfinishedPath, const std::string& outputPath);

// Removes the unfinished file if there is one; the errno when it is there and stays.
int discard(const std::string& unfinishedPath);
