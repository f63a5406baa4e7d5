#include "platform/file_snapshot.h"

#include <QDateTime>
#include <QFileInfo>

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
