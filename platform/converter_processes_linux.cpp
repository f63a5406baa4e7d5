#include "platform/converter_processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <csignal>

#include <sys/types.h>
#include <unistd.h>

namespace {

// The parent id from /proc/<pid>/stat; the command name in it may hold blanks and parentheses,
// so the fields are read after its last ")".
qint64 parentOf(const QString& pid)
{
    QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : -1;
}

QString runningFile(const QString& pid)
{
    QString target = QFile::symLinkTarget(QStringLiteral("/proc/") + pid + QStringLiteral("/exe"));
    const QString deleted = QStringLiteral(" (deleted)");
    if (target.endsWith(deleted))
        target.chop(deleted.size());
    return target;
}

} // namespace

QList<qint64> OwnConverterProcesses(const QString& executablePath)
{
    const QString wanted = QFileInfo(executablePath).canonicalFilePath();
    if (wanted.isEmpty())
        return {};

    QHash<qint64, qint64> parents;
    QList<qint64> candidates;
    const QStringList entries =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        parents.insert(pid, parentOf(entry));
        if (runningFile(entry) == wanted)
            candidates << pid;
    }

    const qint64 self = ::getpid();
    QList<qint64> own;
    for (const qint64 pid : candidates) {
        qint64 ancestor = parents.value(pid, -1);
        for (int depth = 0; ancestor > 1 && depth < 4096; ++depth) {
            if (ancestor == self) {
                own << pid;
                break;
            }
            ancestor = parents.value(ancestor, -1);
        }
    }
    return own;
}

QList<qint64> KillProcessesByName(const QString& executablePath, const QSet<qint64>& spare)
{
    QList<qint64> signalled;
    for (const qint64 pid : OwnConverterProcesses(executablePath)) {
        if (!spare.contains(pid) && ::kill(static_cast<pid_t>(pid), SIGTERM) == 0)
            signalled << pid;
    }
    return signalled;
}
