#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// A cutter time as the options dialog stores it: whole seconds and the whole number written after
// the decimal point.
struct CutTime
{
    std::int32_t seconds = 0;
    std::int32_t fraction = 0;

    bool operator==(const CutTime&) const = default;
};

// Reads "h:mm:ss[.f]", "m:ss[.f]" or plain seconds "s[.f]". Minutes and seconds after a colon must be
// below 60. A fraction with a leading zero ("90.05") cannot be stored as a whole number without
// changing its meaning, so it is refused rather than silently turned into ".5".
std::optional<CutTime> ParseCutTime(const QString& text, QString* error = nullptr);
