#include "settings/library_choices.h"

std::optional<ExistingOutput> ParseExistingOutput(const QString& text)
{
    const QString name = text.trimmed().toLower();
    if (name == QLatin1String("overwrite"))
        return ExistingOutput::Overwrite;
    if (name == QLatin1String("skip"))
        return ExistingOutput::Skip;
    if (name == QLatin1String("number"))
        return ExistingOutput::Number;
    return std::nullopt;
}

QString ExistingOutputName(ExistingOutput rule)
{
    switch (rule) {
    case ExistingOutput::Skip:
        return QStringLiteral("skip");
    case ExistingOutput::Number:
        return QStringLiteral("number");
    case ExistingOutput::Overwrite:
        break;
    }
    return QStringLiteral("overwrite");
}
