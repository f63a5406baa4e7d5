#include "converter/gated_loudness.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

constexpr const char* ReportWord = "loudness ";
constexpr double RelativeGate = -10.0;

double energyOf(double loudness)
{
    return std::pow(10.0, (loudness + 0.691) / 10.0);
}

double binLoudness(int bin)
{
    return AbsoluteGate + (bin + 0.5) / BinsPerLu;
}

bool readNumber(const char*& at, long long& value)
{
    if (*at < '0' || *at > '9')
        return false;
    char* end = nullptr;
    value = std::strtoll(at, &end, 10);
    at = end;
    return value >= 0 && value < (1LL << 40);
}

} // namespace

void countBlock(BlockHistogram& blocks, double loudness)
{
    if (!(loudness >= AbsoluteGate) || !std::isfinite(loudness))
        return;
    ++blocks[static_cast<int>(std::floor((loudness - AbsoluteGate) * BinsPerLu))];
}

void addBlocks(BlockHistogram& into, const BlockHistogram& more)
{
    for (const auto& [bin, count] : more)
        into[bin] += count;
}

double gatedLoudness(const BlockHistogram& blocks)
{
    double sum = 0;
    double count = 0;
    for (const auto& [bin, blocksInBin] : blocks) {
        sum += energyOf(binLoudness(bin)) * static_cast<double>(blocksInBin);
        count += static_cast<double>(blocksInBin);
    }
    if (count == 0)
        return -std::numeric_limits<double>::infinity();
    const double relativeGate = sum / count * std::pow(10.0, RelativeGate / 10.0);
    double gatedSum = 0;
    double gatedCount = 0;
    for (const auto& [bin, blocksInBin] : blocks) {
        const double energy = energyOf(binLoudness(bin));
        if (energy >= relativeGate) {
            gatedSum += energy * static_cast<double>(blocksInBin);
            gatedCount += static_cast<double>(blocksInBin);
        }
    }
    if (gatedCount == 0)
        return -std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(gatedSum / gatedCount) - 0.691;
}

std::string formatReport(const LoudnessReport& report)
{
    char peak[32];
    std::snprintf(peak, sizeof peak, "%.6f", report.peak);
    std::string line = ReportWord + std::string(peak) + ' ';
    bool first = true;
    for (const auto& [bin, count] : report.blocks) {
        if (!first)
            line += ',';
        line += std::to_string(bin) + ':' + std::to_string(count);
        first = false;
    }
    return line;
}

std::optional<LoudnessReport> parseReport(const std::string& line)
{
    const std::string word = ReportWord;
    if (line.compare(0, word.size(), word) != 0)
        return std::nullopt;
    const char* at = line.c_str() + word.size();
    LoudnessReport report;
    long long whole = 0;
    long long fraction = 0;
    const char* fractionStart = nullptr;
    if (!readNumber(at, whole) || *at++ != '.' || !(fractionStart = at, readNumber(at, fraction)) ||
        at - fractionStart != 6 || *at++ != ' ')
        return std::nullopt;
    report.peak = static_cast<double>(whole) + static_cast<double>(fraction) / 1e6;
    while (*at != '\0') {
        long long bin = 0;
        long long count = 0;
        if (!readNumber(at, bin) || *at++ != ':' || !readNumber(at, count) || bin > 100000)
            return std::nullopt;
        report.blocks[static_cast<int>(bin)] += count;
        if (*at == ',' && at[1] != '\0')
            ++at;
        else if (*at != '\0')
            return std::nullopt;
    }
    return report;
}
