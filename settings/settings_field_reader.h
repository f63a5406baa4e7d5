#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>

// The fields of a settings file, in order. The file is one stream of fields separated by commas or
// line ends (CR, LF or CR LF). Leading blanks of a field are skipped. A field that begins with a
// double quote runs to the next double quote, and whatever follows it up to the next separator is
// dropped; any other field runs to the next separator, less its trailing blanks. Nothing is
// escaped. So the line 7,1 holds two fields, and "D:\music,new" in quotes holds one.
// A read past the last field finds nothing: the list simply ends there.
QStringList ReadSettingsFields(QStringView text);

// setup.ini's numbers: the whole text (blanks around it aside) must be a decimal number such as
// "7", "-3" or "2.5"; it is rounded to the nearest whole number, halves to even. Anything else,
// empty text included, or a value beyond 64 bits, gives no number.
std::optional<std::int64_t> WholeNumberOf(QStringView text);

// options.ini's numbers: the number at the start of the text. Blanks are ignored, reading stops at
// the first character that cannot belong to a decimal number, and text without a number gives 0;
// the result is rounded to the nearest whole number, halves to even. Only a value beyond 64 bits
// gives no number.
std::optional<std::int64_t> NumericPrefixOf(QStringView text);
