#include "platform/folder_listing.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Kind { File, Folder, Other };

// The entry type the kernel gives saves a stat per entry; links and file systems that give no type
// are looked at with fstatat, which follows the link.
Kind kindOf(int folderFd, const dirent64& entry)
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

bool isDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Appends the file system's name to the buffer as UTF-16, decoded as QFile::decodeName does. Most
// names are plain ASCII and are widened directly; any other name goes through the decoder.
void appendName(const char* name, std::vector<char16_t>& names)
{
    const std::size_t length = std::strlen(name);
    const auto* bytes = reinterpret_cast<const unsigned char*>(name);
    if (std::all_of(bytes, bytes + length, [](unsigned char byte) { return byte < 0x80; })) {
        names.insert(names.end(), bytes, bytes + length);
        return;
    }
    const QString decoded = QFile::decodeName(QByteArray::fromRawData(name, qsizetype(length)));
    names.insert(names.end(), decoded.utf16(), decoded.utf16() + decoded.size());
}

} // namespace

OpenFolder::OpenFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd == -1)
        return;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return;
    }
    m_handle = fd;
    m_identity = {std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)};
}

OpenFolder::~OpenFolder()
{
    if (isOpen())
        ::close(int(m_handle));
}

bool OpenFolder::read(FolderListing& listing)
{
    listing.names.clear();
    listing.entries.clear();
    if (!isOpen())
        return false;
    const int fd = int(m_handle);
    // On the stack: the same memory serves every folder, so a large search does not keep touching
    // fresh pages for its read buffers.
    alignas(dirent64) char buffer[32 * 1024];
    for (;;) {
        const ssize_t filled = ::getdents64(fd, buffer, sizeof buffer);
        if (filled == 0)
            return true;
        if (filled < 0) {
            if (errno == EINTR)
                continue;
            listing.names.clear();
            listing.entries.clear();
            return false;
        }
        for (ssize_t at = 0; at < filled;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            if (isDotOrDotDot(entry->d_name))
                continue;
            const Kind kind = kindOf(fd, *entry);
            if (kind == Kind::Other)
                continue;
            const std::size_t offset = listing.names.size();
            appendName(entry->d_name, listing.names);
            listing.entries.push_back({std::uint32_t(offset),
                                       std::uint32_t(listing.names.size() - offset),
                                       kind == Kind::Folder});
        }
    }
}
