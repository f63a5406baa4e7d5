// The names in a folder as bytes, for the tests of names that are not text.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QSet>
#include <QString>

#include <dirent.h>

// Every entry but "." and "..", hidden ones included, as its bytes: names that are not text stay
// apart where a listing as text would show two of them as one. Empty for a folder that is not.
inline QSet<QByteArray> namesIn(const QByteArray& folder)
{
    QSet<QByteArray> names;
    if (DIR* listing = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(listing)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names << name;
        }
        ::closedir(listing);
    }
    return names;
}

inline QSet<QByteArray> namesIn(const QString& folder)
{
    return namesIn(QFile::encodeName(folder));
}
