#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <compare>
#include <cstdint>
#include <vector>

// Where a folder lives on its file system. Every path to one folder (through a symbolic link or a
// bind mount) gives the same identity; on file systems without stable node numbers (FAT, exFAT)
// the number is made up while the volume is mounted, so there it is a hint, not a proof.
struct FolderIdentity
{
    std::uint64_t device = 0;
    std::uint64_t node = 0;

    auto operator<=>(const FolderIdentity&) const = default;
};

// The files and folders directly in one folder. Names are kept one after another in one buffer, so
// listing a folder of many files allocates nothing per name; a listing reused for the next folder
// keeps its memory. A name that is not valid UTF-8 shows with replacement characters, which no
// longer name the file; its bytes are kept beside it, and only for such names.
struct FolderListing
{
    struct Entry
    {
        std::uint32_t offset = 0; // into names, in UTF-16 code units
        std::uint32_t size = 0;
        std::uint32_t nativeOffset = 0; // into nativeNames
        std::uint32_t nativeSize = 0;   // 0: the text names the entry exactly
        bool isFolder = false;
    };

    std::vector<char16_t> names;
    std::vector<char> nativeNames;
    std::vector<Entry> entries;

    QStringView name(const Entry& entry) const
    {
        return QStringView(names.data() + entry.offset, qsizetype(entry.size));
    }
    // The name's bytes when its text is not exact; empty otherwise.
    QByteArrayView nativeName(const Entry& entry) const
    {
        return QByteArrayView(nativeNames.data() + entry.nativeOffset, qsizetype(entry.nativeSize));
    }
};

// One folder opened for listing, closed again when this goes. The identity is known as soon as the
// folder is open, so a caller can pass over a folder it has seen before without reading it.
class OpenFolder
{
public:
    explicit OpenFolder(const QString& folder);
    // The folder by its path's bytes, for a path whose text is not exact.
    explicit OpenFolder(const QByteArray& nativePath);
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    bool isOpen() const { return m_handle != -1; }
    FolderIdentity identity() const { return m_identity; }
    // False on file systems whose node numbers are made up while mounted (FAT, exFAT) or that
    // give none: there two folders may share an identity.
    bool hasStableIdentity() const;

    // Replaces the listing's entries with every file and folder directly in the folder, hidden
    // ones included, in no particular order. A symbolic link counts as what it points to; what is
    // neither a file nor a folder (a dangling link, a pipe, a socket, a device) is left out. False
    // when the folder is not open or reading it failed part-way; the listing is then empty.
    bool read(FolderListing& listing);

private:
    std::intptr_t m_handle = -1;
    FolderIdentity m_identity;
};
