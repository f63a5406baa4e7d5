#include "platform/folder_listing.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
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

// Appends the file system's name to the entry as UTF-16, decoded as QFile::decodeName does. Most
// names are plain ASCII and are widened directly; any other name goes through the decoder, and
// when the text does not give the same bytes back, the bytes are kept as well.
void appendName(const char* name, FolderListing& listing, FolderListing::Entry& entry)
{
    const std::size_t length = std::strlen(name);
    const auto* bytes = reinterpret_cast<const unsigned char*>(name);
    entry.offset = std::uint32_t(listing.names.size());
    if (std::all_of(bytes, bytes + length, [](unsigned char byte) { return byte < 0x80; })) {
        listing.names.insert(listing.names.end(), bytes, bytes + length);
        entry.size = std::uint32_t(length);
        return;
    }
    const QByteArray raw = QByteArray::fromRawData(name, qsizetype(length));
    const QString decoded = QFile::decodeName(raw);
    listing.names.insert(listing.names.end(), decoded.utf16(), decoded.utf16() + decoded.size());
    entry.size = std::uint32_t(decoded.size());
    if (QFile::encodeName(decoded) != raw) {
        entry.nativeOffset = std::uint32_t(listing.nativeNames.size());
        entry.nativeSize = std::uint32_t(length);
        listing.nativeNames.insert(listing.nativeNames.end(), name, name + length);
    }
}

// File systems that make their node numbers up while mounted.
constexpr unsigned long MsdosMagic = 0x4d44;
constexpr unsigned long ExfatMagic = 0x2011BAB0;

} // namespace

OpenFolder::OpenFolder(const QString& folder) : OpenFolder(QFile::encodeName(folder)) {}

OpenFolder::OpenFolder(const QByteArray& nativePath)
{
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
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

bool OpenFolder::hasStableIdentity() const
{
    struct statfs info {};
    if (!isOpen() || m_identity.node == 0 || ::fstatfs(int(m_handle), &info) != 0)
        return false;
    const auto type = static_cast<unsigned long>(info.f_type);
    return type != MsdosMagic && type != ExfatMagic;
}

bool OpenFolder::read(FolderListing& listing)
{
    listing.names.clear();
    listing.nativeNames.clear();
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
            listing.nativeNames.clear();
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
            FolderListing::Entry& added = listing.entries.emplace_back();
            added.isFolder = kind == Kind::Folder;
            appendName(entry->d_name, listing, added);
        }
    }
}
