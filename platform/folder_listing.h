#pragma once

#include <QString>

#include <vector>

struct FolderEntry
{
    QString name;
    bool isFolder = false;
};

// Every file and folder directly in a folder, hidden ones included, in no particular order. A
// symbolic link counts as what it points to; what is neither a file nor a folder (a dangling link,
// a pipe, a socket, a device) is left out. False when the folder cannot be listed.
bool ListFolder(const QString& folder, std::vector<FolderEntry>& entries);
