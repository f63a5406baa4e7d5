#include "platform/file_snapshot.h"

#include <QFile>

#include <sys/stat.h>

FileSnapshot SnapshotOf(const QString& path)
{
    FileSnapshot snapshot;
    struct stat info {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return snapshot;
    snapshot.exists = true;
    snapshot.device = static_cast<std::uint64_t>(info.st_dev);
    snapshot.fileId = static_cast<std::uint64_t>(info.st_ino);
    snapshot.size = static_cast<std::int64_t>(info.st_size);
    snapshot.modifiedNanoseconds =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    return snapshot;
}

std::optional<FileIdentity> IdentityOf(const QByteArray& path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(path.constData(), &info) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino)};
}
