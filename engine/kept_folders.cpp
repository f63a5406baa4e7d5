#include "engine/kept_folders.h"

#include <QStringList>

QString KeptSubfolder(const QString& addedFolder, const QString& sourcePath, QChar separator)
{
    // Found paths are the added folder + separator + name as given, so a folder given with a
    // trailing separator (or a drive root) shows a doubled separator there: empty parts are
    // skipped.
    QString folder = addedFolder;
    while (folder.endsWith(separator))
        folder.chop(1);
    if (addedFolder.isEmpty() || !sourcePath.startsWith(folder + separator))
        return {};

    QStringList parts = sourcePath.mid(folder.size()).split(separator, Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return {};
    parts.removeLast(); // the file's own name
    // The added folder's own name; a root ("/" or "C:\") has none worth keeping.
    const QString ownName = folder.mid(folder.lastIndexOf(separator) + 1);
    if (!ownName.isEmpty() && !ownName.endsWith(QLatin1Char(':')))
        parts.prepend(ownName);
    for (const QString& part : std::as_const(parts)) {
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return {};
    }
    return parts.join(separator);
}

ConversionSettings EntrySettings(const ConversionSettings& settings, const QString& addedFolder,
                                 const QString& sourcePath, const PathStyle& style)
{
    if (!settings.keepFolders)
        return settings;
    const QString subfolder = KeptSubfolder(addedFolder, sourcePath, style.separator);
    if (subfolder.isEmpty())
        return settings;
    ConversionSettings entry = settings;
    if (!entry.outputFolder.endsWith(style.separator))
        entry.outputFolder += style.separator;
    entry.outputFolder += subfolder;
    return entry;
}
