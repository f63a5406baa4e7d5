#include "settings/settings_field_reader.h"

#include <limits>

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

bool isSeparator(QChar c)
{
    return c == QLatin1Char(',') || isLineEnd(c);
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Moves past the separator at pos: a comma, CR, LF, or CR LF taken together as one line end.
qsizetype skipSeparator(QStringView text, qsizetype pos)
{
    if (pos >= text.size())
        return pos;
    if (text[pos] == QLatin1Char('\r') && pos + 1 < text.size() &&
        text[pos + 1] == QLatin1Char('\n'))
        return pos + 2;
    return pos + 1;
}

// A decimal number as written: its sign, the digits before and after the point.
struct DecimalText
{
    bool negative = false;
    QStringView whole;
    QStringView fraction;
};

// Rounds exactly on the digits, so 2.5 gives 2, 3.5 gives 4 and 0.50000000000000000001 gives 1
// (a conversion through double would lose the last digit).
std::optional<std::int64_t> roundHalfToEven(const DecimalText& number)
{
    constexpr std::uint64_t limit = std::uint64_t(std::numeric_limits<std::int64_t>::max()) + 1;
    std::uint64_t magnitude = 0;
    for (const QChar c : number.whole) {
        const auto digit = std::uint64_t(c.unicode() - u'0');
        if (magnitude > (limit - digit) / 10)
            return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }

    bool roundUp = false;
    if (!number.fraction.isEmpty()) {
        const QChar first = number.fraction.front();
        const bool restIsZero = [&] {
            for (const QChar c : number.fraction.mid(1)) {
                if (c != QLatin1Char('0'))
                    return false;
            }
            return true;
        }();
        if (first > QLatin1Char('5'))
            roundUp = true;
        else if (first == QLatin1Char('5'))
            roundUp = !restIsZero || magnitude % 2 == 1;
    }
    if (roundUp) {
        if (magnitude == limit)
            return std::nullopt;
        ++magnitude;
    }

    if (number.negative)
        return magnitude == limit ? std::numeric_limits<std::int64_t>::min()
                                  : -std::int64_t(magnitude);
    if (magnitude == limit)
        return std::nullopt;
    return std::int64_t(magnitude);
}

// Reads [+-]digits[.digits] from the start of text; returns how many characters it took, 0 when
// no digit was found.
qsizetype scanDecimal(QStringView text, DecimalText& number)
{
    qsizetype pos = 0;
    if (pos < text.size() && (text[pos] == QLatin1Char('+') || text[pos] == QLatin1Char('-'))) {
        number.negative = text[pos] == QLatin1Char('-');
        ++pos;
    }
    const qsizetype wholeStart = pos;
    while (pos < text.size() && isDigit(text[pos]))
        ++pos;
    number.whole = text.mid(wholeStart, pos - wholeStart);
    if (pos < text.size() && text[pos] == QLatin1Char('.')) {
        const qsizetype fractionStart = ++pos;
        while (pos < text.size() && isDigit(text[pos]))
            ++pos;
        number.fraction = text.mid(fractionStart, pos - fractionStart);
    }
    return number.whole.isEmpty() && number.fraction.isEmpty() ? 0 : pos;
}

QStringView trimBlanks(QStringView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.mid(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

} // namespace

QStringList ReadSettingsFields(QStringView text)
{
    QStringList fields;
    qsizetype pos = 0;
    while (true) {
        while (pos < text.size() && isBlank(text[pos]))
            ++pos;
        if (pos >= text.size())
            break;

        if (text[pos] == QLatin1Char('"')) {
            const qsizetype start = pos + 1;
            qsizetype end = text.indexOf(QLatin1Char('"'), start);
            if (end < 0)
                end = text.size();
            fields.append(text.mid(start, end - start).toString());
            pos = end;
            while (pos < text.size() && !isSeparator(text[pos]))
                ++pos;
        } else {
            const qsizetype start = pos;
            while (pos < text.size() && !isSeparator(text[pos]))
                ++pos;
            qsizetype end = pos;
            while (end > start && isBlank(text[end - 1]))
                --end;
            fields.append(text.mid(start, end - start).toString());
        }
        pos = skipSeparator(text, pos);
    }
    return fields;
}

std::optional<std::int64_t> WholeNumberOf(QStringView text)
{
    text = trimBlanks(text);
    DecimalText number;
    const qsizetype taken = scanDecimal(text, number);
    if (taken == 0 || taken != text.size())
        return std::nullopt;
    return roundHalfToEven(number);
}

std::optional<std::int64_t> NumericPrefixOf(QStringView text)
{
    QString compact;
    compact.reserve(text.size());
    for (const QChar c : text) {
        if (!isBlank(c))
            compact.append(c);
    }
    DecimalText number;
    if (scanDecimal(compact, number) == 0)
        return 0;
    return roundHalfToEven(number);
}
