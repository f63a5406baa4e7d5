#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// What the progress display should show: the bar width in twips (ProgressFullWidth at 100 %) and
// the percent caption of lblPB.
struct ProgressDisplay
{
    double width = 0;
    QString caption;

    bool operator==(const ProgressDisplay&) const = default;
};

// Turns the converter's console text into progress for the file in progress. It learns the job's
// length (TotalSeconds) from the "Duration: " report, or from the cutter length when the cutter is
// on, and reads the position from the "time=" reports.
//
// Text arrives in blocks that may cut a line anywhere, so only whole lines are read: a line ends at
// CR or LF, and the unfinished tail of a block waits for the next block. When one block completes
// several "time=" reports, the latest one is shown.
//
// Pure: plain text in, plain data out; the batch driver hands the result to the window.
class ProgressTracker
{
public:
    static constexpr int ProgressFullWidth = 5415;

    // The cutter fields of the job about to run: with the cutter on, its length is the job length.
    void setCutter(std::int16_t cutterOn, std::int32_t cutLength);

    // Reads one block of console text. Returns the new display when the block completed at least
    // one "time=" report; nothing otherwise (the display stays as it was).
    std::optional<ProgressDisplay> ReceiveOutputs(QStringView block);

    // The job is over: the length is unknown again and any unfinished line is dropped.
    void reset();

    // The job's length in whole seconds; 0 while it is not known.
    std::int32_t TotalSeconds() const { return m_totalSeconds; }

    // "hours:minutes:seconds[.fraction]" (a trailing comma allowed) in whole seconds, an exact
    // half rounded to the even neighbour; nothing for any other form or a value beyond 32 bits.
    static std::optional<std::int32_t> clockSeconds(QStringView text);

    // The display for a position of a job of totalSeconds (0 = length unknown: a full bar).
    static ProgressDisplay displayFor(std::int32_t position, std::int32_t totalSeconds);

    // p written in plain decimal with at most 15 significant digits and no trailing zeros.
    static QString plainDecimal(double p);

private:
    void readDuration(QStringView line);

    std::int16_t m_cutterOn = 0;
    std::int32_t m_cutLength = 0;
    std::int32_t m_totalSeconds = 0;
    QString m_tail;
};
