#include "platform/private_folder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

} // namespace

QString ProgramTempFolder()
{
    return QDir::tempPath() + QStringLiteral("/trevalon-") + QString::number(getuid());
}

bool EnsurePrivateFolder(const QString& path, QString* error)
{
    // Qt's temporary folder is empty when TMPDIR is not text (a name that is not UTF-8) or names
    // no folder, and the program's folders would then be made in the root folder.
    if (QDir::tempPath().isEmpty())
        return fail(error, QStringLiteral("no temporary folder: TMPDIR (%1) is not UTF-8 text or "
                                          "names no folder; set TMPDIR to another folder")
                               .arg(QFile::decodeName(qgetenv("TMPDIR"))));
    const QByteArray encoded = QFile::encodeName(path);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
        return fail(error, QStringLiteral("cannot create %1: %2")
                               .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    struct stat info {};
    if (::lstat(encoded.constData(), &info) != 0)
        return fail(error, QStringLiteral("cannot examine %1: %2")
                               .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    if (!S_ISDIR(info.st_mode))
        return fail(error, QStringLiteral("%1 is not a folder of its own").arg(path));
    if (info.st_uid != ::getuid())
        return fail(error, QStringLiteral("%1 belongs to another user").arg(path));
    if ((info.st_mode & 0777) != 0700 && ::chmod(encoded.constData(), 0700) != 0)
        return fail(error, QStringLiteral("cannot restrict %1 to its owner").arg(path));
    return true;
}
