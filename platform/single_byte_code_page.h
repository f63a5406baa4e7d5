#pragma once

#include "platform/code_page.h"

// A Windows single-byte code page, so the staging and display rules for names that lose characters
// can be exercised on any platform.
class SingleByteCodePage : public CodePage
{
public:
    enum Table { Latin1, Windows1252 };

    explicit SingleByteCodePage(Table table) : m_table(table) {}

    QString roundTrip(const QString& text) const override;
    bool canRepresent(const QString& text) const override;
    bool holds(char32_t codePoint) const;

private:
    Table m_table;
};
