#include "cli/cut_time.h"

#include <QStringList>

#include <limits>

namespace {

bool allDigits(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

std::optional<CutTime> fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return std::nullopt;
}

} // namespace

std::optional<CutTime> ParseCutTime(const QString& text, QString* error)
{
    const QString trimmed = text.trimmed();
    QString whole = trimmed;
    QString fractionText;
    if (const qsizetype dot = trimmed.indexOf(QLatin1Char('.')); dot >= 0) {
        whole = trimmed.left(dot);
        fractionText = trimmed.mid(dot + 1);
        if (!allDigits(fractionText))
            return fail(error, QStringLiteral("'%1' has no digits after its decimal point").arg(text));
        if (fractionText.size() > 1 && fractionText.startsWith(QLatin1Char('0')))
            return fail(error, QStringLiteral("'%1': a fraction may not start with 0 (the cutter "
                                              "keeps it as a whole number)")
                                   .arg(text));
    }

    const QStringList parts = whole.split(QLatin1Char(':'));
    if (parts.size() > 3)
        return fail(error, QStringLiteral("'%1' is not h:mm:ss[.f] or seconds").arg(text));
    qint64 seconds = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (!allDigits(parts[i]) || parts[i].size() > 10)
            return fail(error, QStringLiteral("'%1' is not h:mm:ss[.f] or seconds").arg(text));
        const qint64 value = parts[i].toLongLong();
        if (i > 0 && value > 59)
            return fail(error, QStringLiteral("'%1': minutes and seconds must be less than 60")
                                   .arg(text));
        seconds = seconds * 60 + value;
    }
    const qint64 fraction = fractionText.isEmpty() ? 0 : fractionText.toLongLong();
    constexpr qint64 limit = std::numeric_limits<std::int32_t>::max();
    if (seconds > limit || fractionText.size() > 9 || fraction > limit)
        return fail(error, QStringLiteral("'%1' is too large").arg(text));
    return CutTime{static_cast<std::int32_t>(seconds), static_cast<std::int32_t>(fraction)};
}
