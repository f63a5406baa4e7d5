#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// What one conversion tells the program about its audio, so that the loudness of several tracks
// measured in different processes (or on different machines) can be gated as one programme: the
// loudness of its 400 ms blocks, counted in bins of 0.01 LU from the -70 LUFS absolute gate up,
// and its sample peak. Plain C++, shared by conv and the program.

// Bin index -> number of blocks in it.
using BlockHistogram = std::map<int, std::int64_t>;

inline constexpr double AbsoluteGate = -70.0;
inline constexpr double BinsPerLu = 100.0;

struct LoudnessReport
{
    double peak = 0; // linear sample peak
    BlockHistogram blocks;
};

// Counts one block of the given loudness (LUFS); blocks below the absolute gate are left out.
void countBlock(BlockHistogram& blocks, double loudness);
// Adds every block of `more`.
void addBlocks(BlockHistogram& into, const BlockHistogram& more);

// The integrated loudness (ITU-R BS.1770) of the blocks as one programme: the mean energy of the
// blocks above the absolute gate and above the relative gate 10 LU below their own mean. Minus
// infinity when no block passes.
double gatedLoudness(const BlockHistogram& blocks);

// The report as conv's closing line after "conv: ": "loudness <peak> <bin>:<count>,...". Only
// digits and these separators, so that no file name ffmpeg prints can pass for one.
std::string formatReport(const LoudnessReport& report);
std::optional<LoudnessReport> parseReport(const std::string& line);
