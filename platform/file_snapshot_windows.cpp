#include "platform/file_snapshot.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <windows.h>

// The file's size and last write time; Windows gives no cheap file number through Qt, and a
// converter writing the file always changes one of the two.
FileSnapshot SnapshotOf(const QString& path)
{
    FileSnapshot snapshot;
    const QFileInfo info(path);
    if (path.isEmpty() || !(info.exists() || info.isSymLink()))
        return snapshot;
    snapshot.exists = true;
    snapshot.size = info.size();
    snapshot.modifiedNanoseconds =
        info.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch() * 1'000'000;
    return snapshot;
}

// The volume's serial number and the file's index on it, which Windows keeps for every file.
std::optional<FileIdentity> IdentityOf(const QByteArray& path)
{
    if (path.isEmpty())
        return std::nullopt;
    const std::wstring wide = QFile::decodeName(path).toStdWString();
    // Backup semantics open folders too; no access right is needed to read the file's numbers.
    const HANDLE file = ::CreateFileW(wide.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (!known)
        return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                            info.nFileIndexLow};
}
