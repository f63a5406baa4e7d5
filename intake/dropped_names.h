#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QVector>

class QMimeData;

struct DroppedName
{
    QString path;          // the full name, in native form
    bool isFolder = false; // expanded like Add Folder instead of queued as a file

    bool operator==(const DroppedName&) const = default;
};

struct DroppedNames
{
    QVector<DroppedName> names; // in the drop's order
    QList<QUrl> skipped;        // what named no local file (web addresses and the like)
};

// The names of a file drop in full Unicode, from the drop's URL list.
DroppedNames ReadDroppedNames(const QList<QUrl>& urls);
DroppedNames ReadDroppedNames(const QMimeData& data);
