#include "dialogs/cutter_boxes.h"

#include "dialogs/numeric_text.h"

#include <cstdint>

namespace {

struct Split
{
    std::int64_t hours;
    std::int64_t minutes;
    std::int64_t seconds;
};

std::int64_t FloorDivide(std::int64_t value, std::int64_t divisor)
{
    std::int64_t quotient = value / divisor;
    if (value % divisor != 0 && value < 0)
        --quotient;
    return quotient;
}

Split SplitSeconds(std::int32_t total)
{
    const std::int64_t hours = FloorDivide(total, 3600);
    const std::int64_t minutes = FloorDivide(total - hours * 3600, 60);
    return {hours, minutes, total - hours * 3600 - minutes * 60};
}

double RowSeconds(const QString& hours, const QString& minutes, const QString& seconds)
{
    return NumericPrefix(hours) * 3600.0 + NumericPrefix(minutes) * 60.0 + NumericPrefix(seconds);
}

std::int32_t SecondsOr(double seconds, std::int32_t previous)
{
    return ToInt32(seconds).value_or(previous);
}

std::int32_t FractionOr(const QString& text, std::int32_t previous)
{
    const std::optional<double> number = WholeNumber(text);
    if (!number)
        return previous;
    return ToInt32(*number).value_or(previous);
}

} // namespace

CutterBoxes BoxesFromOptions(const OptionsSettings& options)
{
    const Split from = SplitSeconds(options.cutStart);
    const Split to = SplitSeconds(options.cutLength);
    CutterBoxes boxes;
    boxes.fromH = QString::number(from.hours);
    boxes.fromM = QString::number(from.minutes);
    boxes.fromS = QString::number(from.seconds);
    boxes.fromMS = QString::number(options.cutStartFraction);
    boxes.toH = QString::number(to.hours);
    boxes.toM = QString::number(to.minutes);
    boxes.toS = QString::number(to.seconds);
    boxes.toMS = QString::number(options.cutLengthFraction);
    return boxes;
}

CutterBoxError FirstInvalidBox(const CutterBoxes& boxes)
{
    // Strictly greater than 59, so 59 passes and 59.5 does not; hours, fractions and negative
    // values are not limited.
    if (NumericPrefix(boxes.fromM) > 59)
        return CutterBoxError::FromMinutes;
    if (NumericPrefix(boxes.toM) > 59)
        return CutterBoxError::ToMinutes;
    if (NumericPrefix(boxes.fromS) > 59)
        return CutterBoxError::FromSeconds;
    if (NumericPrefix(boxes.toS) > 59)
        return CutterBoxError::ToSeconds;
    return CutterBoxError::None;
}

QString CutterBoxMessage(CutterBoxError error)
{
    switch (error) {
    case CutterBoxError::FromMinutes:
    case CutterBoxError::ToMinutes:
        return QStringLiteral("Minutes must less than 60");
    case CutterBoxError::FromSeconds:
    case CutterBoxError::ToSeconds:
        return QStringLiteral("Seconds must less than 60");
    case CutterBoxError::None:
        break;
    }
    return {};
}

bool AllTimesZero(const CutterBoxes& boxes)
{
    for (const QString* box :
         {&boxes.fromH, &boxes.fromM, &boxes.fromS, &boxes.toH, &boxes.toM, &boxes.toS}) {
        if (NumericPrefix(*box) != 0.0)
            return false;
    }
    return true;
}

OptionsSettings OptionsFromBoxes(const OptionsSettings& previous, int soundIndex, bool cutterOn,
                                 const CutterBoxes& boxes)
{
    OptionsSettings options = previous;
    options.soundIndex = static_cast<std::int16_t>(soundIndex);
    options.cutterOn = cutterOn ? 1 : 0;
    options.cutStart = SecondsOr(RowSeconds(boxes.fromH, boxes.fromM, boxes.fromS),
                                 previous.cutStart);
    options.cutLength = SecondsOr(RowSeconds(boxes.toH, boxes.toM, boxes.toS), previous.cutLength);
    options.cutStartFraction = FractionOr(boxes.fromMS, previous.cutStartFraction);
    options.cutLengthFraction = FractionOr(boxes.toMS, previous.cutLengthFraction);
    return options;
}
