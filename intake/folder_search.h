#pragma once

#include "intake/listing_order.h" // ListedBefore, the order of each folder's names

#include <QByteArray>
#include <QChar>
#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <utility>

class CodePage;

// The text without its trailing NUL and space characters.
QString TrimFixedName(const QString& text);

// True when the path, as the code page gives it back, is the same path and names a folder.
bool FolderExists(const QString& path, const CodePage& codePage);

struct SearchReport
{
    qsizetype filesFound = 0;
    int foldersSearched = 0;
    QStringList unreadableFolders; // could not be listed; the search went on without them
    QStringList repeatedFolders;   // reached again (a link, a bind mount) and not searched twice
    bool cancelled = false;
};

// Takes each found path, with the path's bytes when its text does not name the file exactly (a
// name that is not UTF-8) and empty otherwise; a sink may move them away.
using FoundFileSink = std::function<void(QString&& path, QByteArray&& nativePath)>;

// Found files as they travel to the list: the paths in search order, and the bytes of the few
// whose text is not exact, by their index into paths.
struct FoundFiles
{
    QStringList paths;
    QList<std::pair<qsizetype, QByteArray>> nativePaths; // ascending indexes

    void append(QString&& path, QByteArray&& nativePath);
    void append(FoundFiles&& more);
    bool isEmpty() const { return paths.isEmpty(); }
};

// Reports the full path of every file under the folder, in this order: the folder's own files,
// then everything under its first subfolder, then its second, and so on, depth first, names in
// ListedBefore order. Found paths are folder + separator + name, as given. Hidden files and
// folders are included; every subfolder is searched; a symbolic link to a folder is followed
// unless that folder has been searched already, so no link leads into a loop. A folder is known by
// its device and node, so one reached again by any path (a link, a bind mount that puts a folder
// inside itself) is entered once; only on file systems whose node numbers are made up (FAT,
// exFAT) must the real paths match as well. Entries that are neither files nor folders (sockets,
// pipes, devices, dangling links) are left out. nativeFolder is the folder's bytes when its text
// is not exact.
SearchReport SearchFolder(const QString& folder, const FoundFileSink& sink,
                          QChar separator = QDir::separator(),
                          const std::atomic_bool* cancelled = nullptr,
                          const QByteArray& nativeFolder = {});

// The same search, collected into a list.
QStringList SearchFolder(const QString& folder, SearchReport* report = nullptr,
                         QChar separator = QDir::separator());
