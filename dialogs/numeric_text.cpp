#include "dialogs/numeric_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')
        || c == QLatin1Char('\r');
}

// Scans a decimal number (sign, digits, one point, exponent) from the start of `characters`.
// `consumed` tells how many of them belong to it; the number is nothing when it has no digit.
std::optional<double> ScanNumber(const std::string& characters, std::size_t& consumed)
{
    std::size_t i = 0;
    const auto digitsAt = [&](std::size_t& at) {
        const std::size_t start = at;
        while (at < characters.size() && characters[at] >= '0' && characters[at] <= '9')
            ++at;
        return at - start;
    };

    if (i < characters.size() && (characters[i] == '+' || characters[i] == '-'))
        ++i;
    std::size_t digits = digitsAt(i);
    if (i < characters.size() && characters[i] == '.') {
        ++i;
        digits += digitsAt(i);
    }
    if (digits == 0) {
        consumed = 0;
        return std::nullopt;
    }
    std::size_t mantissaEnd = i;
    if (i < characters.size() && (characters[i] == 'e' || characters[i] == 'E')) {
        std::size_t at = i + 1;
        if (at < characters.size() && (characters[at] == '+' || characters[at] == '-'))
            ++at;
        if (digitsAt(at) > 0)
            mantissaEnd = at;
    }
    consumed = mantissaEnd;
    // from_chars rather than strtod: the decimal point is "." whatever the user's locale.
    std::size_t start = characters[0] == '+' ? 1 : 0;
    double value = 0.0;
    const auto [end, error] = std::from_chars(characters.data() + start,
                                              characters.data() + mantissaEnd, value);
    if (error == std::errc::result_out_of_range) {
        const std::string number = characters.substr(0, mantissaEnd);
        const std::size_t exponent = number.find_first_of("eE");
        if (exponent != std::string::npos && number.find('-', exponent) != std::string::npos)
            return 0.0;
        return characters[start] == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    if (error != std::errc() || end != characters.data() + mantissaEnd)
        return std::nullopt;
    return value;
}

} // namespace

double NumericPrefix(const QString& text)
{
    std::string characters;
    for (const QChar c : text) {
        if (IsBlank(c))
            continue;
        if (c.unicode() > 0x7f)
            break;
        characters.push_back(static_cast<char>(c.unicode()));
    }
    std::size_t consumed = 0;
    return ScanNumber(characters, consumed).value_or(0.0);
}

std::optional<double> WholeNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    std::string characters;
    for (const QChar c : trimmed) {
        if (c.unicode() > 0x7f)
            return std::nullopt;
        characters.push_back(static_cast<char>(c.unicode()));
    }
    std::size_t consumed = 0;
    const std::optional<double> number = ScanNumber(characters, consumed);
    if (!number || consumed != characters.size())
        return std::nullopt;
    return number;
}

double RoundHalfEven(double value)
{
    const double lower = std::floor(value);
    const double difference = value - lower;
    if (difference < 0.5)
        return lower;
    if (difference > 0.5)
        return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

std::optional<int> ToInt32(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = RoundHalfEven(value);
    if (rounded < static_cast<double>(std::numeric_limits<int>::min())
        || rounded > static_cast<double>(std::numeric_limits<int>::max()))
        return std::nullopt;
    return static_cast<int>(rounded);
}
