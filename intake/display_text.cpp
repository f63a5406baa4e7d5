#include "intake/display_text.h"

#include "platform/code_page.h"

#include <string_view>

QString FileNamePart(const QString& path, QChar separator)
{
    return path.mid(path.lastIndexOf(separator) + 1);
}

QString OutputBaseName(const QString& path, QChar separator)
{
    const QString name = FileNamePart(path, separator);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString AnsiRoundTrip(const QString& text, const CodePage& codePage)
{
    return codePage.roundTrip(text);
}

QString CleanDisplayText(const QString& path, const CodePage& codePage, QChar separator)
{
    const QString text = AnsiRoundTrip(path, codePage);
    QString name = FileNamePart(text, separator);
    QString folderPart = text;
    if (!name.isEmpty())
        folderPart.remove(name, Qt::CaseSensitive);
    for (const char16_t forbidden : std::u16string_view(u"/<>?\":*|"))
        name.replace(QChar(forbidden), QLatin1Char(' '));
    return folderPart + name;
}
