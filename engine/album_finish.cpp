#include "engine/album_finish.h"

#include "converter/loudness_tags.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Starts writing the file to the disk (Wait: and waits until it is there); false when it cannot.
bool ToDisk(const QString& path, bool wait)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // A file system that cannot start the writing early still has it done by fsync.
    const bool done =
        wait ? ::fsync(fd) == 0 : (::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE), true);
    return ::close(fd) == 0 && done;
}

} // namespace

QString CopyWithAlbumTags(const QString& path, double loudness, double peak, QString& error)
{
    const QFileInfo info(path);
    const QString copy = info.dir().filePath(
        QStringLiteral(".%1.trevalon-album-%2.%3")
            .arg(info.completeBaseName())
            .arg(QCoreApplication::applicationPid())
            .arg(info.suffix()));
    QFile::remove(copy);
    if (!QFile::copy(path, copy)) {
        error = QStringLiteral("cannot copy %1 to add the album values").arg(path);
        return {};
    }
    std::string why;
    if (!writeLoudnessTags(QFile::encodeName(copy).toStdString(), LoudnessScope::Album, loudness,
                           peak, why)) {
        QFile::remove(copy);
        error = QString::fromStdString(why);
        return {};
    }
    if (!ToDisk(copy, false)) {
        QFile::remove(copy);
        error = QStringLiteral("cannot write the album values of %1 to the disk").arg(path);
        return {};
    }
    return copy;
}

bool PlaceAlbumCopy(const QString& copy, const QString& path, QString& error)
{
    // rename() replaces the file in one step, which QFile::rename does not.
    if (!ToDisk(copy, true) ||
        std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()) !=
            0) {
        QFile::remove(copy);
        error = QStringLiteral("cannot put the album values into %1").arg(path);
        return false;
    }
    return true;
}

AlbumFinish::AlbumFinish(QString folder, QVector<Track> tracks, QStringList toMeasure,
                         QString converter, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_tracks(std::move(tracks)),
      m_toMeasure(std::move(toMeasure)), m_converter(std::move(converter))
{
}

AlbumFinish::~AlbumFinish()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(3000);
    }
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void AlbumFinish::start()
{
    measureNext();
}

void AlbumFinish::measureNext()
{
    if (m_toMeasure.isEmpty()) {
        write();
        return;
    }
    m_measuring = m_toMeasure.takeFirst();
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_process, &QProcess::finished, this, &AlbumFinish::measured);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            measured();
    });
    m_process->start(m_converter, {QStringLiteral("-loudness"), QStringLiteral("measure"),
                                   QStringLiteral("-i"), m_measuring});
}

void AlbumFinish::measured()
{
    QProcess* process = std::exchange(m_process, nullptr);
    process->deleteLater();
    const QStringList lines = QString::fromUtf8(process->readAll())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString last = lines.isEmpty() ? process->errorString() : lines.constLast().trimmed();
    const QString prefix = QStringLiteral("conv: ");
    const auto report =
        process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0 &&
                last.startsWith(prefix)
            ? parseReport(last.mid(prefix.size()).toStdString())
            : std::nullopt;
    if (report)
        m_tracks.append(Track{m_measuring, *report});
    else
        emit said(QStringLiteral("album %1: cannot measure %2 (%3); it is left out of its album")
                      .arg(QDir::toNativeSeparators(m_folder), QDir::toNativeSeparators(m_measuring),
                           last));
    measureNext();
}

void AlbumFinish::write()
{
    // The lines the thread gives, said here once it is over.
    auto lines = std::make_shared<QStringList>();
    m_thread = QThread::create([tracks = m_tracks, folder = m_folder, lines] {
        BlockHistogram blocks;
        double peak = 0;
        for (const Track& track : tracks) {
            addBlocks(blocks, track.report.blocks);
            peak = std::max(peak, track.report.peak);
        }
        const double loudness = gatedLoudness(blocks);
        const QString shown = QDir::toNativeSeparators(folder);
        if (!std::isfinite(loudness)) {
            *lines << QStringLiteral("album %1: silent, no album values").arg(shown);
            return;
        }
        QStringList failures;
        QVector<std::pair<QString, QString>> copies; // the copy and the track it replaces
        for (const Track& track : tracks) {
            QString error;
            if (const QString copy = CopyWithAlbumTags(track.output, loudness, peak, error);
                !copy.isEmpty())
                copies.append({copy, track.output});
            else
                failures << QStringLiteral("album %1: %2").arg(shown, error);
        }
        for (const auto& [copy, output] : std::as_const(copies)) {
            QString error;
            if (!PlaceAlbumCopy(copy, output, error))
                failures << QStringLiteral("album %1: %2").arg(shown, error);
        }
        *lines << QStringLiteral("album %1: %2 files, gain %3, peak %4")
                      .arg(shown)
                      .arg(tracks.size() - failures.size())
                      .arg(QString::fromStdString(replayGainText(loudness)))
                      .arg(peak, 0, 'f', 6)
               << failures;
    });
    connect(m_thread, &QThread::finished, this, [this, lines] {
        m_thread->deleteLater();
        m_thread = nullptr;
        for (const QString& line : std::as_const(*lines))
            emit said(line);
        emit over();
    });
    m_thread->start();
}
