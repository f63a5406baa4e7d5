#pragma once

#include "intake/listing_order.h" // ListedBefore, the order of each folder's names

#include <QChar>
#include <QDir>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

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
    QStringList repeatedFolders;   // reached again through a symbolic link and not searched twice
    bool cancelled = false;
};

// Takes each found path; a sink may move it away.
using FoundFileSink = std::function<void(QString&& path)>;

// Reports the full path of every file under the folder, in this order: the folder's own files,
// then everything under its first subfolder, then its second, and so on, depth first, names in
// ListedBefore order. Found paths are folder + separator + name, as given. Hidden files and
// folders are included; every subfolder is searched; a symbolic link to a folder is followed
// unless that folder has been searched already, so no link leads into a loop. Entries that are
// neither files nor folders (sockets, pipes, devices, dangling links) are left out.
SearchReport SearchFolder(const QString& folder, const FoundFileSink& sink,
                          QChar separator = QDir::separator(),
                          const std::atomic_bool* cancelled = nullptr);

// The same search, collected into a list.
QStringList SearchFolder(const QString& folder, SearchReport* report = nullptr,
                         QChar separator = QDir::separator());
