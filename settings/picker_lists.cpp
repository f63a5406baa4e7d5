#include "settings/picker_lists.h"

QStringList FormatItems()
{
    QStringList items;
    for (const OutputFormat& format : FormatTable)
        items << QString::fromLatin1(format.listText);
    return items;
}

QStringList BitrateItems()
{
    return {QStringLiteral("32"),  QStringLiteral("48"),  QStringLiteral("56"),
            QStringLiteral("64"),  QStringLiteral("80"),  QStringLiteral("96"),
            QStringLiteral("112"), QStringLiteral("128"), QStringLiteral("192"),
            QStringLiteral("224"), QStringLiteral("256"), QStringLiteral("320"),
            QStringLiteral("V0"),  QStringLiteral("V2")};
}

// 12050 Hz is the program's own second-lowest rate and is passed as such.
QStringList RateItems()
{
    return {QStringLiteral("48000"), QStringLiteral("44100"), QStringLiteral("32000"),
            QStringLiteral("24000"), QStringLiteral("22050"), QStringLiteral("16000"),
            QStringLiteral("12050"), QStringLiteral("8000")};
}

QStringList ChannelItems()
{
    return {QStringLiteral("Mono"), QStringLiteral("Stereo")};
}
