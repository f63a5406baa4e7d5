#include "settings/settings_files.h"

#include "platform/settings_platform.h"
#include "settings/picker_lists.h"
#include "settings/settings_field_reader.h"
#include "settings/settings_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <limits>

namespace {

const QString SetupFileName = QStringLiteral("setup.ini");
const QString OptionsFileName = QStringLiteral("options.ini");
const QString LineEnd = QStringLiteral("\r\n");

enum class FileState
{
    Absent,
    Unreadable,
    Read
};

struct FileFields
{
    FileState state = FileState::Absent;
    QStringList fields;
};

// A file counts as present only when its name is a normal file; a folder of that name does not.
FileFields readFields(const QString& folder, const QString& name)
{
    FileFields result;
    const QString path = QDir(folder).filePath(name);
    if (!QFileInfo(path).isFile())
        return result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.state = FileState::Unreadable;
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.state = FileState::Unreadable;
        return result;
    }
    QStringDecoder decode(SettingsTextEncoding());
    const QString text = decode(bytes);
    result.state = FileState::Read;
    result.fields = ReadSettingsFields(text);
    return result;
}

// Writes the whole file or nothing where the folder allows it; in place where only the file can be
// written, so a setup.ini the user may change in a locked folder still keeps the choices.
bool writeText(const QString& folder, const QString& name, const QString& text)
{
    QStringEncoder encode(SettingsTextEncoding());
    const QByteArray bytes = encode(text);
    if (encode.hasError())
        return false;
    return SaveSettingsFile(QDir(folder).filePath(name), bytes);
}

// A picker position from setup.ini; a missing field, text that is not a number or a position
// outside the list leaves the picker where it was.
void applyListIndex(const QStringList& fields, int field, qsizetype listSize, std::int16_t& index)
{
    if (field >= fields.size())
        return;
    const auto value = WholeNumberOf(fields.at(field));
    if (value && *value >= 0 && *value < listSize)
        index = static_cast<std::int16_t>(*value);
}

// An options.ini number; a missing field or a value that does not fit leaves the field as it was.
template <typename Field> void applyNumber(const QStringList& fields, int field, Field& target)
{
    if (field >= fields.size())
        return;
    const auto value = NumericPrefixOf(fields.at(field));
    if (value && *value >= std::numeric_limits<Field>::min() &&
        *value <= std::numeric_limits<Field>::max())
        target = static_cast<Field>(*value);
}

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"') + LineEnd;
}

QString bare(std::int32_t number)
{
    return QString::number(number) + LineEnd;
}

} // namespace

bool ReadSetupFile(const QString& folder, SetupSettings& setup)
{
    const FileFields file = readFields(folder, SetupFileName);
    const QStringList& fields = file.fields;
    applyListIndex(fields, 0, BitrateItems().size(), setup.bitrateIndex);
    applyListIndex(fields, 1, RateItems().size(), setup.rateIndex);
    applyListIndex(fields, 2, ChannelItems().size(), setup.channelIndex);
    if (fields.size() > 3)
        setup.outputFolder = fields.at(3);
    applyListIndex(fields, 4, FormatItems().size(), setup.formatIndex);

    if (setup.outputFolder.isEmpty())
        setup.outputFolder = DefaultOutputFolder();
    return file.state == FileState::Read;
}

bool WriteSetupFile(const QString& folder, const SetupSettings& setup)
{
    const QString text = quoted(QString::number(setup.bitrateIndex)) +
                         quoted(QString::number(setup.rateIndex)) +
                         quoted(QString::number(setup.channelIndex)) + quoted(setup.outputFolder) +
                         quoted(QString::number(setup.formatIndex));
    return writeText(folder, SetupFileName, text);
}

bool ReadOptionsFile(const QString& folder, OptionsSettings& options)
{
    const FileFields file = readFields(folder, OptionsFileName);
    if (file.state == FileState::Absent) {
        // Without the file the completion sound is on and the cutter off; the times stay.
        options.soundIndex = 0;
        options.cutterOn = 0;
        return false;
    }
    // The order of the lines: start, length, then the start's fraction and the length's fraction.
    const QStringList& fields = file.fields;
    applyNumber(fields, 0, options.soundIndex);
    applyNumber(fields, 1, options.cutterOn);
    applyNumber(fields, 2, options.cutStart);
    applyNumber(fields, 3, options.cutLength);
    applyNumber(fields, 4, options.cutStartFraction);
    applyNumber(fields, 5, options.cutLengthFraction);
    return file.state == FileState::Read;
}

bool WriteOptionsFile(const QString& folder, const OptionsSettings& options)
{
    const QString text = bare(options.soundIndex) + bare(options.cutterOn) +
                         bare(options.cutStart) + bare(options.cutLength) +
                         bare(options.cutStartFraction) + bare(options.cutLengthFraction);
    return writeText(folder, OptionsFileName, text);
}

bool SetupFileCanHoldFolder(const QString& folder)
{
    return !folder.contains(QLatin1Char('"'));
}

QString FolderWithQuoteMessage(const QString& folder)
{
    return QStringLiteral("The folder %1 cannot be the output folder: its name holds a double "
                          "quote (\"), which the settings cannot keep.")
        .arg(folder);
}
