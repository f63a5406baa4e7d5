#include "engine/command_line.h"

#include "intake/display_text.h"
#include "settings/picker_lists.h"

namespace {

const QChar Quote = QLatin1Char('"');

QString itemAt(const QStringList& items, int index)
{
    return index >= 0 && index < items.size() ? items.at(index) : QString();
}

// The switches between the input part and the output path. Each text brings its own leading and
// trailing blank; FLAC without the cutter keeps the two trailing blanks its command always had.
QString formatArguments(const ConversionSettings& settings)
{
    const auto mp3Switches = [&settings] {
        return QStringLiteral(" -y -vn -ab ") + itemAt(BitrateItems(), settings.bitrateIndex) +
               QStringLiteral("k -ar ") + itemAt(RateItems(), settings.rateIndex) +
               QStringLiteral(" -ac ") + QString::number(settings.channelIndex + 1) +
               QLatin1Char(' ');
    };
    switch (settings.formatIndex) {
    case Mp3:
    case Mpg:
        return mp3Switches();
    case Wma:
        return QStringLiteral(" -y -vn -acodec wmav1 ");
    case Ogg:
        return QStringLiteral(" -y -vn -ac 2 ");
    case Wav:
        return QStringLiteral(" -y -vn -acodec pcm_s16le ");
    case Flac:
        return settings.cutterOn != 0 ? QStringLiteral(" -y -vn ") : QStringLiteral(" -y -vn  ");
    case Ac3:
    case Aac:
        return QStringLiteral(" -y -vn ");
    case Amr:
        return QStringLiteral(" -y -vn -ar 8000 -ab 7.4k -ac 1 ");
    default:
        return {};
    }
}

bool knownFormat(const ConversionSettings& settings)
{
    return settings.formatIndex >= 0 &&
           settings.formatIndex < static_cast<int>(FormatTable.size());
}

// The pieces both forms of the command are made of, so the text and the vector cannot disagree.
struct CommandParts
{
    QString converter;
    QString source;
    QStringList cutter; // "-ss", start, "-t", length; empty with the cutter off
    QString formatText;
    QString output;
};

CommandParts commandParts(const QString& applicationFolder, const QString& sourcePath,
                          const ConversionSettings& settings, const PathStyle& style)
{
    CommandParts parts;
    parts.converter = applicationFolder + style.separator + style.converterRelativePath;
    parts.source = sourcePath;
    if (settings.cutterOn != 0) {
        parts.cutter = {QStringLiteral("-ss"),
                        QString::number(settings.cutStart) + QLatin1Char('.') +
                            QString::number(settings.cutStartFraction),
                        QStringLiteral("-t"),
                        QString::number(settings.cutLength) + QLatin1Char('.') +
                            QString::number(settings.cutLengthFraction)};
    }
    parts.formatText = formatArguments(settings);

    QString folder = settings.outputFolder;
    if (!folder.endsWith(style.separator))
        folder += style.separator;
    parts.output = folder +
                   (settings.outputBaseName.isEmpty() ? OutputBaseName(sourcePath, style.separator)
                                                      : settings.outputBaseName) +
                   QString::fromLatin1(FormatTable[settings.formatIndex].extension);
    return parts;
}

} // namespace

PathStyle PathStyle::windows()
{
    return {QLatin1Char('\\'), QStringLiteral("data\\conv.exe")};
}

PathStyle PathStyle::native()
{
#ifdef Q_OS_WIN
    return windows();
#else
    return {QLatin1Char('/'), QStringLiteral("data/conv")};
#endif
}

QString BuildCommandLine(const QString& applicationFolder, const QString& sourcePath,
                         const ConversionSettings& settings, const PathStyle& style)
{
    if (!knownFormat(settings))
        return {};
    const CommandParts parts = commandParts(applicationFolder, sourcePath, settings, style);
    QString text = parts.converter + QStringLiteral(" -threads 1 -i ") + Quote + parts.source + Quote;
    if (!parts.cutter.isEmpty())
        text += QLatin1Char(' ') + parts.cutter.join(QLatin1Char(' '));
    return text + parts.formatText + Quote + parts.output + Quote;
}

ConverterInvocation BuildConverterInvocation(const QString& applicationFolder,
                                             const QString& sourcePath,
                                             const ConversionSettings& settings,
                                             const PathStyle& style)
{
    if (!knownFormat(settings))
        return {};
    const CommandParts parts = commandParts(applicationFolder, sourcePath, settings, style);
    ConverterInvocation invocation;
    invocation.program = parts.converter;
    invocation.arguments << QStringLiteral("-threads") << QStringLiteral("1")
                         << QStringLiteral("-i") << parts.source << parts.cutter
                         << parts.formatText.split(QLatin1Char(' '), Qt::SkipEmptyParts)
                         << parts.output;
    invocation.outputPath = parts.output;
    return invocation;
}
