#pragma once

#include <QString>

#include <optional>

// How the options dialog reads the numbers typed into its boxes.

// The number at the start of the text: blanks anywhere are ignored, reading stops at the first
// character that cannot continue a decimal number ("90 s" gives 90, "1 2" gives 12), and text
// without a number gives 0.
double NumericPrefix(const QString& text);

// The whole text as one decimal number (blanks around it allowed, an exponent allowed); nothing
// when the text is empty or holds anything else, such as "12abc".
std::optional<double> WholeNumber(const QString& text);

// Nearest whole number, an exact half going to the even neighbour (2.5 gives 2, 3.5 gives 4).
double RoundHalfEven(double value);

// The value rounded half to even, when it fits a 32-bit signed field; nothing otherwise (including
// infinities and NaN from absurd input such as "1e999").
std::optional<int> ToInt32(double value);
