#pragma once

#include <QString>

#include <cstdint>

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
