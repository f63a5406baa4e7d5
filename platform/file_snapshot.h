#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QString>

#include <cstdint>
#include <optional>

// What a file looked like at one moment: two snapshots of the same path differ when the file was
// created, removed, replaced or written in between. The runner compares the output before and
// after a job, so it only ever removes what its own converter wrote.
struct FileSnapshot
{
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t fileId = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNanoseconds = 0;

    bool operator==(const FileSnapshot&) const = default;
};

// The snapshot of the path as it is now; a path that does not exist (or cannot be examined) gives
// a snapshot with exists false. A symbolic link is looked at itself, not followed.
FileSnapshot SnapshotOf(const QString& path);

// Which file a path leads to, links followed: two paths with the same identity name one file,
// whatever mounts, links or spellings lie between them.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t fileId = 0;

    bool operator==(const FileIdentity&) const = default;
};

inline size_t qHash(const FileIdentity& identity, size_t hashSeed = 0)
{
    return qHashMulti(hashSeed, identity.device, identity.fileId);
}

// The identity of the file at path (given as the bytes it is opened by); nothing when no file is
// there or it cannot be examined.
std::optional<FileIdentity> IdentityOf(const QByteArray& path);
