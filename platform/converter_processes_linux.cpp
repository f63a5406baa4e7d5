#include "platform/converter_processes.h"

#include <QFile>
#include <QFileInfo>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// The parent id from /proc/<pid>/stat; the command name in it may hold blanks and parentheses,
// so the fields are read after its last ")".
qint64 parentOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : -1;
}

QByteArray runningFile(const char* pid)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/%s/exe", pid);
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link, target, sizeof target);
    if (length <= 0)
        return {};
    QByteArray path(target, length);
    const QByteArray deleted(" (deleted)");
    if (path.endsWith(deleted))
        path.chop(deleted.size());
    return path;
}

bool descendsFrom(qint64 pid, const QSet<qint64>& ancestors)
{
    qint64 ancestor = parentOf(pid);
    for (int depth = 0; ancestor > 1 && depth < 4096; ++depth) {
        if (ancestors.contains(ancestor))
            return true;
        ancestor = parentOf(ancestor);
    }
    return false;
}

bool descendsFromThisProcess(qint64 pid)
{
    return descendsFrom(pid, {static_cast<qint64>(::getpid())});
}

} // namespace

QList<qint64> OwnConverterProcesses(const QString& executablePath)
{
    const QByteArray wanted = QFile::encodeName(QFileInfo(executablePath).canonicalFilePath());
    if (wanted.isEmpty())
        return {};

    // Every process's running file is compared (one readlink each, cheap enough to do before
    // every job); the ancestry is read only for the few that match.
    QList<qint64> own;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return own;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const qint64 pid = std::strtoll(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0')
            continue;
        if (runningFile(entry->d_name) == wanted && descendsFromThisProcess(pid))
            own << pid;
    }
    ::closedir(proc);
    return own;
}

QList<qint64> KillProcessesByName(const QString& executablePath, const QSet<qint64>& spare)
{
    QList<qint64> signalled;
    for (const qint64 pid : OwnConverterProcesses(executablePath)) {
        // A spared converter keeps its own helpers: they belong to a job that is still running.
        if (spare.contains(pid) || descendsFrom(pid, spare))
            continue;
        if (::kill(static_cast<pid_t>(pid), SIGTERM) == 0)
            signalled << pid;
    }
    return signalled;
}
