#include "engine/command_line.h"

#include "intake/display_text.h"
#include "settings/picker_lists.h"

namespace {

const QChar Quote = QLatin1Char('"');

QString itemAt(const QStringList& items, int index)
{
    return index >= 0 && index < items.size() ? items.at(index) : QString();
}

// The fixed bitrate that stands in for an MP3 VBR preset where a format has no such preset: the
// nearest to the preset's average (V0 about 245, V2 about 190 kbit/s).
QString presetKbits(int bitrateIndex)
{
    return bitrateIndex == BitrateV0 ? QStringLiteral("256") : QStringLiteral("192");
}

bool vbrPreset(const ConversionSettings& settings)
{
    return settings.bitrateIndex == BitrateV0 || settings.bitrateIndex == BitrateV2;
}

// The bitrate switch of the formats that take the picker's bitrate: a preset becomes LAME's own
// VBR quality for MP3 and the nearest comparable bitrate for the others (kbits gives it).
QString bitrateSwitch(const ConversionSettings& settings, const QString& kbits)
{
    if (!vbrPreset(settings))
        return QStringLiteral("-ab ") + itemAt(BitrateItems(), settings.bitrateIndex) +
               QLatin1Char('k');
    if (settings.formatIndex == Mp3)
        return settings.bitrateIndex == BitrateV0 ? QStringLiteral("-q:a 0")
                                                  : QStringLiteral("-q:a 2");
    return QStringLiteral("-ab ") + kbits + QLatin1Char('k');
}

// Formats whose command never carried the bitrate keep it so for the numbers and take a preset as
// an extra switch at the end.
QString presetSwitch(const ConversionSettings& settings, const QString& switchText)
{
    return vbrPreset(settings) ? switchText + QLatin1Char(' ') : QString();
}

// The switches between the input part and the output path. Each text brings its own leading and
// trailing blank; FLAC without the cutter keeps the two trailing blanks its command always had.
QString formatArguments(const ConversionSettings& settings)
{
    const auto rateAndChannels = [&settings] {
        return QStringLiteral(" -ar ") + itemAt(RateItems(), settings.rateIndex) +
               QStringLiteral(" -ac ") + QString::number(settings.channelIndex + 1) +
               QLatin1Char(' ');
    };
    const QString fixedPreset = presetSwitch(
        settings, QStringLiteral("-ab ") + presetKbits(settings.bitrateIndex) + QLatin1Char('k'));
    switch (settings.formatIndex) {
    case Mp3:
    case Mpg:
        return QStringLiteral(" -y -vn ") +
               bitrateSwitch(settings, presetKbits(settings.bitrateIndex)) + rateAndChannels();
    case Wma:
        return QStringLiteral(" -y -vn -acodec wmav1 ") + fixedPreset;
    case Ogg:
        return QStringLiteral(" -y -vn -ac 2 ") +
               presetSwitch(settings, settings.bitrateIndex == BitrateV0
                                          ? QStringLiteral("-q:a 8")
                                          : QStringLiteral("-q:a 6"));
    case Wav:
        return QStringLiteral(" -y -vn -acodec pcm_s16le ");
    case Flac:
        return settings.cutterOn != 0 ? QStringLiteral(" -y -vn ") : QStringLiteral(" -y -vn  ");
    case Ac3:
    case Aac:
        return QStringLiteral(" -y -vn ") + fixedPreset;
    case Amr:
        return QStringLiteral(" -y -vn -ar 8000 -ab 7.4k -ac 1 ");
    case Opus:
        // libopus encodes VBR at the given bitrate; the rate picker's value becomes the nearest
        // of the five rates Opus has in conv.
        return QStringLiteral(" -y -vn -acodec libopus ") +
               bitrateSwitch(settings, settings.bitrateIndex == BitrateV0 ? QStringLiteral("192")
                                                                          : QStringLiteral("160")) +
               rateAndChannels() + QStringLiteral("-f ogg ");
    case M4a:
        return QStringLiteral(" -y -vn -acodec aac ") +
               bitrateSwitch(settings, presetKbits(settings.bitrateIndex)) + rateAndChannels() +
               QStringLiteral("-f ipod ");
    case Alac:
        // Lossless: the source's own rate and channels, like FLAC.
        return QStringLiteral(" -y -vn -acodec alac -f ipod ");
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
    QStringList converterSwitches; // the converter's own leading switches; none by default
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
    if (settings.library.verify)
        parts.converterSwitches << QStringLiteral("-verify");
    if (settings.loudness != LoudnessChoice::Off)
        parts.converterSwitches << QStringLiteral("-loudness") << LoudnessWord(settings.loudness);
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
    QString text = parts.converter;
    for (const QString& word : parts.converterSwitches)
        text += QLatin1Char(' ') + word;
    text += QStringLiteral(" -threads 1 -i ") + Quote + parts.source + Quote;
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
    invocation.arguments << parts.converterSwitches << QStringLiteral("-threads")
                         << QStringLiteral("1")
                         << QStringLiteral("-i") << parts.source << parts.cutter
                         << parts.formatText.split(QLatin1Char(' '), Qt::SkipEmptyParts)
                         << parts.output;
    invocation.outputPath = parts.output;
    return invocation;
}
