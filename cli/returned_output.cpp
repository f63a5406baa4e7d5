#include "cli/returned_output.h"

#include "converter/unfinished_name.h"
#include "engine/staged_names.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}


// Copies the file into a new file of this process's unfinished form beside the output, flushed
// to the disk, and renames it onto the output; 0 or the errno of the step that failed.
int copyInPlace(const QByteArray& from, const QByteArray& destination)
{
    const std::string unfinished = unfinishedOutputPath(destination.toStdString(), ::getpid());
    const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    const int out = ::open(unfinished.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = 0;
    char block[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        for (ssize_t written = 0; written < got && error == 0;) {
            const ssize_t put = ::write(out, block + written, size_t(got - written));
            if (put < 0 && errno != EINTR)
                error = errno;
            else if (put > 0)
                written += put;
        }
        if (error != 0)
            break;
    }
    ::close(in);
    if (error == 0 && ::fsync(out) != 0)
        error = errno;
    if (::close(out) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(unfinished.c_str(), destination.constData()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(unfinished.c_str());
    return error;
}

} // namespace

bool PlaceReturnedOutput(const QString& staged, const QByteArray& destination, QString* error)
{
    const QString shown = QFile::decodeName(destination);
    const QByteArray folder = destination.left(destination.lastIndexOf('/'));
    if (const int why = MakeFolders(folder); why != 0) {
        *error = QStringLiteral("cannot create the folder of %1: %2").arg(shown, systemError(why));
        return false;
    }
    const QByteArray from = QFile::encodeName(staged);
    if (std::rename(from.constData(), destination.constData()) == 0)
        return true;
    int why = errno;
    if (why == EXDEV)
        why = copyInPlace(from, destination);
    if (why != 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(shown, systemError(why));
        return false;
    }
    ::unlink(from.constData());
    return true;
}
