#include "mainwindow/single_instance.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

SingleInstance::SingleInstance(const QString& lockFilePath)
    : m_lock(std::make_unique<QLockFile>(lockFilePath))
{
    // A lock left by a copy that crashed belongs to no live process and is taken over; a lock
    // of a running copy is never treated as stale, however old.
    m_lock->setStaleLockTime(0);
    m_first = m_lock->tryLock(0);
}

QString SingleInstance::DefaultLockFilePath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("trevalon.lock"));
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("trevalon-%1.lock").arg(static_cast<qulonglong>(getuid())));
}
