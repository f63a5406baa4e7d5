#include "settings/settings_field_reader.h"

#include <gtest/gtest.h>

namespace {

QStringList fields(const char* text)
{
    return ReadSettingsFields(QString::fromUtf8(text));
}

QStringList list(std::initializer_list<const char*> items)
{
    QStringList result;
    for (const char* item : items)
        result.append(QString::fromUtf8(item));
    return result;
}

std::optional<std::int64_t> whole(const char* text)
{
    return WholeNumberOf(QString::fromUtf8(text));
}

std::optional<std::int64_t> prefix(const char* text)
{
    return NumericPrefixOf(QString::fromUtf8(text));
}

TEST(FieldReader, CommasAndEveryKindOfLineEndSeparateFields)
{
    EXPECT_EQ(fields("7,1\r\n"), list({"7", "1"}));
    // CR LF is one line end, not two; a lone CR or LF is one too.
    EXPECT_EQ(fields("a\rb\nc\r\nd"), list({"a", "b", "c", "d"}));
    EXPECT_EQ(fields("\"7\"\r\n\"1\"\r\n"), list({"7", "1"}));
    EXPECT_EQ(fields(""), QStringList());
}

TEST(FieldReader, QuotedFieldKeepsCommasAndBlanksAndDropsWhatFollowsItsQuote)
{
    EXPECT_EQ(fields("\"D:\\music,new\"\r\n\"0\"\r\n"), list({"D:\\music,new", "0"}));
    EXPECT_EQ(fields("  \" y \"  junk,z"), list({" y ", "z"}));
    EXPECT_EQ(fields("\"\"\r\n\"0\"\r\n"), list({"", "0"}));
    // An unclosed quote runs to the end of the text.
    EXPECT_EQ(fields("\"open,ended\r\nrest"), list({"open,ended\r\nrest"}));
}

TEST(FieldReader, BareFieldLosesBlanksAroundIt)
{
    EXPECT_EQ(fields("  90 word  \r\n\t5\t,"), list({"90 word", "5"}));
    // An empty line is an empty field; blanks after the last separator are no field at all.
    EXPECT_EQ(fields("1\r\n\r\n3\r\n   "), list({"1", "", "3"}));
}

TEST(FieldReader, WholeNumberRoundsHalvesToEven)
{
    EXPECT_EQ(whole("7"), 7);
    EXPECT_EQ(whole(" 11 "), 11);
    EXPECT_EQ(whole("2.5"), 2);
    EXPECT_EQ(whole("3.5"), 4);
    EXPECT_EQ(whole("-2.5"), -2);
    EXPECT_EQ(whole("2.51"), 3);
    EXPECT_EQ(whole("2.4999"), 2);
    // Decided on the digits: a double would round this to 0.5 and then to 0.
    EXPECT_EQ(whole("0.50000000000000000001"), 1);
    EXPECT_EQ(whole(".5"), 0);
    EXPECT_EQ(whole("-0"), 0);
}

TEST(FieldReader, WholeNumberRejectsWhatIsNotANumber)
{
    for (const char* text : {"", "  ", "abc", "7x", "90 word", "1e3", "1,0", "+", ".", "--1"})
        EXPECT_FALSE(whole(text).has_value()) << text;
    EXPECT_FALSE(whole("9223372036854775808").has_value());
    EXPECT_EQ(whole("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(whole("-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(whole("9223372036854775807.5").has_value());
}

TEST(FieldReader, NumericPrefixTakesTheNumberAtTheStart)
{
    EXPECT_EQ(prefix("90 word"), 90);
    EXPECT_EQ(prefix("abc"), 0);
    EXPECT_EQ(prefix(""), 0);
    EXPECT_EQ(prefix("-"), 0);
    EXPECT_EQ(prefix("12.7.3"), 13);
    EXPECT_EQ(prefix("2.5s"), 2);
    EXPECT_EQ(prefix("-3.5"), -4);
    // Blanks are ignored even between digits.
    EXPECT_EQ(prefix(" 1 2 x"), 12);
    EXPECT_EQ(prefix("- 7"), -7);
    EXPECT_FALSE(prefix("123456789012345678901234567890").has_value());
}

} // namespace
