#include "platform/single_byte_code_page.h"


#include <QList>

#include <algorithm>
#include <array>

namespace {

// The characters Windows-1252 places at 0x80-0x9F instead of the C1 controls of Latin-1
// (0x81, 0x8D, 0x8F, 0x90 and 0x9D hold nothing).
constexpr std::array<char16_t, 27> Windows1252Extras = {
    0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030,
    0x0160, 0x2039, 0x0152, 0x017D, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x017E, 0x0178};

} // namespace

bool SingleByteCodePage::holds(char32_t codePoint) const
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return true;
    if (m_table == Latin1)
        return codePoint < 0xA0;
    return std::find(Windows1252Extras.begin(), Windows1252Extras.end(), codePoint) !=
           Windows1252Extras.end();
}

QString SingleByteCodePage::roundTrip(const QString& text) const
{
    QString result;
    result.reserve(text.size());
    for (const char32_t codePoint : text.toUcs4()) {
        // toUcs4 turns a lone surrogate into U+FFFD, which no single-byte table holds.
        if (holds(codePoint))
            result += QString::fromUcs4(&codePoint, 1);
        else
            result += QLatin1Char('?');
    }
    return result;
}

bool SingleByteCodePage::canRepresent(const QString& text) const
{
    const QList<uint> codePoints = text.toUcs4();
    return std::all_of(codePoints.begin(), codePoints.end(),
                       [this](uint codePoint) { return holds(codePoint); });
}
