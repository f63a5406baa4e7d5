#include "engine/progress_tracker.h"

#include <QList>

#include <cmath>
#include <limits>

namespace {

const QString DurationMark = QStringLiteral("Duration: ");
const QString TimeMark = QStringLiteral("time=");

// The report text after a mark: up to the first blank (or the end of the line).
QStringView reportAfter(QStringView line, qsizetype markEnd)
{
    QStringView rest = line.mid(markEnd);
    const qsizetype blank = rest.indexOf(QLatin1Char(' '));
    return blank < 0 ? rest : rest.left(blank);
}

double roundedTo15Digits(double value)
{
    return QString::number(value, 'g', 15).toDouble();
}

} // namespace

void ProgressTracker::setCutter(std::int16_t cutterOn, std::int32_t cutLength)
{
    m_cutterOn = cutterOn;
    m_cutLength = cutLength;
}

void ProgressTracker::reset()
{
    m_totalSeconds = 0;
    m_tail.clear();
}

std::optional<std::int32_t> ProgressTracker::clockSeconds(QStringView text)
{
    const QList<QStringView> pieces = text.split(QLatin1Char(':'));
    if (pieces.size() < 3)
        return std::nullopt;
    double parts[3] = {};
    for (int i = 0; i < 3; ++i) {
        QStringView piece = pieces.at(i);
        // The seconds of "Duration: 00:03:25.47, start: ..." carry the comma of the sentence.
        while (piece.endsWith(QLatin1Char(',')))
            piece.chop(1);
        bool ok = false;
        parts[i] = piece.toDouble(&ok);
        if (!ok || !std::isfinite(parts[i]))
            return std::nullopt;
    }
    // Rounds to nearest with halves to even (the default floating-point rounding mode).
    const double seconds = std::nearbyint(parts[0] * 3600 + parts[1] * 60 + parts[2]);
    if (seconds < std::numeric_limits<std::int32_t>::min() ||
        seconds > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(seconds);
}

QString ProgressTracker::plainDecimal(double p)
{
    const double rounded = roundedTo15Digits(p);
    if (rounded == 0)
        return QStringLiteral("0");
    const int integerDigits = static_cast<int>(std::floor(std::log10(std::fabs(rounded)))) + 1;
    const int decimals = qBound(0, 15 - integerDigits, 320);
    QString text = QString::number(rounded, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text;
}

ProgressDisplay ProgressTracker::displayFor(std::int32_t position, std::int32_t totalSeconds)
{
    const ProgressDisplay full{static_cast<double>(ProgressFullWidth), QStringLiteral("100%")};
    if (totalSeconds == 0)
        return full;
    // A position before the start (the converter reports a small negative time at times) is
    // shown as the start, never as a bar of negative width.
    const double r = roundedTo15Digits(static_cast<double>(qMax(position, 0)) / totalSeconds);
    if (r * 100 >= 100)
        return full;
    if (r < 0)
        return {0, QStringLiteral("0%")};
    return {r * ProgressFullWidth, plainDecimal(r * 100).left(4) + QLatin1Char('%')};
}

void ProgressTracker::readDuration(QStringView line)
{
    qsizetype at = line.indexOf(DurationMark);
    while (at >= 0 && m_totalSeconds == 0) {
        if (const auto seconds = clockSeconds(reportAfter(line, at + DurationMark.size())))
            m_totalSeconds = *seconds;
        at = line.indexOf(DurationMark, at + 1);
    }
}

std::optional<ProgressDisplay> ProgressTracker::ReceiveOutputs(QStringView block)
{
    if (block.isEmpty())
        return std::nullopt;
    m_tail += block;

    // Only whole lines are read; the text after the last CR or LF waits for the next block.
    qsizetype lastEnd = -1;
    for (qsizetype i = m_tail.size() - 1; i >= 0; --i) {
        if (m_tail.at(i) == QLatin1Char('\r') || m_tail.at(i) == QLatin1Char('\n')) {
            lastEnd = i;
            break;
        }
    }
    if (lastEnd < 0)
        return std::nullopt;
    const QString complete = m_tail.left(lastEnd);
    m_tail.remove(0, lastEnd + 1);

    if (m_totalSeconds == 0 && m_cutterOn != 0)
        m_totalSeconds = m_cutLength;

    std::optional<QStringView> latestTime;
    qsizetype start = 0;
    const QStringView text(complete);
    while (start <= text.size()) {
        qsizetype end = start;
        while (end < text.size() && text.at(end) != QLatin1Char('\r') &&
               text.at(end) != QLatin1Char('\n'))
            ++end;
        const QStringView line = text.mid(start, end - start);
        // With the cutter on its length is the job's length, 0 included: the file's own
        // duration is not the length of the part being converted.
        if (m_totalSeconds == 0 && m_cutterOn == 0)
            readDuration(line);
        const qsizetype timeAt = line.lastIndexOf(TimeMark);
        if (timeAt >= 0)
            latestTime = reportAfter(line, timeAt + TimeMark.size());
        start = end + 1;
    }
    if (!latestTime)
        return std::nullopt;
    // A position that cannot be read counts as the start.
    return displayFor(clockSeconds(*latestTime).value_or(0), m_totalSeconds);
}
