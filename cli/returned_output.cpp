#include "cli/returned_output.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool PlaceReturnedOutput(const QString& staged, const QString& destination, QString* error)
{
    if (!QDir().mkpath(QFileInfo(destination).absolutePath())) {
        *error = QStringLiteral("cannot create the folder of %1").arg(destination);
        return false;
    }
    if (std::rename(QFile::encodeName(staged).constData(),
                    QFile::encodeName(destination).constData()) == 0)
        return true;
    if (errno != EXDEV) {
        *error = QStringLiteral("cannot write %1: %2")
                     .arg(destination, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    QFile in(staged);
    QSaveFile out(destination);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(destination, out.errorString());
        return false;
    }
    while (!in.atEnd()) {
        const QByteArray block = in.read(1 << 20);
        if (block.isEmpty() || out.write(block) != block.size())
            break;
    }
    if (!in.atEnd() || !out.commit()) {
        out.cancelWriting();
        *error = QStringLiteral("cannot write %1: %2").arg(destination, out.errorString());
        return false;
    }
    in.remove();
    return true;
}
