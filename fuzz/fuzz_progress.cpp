#include "engine/progress_tracker.h"
#include "fuzz/fuzz_input.h"

#include <QList>

#include <cstdlib>
#include <cstring>

namespace {

// The display must be one the bar can show: a caption "<number>%" between 0 and 100 that agrees
// with the width, and a width on the bar (a full bar while the length is unknown).
void checkDisplay(const ProgressDisplay& display, std::int32_t totalSeconds)
{
    const double full = ProgressTracker::ProgressFullWidth;
    if (!(display.width >= 0 && display.width <= full))
        std::abort();
    if (!display.caption.endsWith(QLatin1Char('%')) || display.caption.size() > 5)
        std::abort();
    bool ok = false;
    const double percent = display.caption.chopped(1).toDouble(&ok);
    if (!ok || percent < 0 || percent > 100)
        std::abort();
    // The caption is the bar's percentage cut short, never more than one unit below it.
    const double barPercent = display.width / full * 100;
    if (percent > barPercent + 1e-9 || barPercent >= percent + 1)
        std::abort();
    if (totalSeconds == 0 && display != ProgressDisplay{full, QStringLiteral("100%")})
        std::abort();
}

} // namespace

// Console text fed to the tracker in blocks cut at NUL characters, after a five-byte header with
// the cutter fields. The same text fed whole must leave the tracker with the same length, and,
// where the length cannot be learnt part-way, the same final display.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    const std::int16_t cutterOn = data[0] & 1;
    std::int32_t cutLength = 0;
    std::memcpy(&cutLength, data + 1, sizeof cutLength);
    const QString text = FuzzText(data + 5, size - 5);

    ProgressTracker split;
    split.setCutter(cutterOn, cutLength);
    std::optional<ProgressDisplay> lastSplit;
    for (const QString& block : text.split(QChar(0))) {
        const std::optional<ProgressDisplay> display = split.ReceiveOutputs(block);
        if (display) {
            checkDisplay(*display, split.TotalSeconds());
            lastSplit = display;
        }
    }

    ProgressTracker whole;
    whole.setCutter(cutterOn, cutLength);
    QString joined = text;
    joined.remove(QChar(0));
    const std::optional<ProgressDisplay> wholeDisplay = whole.ReceiveOutputs(joined);
    if (wholeDisplay)
        checkDisplay(*wholeDisplay, whole.TotalSeconds());

    if (split.TotalSeconds() != whole.TotalSeconds() || lastSplit.has_value() != wholeDisplay.has_value())
        std::abort();
    // Only the cutter fixes the length before the first line; a "Duration: " report read in a later
    // block than a "time=" report legitimately changes an earlier display.
    const bool lengthFixedUpFront = cutterOn != 0 && cutLength != 0;
    if ((lengthFixedUpFront || !joined.contains(QStringLiteral("Duration: "))) && lastSplit != wholeDisplay)
        std::abort();

    // After the job is over nothing of it may linger: a lone report shows against an unknown length.
    whole.reset();
    whole.setCutter(0, 0);
    if (whole.TotalSeconds() != 0 ||
        whole.ReceiveOutputs(u"time=00:00:01.00\n") != ProgressDisplay{ProgressTracker::ProgressFullWidth, QStringLiteral("100%")})
        std::abort();
    return 0;
}
