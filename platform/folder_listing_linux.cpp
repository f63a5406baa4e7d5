#include "platform/folder_listing.h"

#include <QFile>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Kind { File, Folder, Other };

// The entry type readdir gives saves a stat per entry; links and file systems that give no type
// are looked at with fstatat, which follows the link.
Kind kindOf(int folderFd, const dirent& entry)
{
    switch (entry.d_type) {
    case DT_REG:
        return Kind::File;
    case DT_DIR:
        return Kind::Folder;
    case DT_LNK:
    case DT_UNKNOWN:
        break;
    default:
        return Kind::Other;
    }
    struct stat info {};
    if (::fstatat(folderFd, entry.d_name, &info, 0) != 0)
        return Kind::Other;
    if (S_ISREG(info.st_mode))
        return Kind::File;
    return S_ISDIR(info.st_mode) ? Kind::Folder : Kind::Other;
}

} // namespace

bool ListFolder(const QString& folder, std::vector<FolderEntry>& entries)
{
    DIR* listing = ::opendir(QFile::encodeName(folder).constData());
    if (!listing)
        return false;
    const int folderFd = ::dirfd(listing);
    while (const dirent* entry = ::readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        const Kind kind = kindOf(folderFd, *entry);
        if (kind != Kind::Other)
            entries.push_back({QFile::decodeName(entry->d_name), kind == Kind::Folder});
    }
    ::closedir(listing);
    return true;
}
