#include "intake/dropped_names.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>

DroppedNames ReadDroppedNames(const QList<QUrl>& urls)
{
    DroppedNames dropped;
    for (const QUrl& url : urls) {
        const QString local = url.isLocalFile() ? url.toLocalFile() : QString();
        if (local.isEmpty()) {
            dropped.skipped += url;
            continue;
        }
        dropped.names += DroppedName{QDir::toNativeSeparators(local), QFileInfo(local).isDir()};
    }
    return dropped;
}

DroppedNames ReadDroppedNames(const QMimeData& data)
{
    return data.hasUrls() ? ReadDroppedNames(data.urls()) : DroppedNames{};
}
