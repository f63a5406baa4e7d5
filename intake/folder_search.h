#pragma once

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

// The order a folder's names are listed in: the order of the file system the program was first
// written for, which keeps names sorted by their UTF-16 code units after mapping each to upper
// case, one unit at a time. So "a" and "A" sort together, and letters come before "_" and the
// other characters between "Z" and "a". Names that differ only in case follow in code-unit order.
bool ListedBefore(const QString& left, const QString& right);

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
