#pragma once

#include <QString>

// The character set file names pass through when the program reaches the file system and the
// converter. A name the code page cannot hold cannot be reached as it is; such sources are staged
// under a name made only of characters that survive (see intake/staging.h).
class CodePage
{
public:
    virtual ~CodePage() = default;

    // The text converted to the code page and back: representable characters come back unchanged,
    // every other character (one per code point, a surrogate pair counts once) comes back as "?".
    virtual QString roundTrip(const QString& text) const = 0;
    virtual bool canRepresent(const QString& text) const = 0;
};

// The code page of the platform the program runs on. On Linux file names are UTF-8, so every name
// round-trips unchanged and nothing ever needs staging.
class NativeCodePage : public CodePage
{
public:
    QString roundTrip(const QString& text) const override;
    bool canRepresent(const QString& text) const override;
};
