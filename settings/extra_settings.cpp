#include "settings/extra_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

const QString FileName = QStringLiteral("trevalon.ini");
const QString FilesAtOnceKey = QStringLiteral("Conversion/FilesAtOnce");
const QString KeepFoldersKey = QStringLiteral("Conversion/KeepFolders");
const QString NamePatternKey = QStringLiteral("Library/NamePattern");
const QString ExistingKey = QStringLiteral("Library/Existing");
const QString CopySameFormatKey = QStringLiteral("Library/CopySameFormat");
const QString LoudnessKey = QStringLiteral("Conversion/Loudness");
const QString VerifyKey = QStringLiteral("Library/Verify");

bool isTrue(const QSettings& file, const QString& key)
{
    const QString value = file.value(key).toString().trimmed().toLower();
    return value == QLatin1String("true") || value == QLatin1String("1");
}

} // namespace

ExtraSettings ReadExtraSettings(const QString& folder)
{
    ExtraSettings settings;
    const QString path = QDir(folder).filePath(FileName);
    if (!QFileInfo(path).isFile())
        return settings;
    const QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return settings;

    bool ok = false;
    const int filesAtOnce = file.value(FilesAtOnceKey).toInt(&ok);
    if (ok && filesAtOnce >= 1 && filesAtOnce <= MaxFilesAtOnce)
        settings.filesAtOnce = filesAtOnce;

    settings.keepFolders = isTrue(file, KeepFoldersKey);
    settings.library.namePattern = file.value(NamePatternKey).toString();
    settings.library.existing =
        ParseExistingOutput(file.value(ExistingKey).toString()).value_or(ExistingOutput::Overwrite);
    settings.library.copySameFormat = isTrue(file, CopySameFormatKey);
    settings.loudness =
        LoudnessFromWord(file.value(LoudnessKey).toString()).value_or(LoudnessChoice::Off);
    settings.library.verify = isTrue(file, VerifyKey);
    return settings;
}

bool WriteExtraSettings(const QString& folder, const ExtraSettings& settings)
{
    QSettings file(QDir(folder).filePath(FileName), QSettings::IniFormat);
    // Like setup.ini, the file is written in place where only the file itself may be changed.
    file.setAtomicSyncRequired(false);
    if (settings.filesAtOnce)
        file.setValue(FilesAtOnceKey, *settings.filesAtOnce);
    else
        file.remove(FilesAtOnceKey);
    file.setValue(KeepFoldersKey, settings.keepFolders);
    file.setValue(NamePatternKey, settings.library.namePattern);
    file.setValue(ExistingKey, ExistingOutputName(settings.library.existing));
    file.setValue(CopySameFormatKey, settings.library.copySameFormat);
    if (settings.loudness != LoudnessChoice::Off)
        file.setValue(LoudnessKey, LoudnessWord(settings.loudness));
    else
        file.remove(LoudnessKey);
    file.setValue(VerifyKey, settings.library.verify);
    file.sync();
    return file.status() == QSettings::NoError;
}
