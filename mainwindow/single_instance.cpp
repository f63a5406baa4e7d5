#include "mainwindow/single_instance.h"

#include "platform/private_folder.h"
#include "settings/settings_folder.h"

#include <QDir>
#include <QFileInfo>

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
    // Never a name in the shared temp folder, which another user could take first: the program's
    // own temp folder, checked to be this user's; the user's configuration folder when it is not.
    const QString privateFolder = ProgramTempFolder();
    if (EnsurePrivateFolder(privateFolder))
        return QDir(privateFolder).filePath(QStringLiteral("trevalon.lock"));
    const QString config = UserConfigFolder();
    QDir().mkpath(config);
    return QDir(config).filePath(QStringLiteral("trevalon.lock"));
}
