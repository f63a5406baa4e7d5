#include "engine/album_loudness.h"

#include "converter/loudness_tags.h"
#include "engine/batch_scheduler.h"
#include "intake/file_list_model.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The source a job converts: the value of the converter's "-i".
QString sourceOf(const ScheduledJob& job)
{
    const QStringList& arguments = job.plan.invocation.arguments;
    const qsizetype input = arguments.indexOf(QStringLiteral("-i"));
    return input >= 0 && input + 1 < arguments.size() ? arguments.at(input + 1) : QString();
}

bool tagsLoudness(const ScheduledJob& job)
{
    const QStringList& arguments = job.plan.invocation.arguments;
    return arguments.size() >= 2 && arguments.at(0) == QLatin1String("-loudness") &&
           arguments.at(1) == QLatin1String("tag");
}

} // namespace

QString AlbumFolderOf(const QString& sourcePath)
{
    return QFileInfo(sourcePath).absolutePath();
}

bool WriteAlbumTags(const QString& path, double loudness, double peak, QString& error)
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
        return false;
    }
    std::string why;
    if (!writeLoudnessTags(QFile::encodeName(copy).toStdString(), LoudnessScope::Album, loudness,
                           peak, why)) {
        QFile::remove(copy);
        error = QString::fromStdString(why);
        return false;
    }
    // rename() replaces the file in one step, which QFile::rename does not.
    if (std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()) !=
        0) {
        QFile::remove(copy);
        error = QStringLiteral("cannot put the album values into %1").arg(path);
        return false;
    }
    return true;
}

AlbumLoudness::AlbumLoudness(BatchScheduler& scheduler, FileListModel& list, QObject* parent)
    : QObject(parent), m_list(list)
{
    connect(&scheduler, &BatchScheduler::jobStarted, this, &AlbumLoudness::onStarted);
    connect(&scheduler, &BatchScheduler::jobFinished, this, &AlbumLoudness::onFinished);
    connect(&scheduler, &BatchScheduler::finished, this, &AlbumLoudness::onBatchOver);
    connect(&list, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                if (m_batchOpen)
                    countEntries(first, last);
            });
}

void AlbumLoudness::countEntries(int first, int last)
{
    for (int row = first; row <= last && row < m_list.count(); ++row)
        ++m_albums[AlbumFolderOf(m_list.entry(row).queuePath)].waiting;
}

void AlbumLoudness::onStarted(const ScheduledJob& job)
{
    if (!m_batchOpen) {
        // The batch's entries are the list's entries when its first job starts, and those added
        // while it runs.
        m_batchOpen = true;
        m_albums.clear();
        countEntries(0, m_list.count() - 1);
    }
    if (job.slot >= 0)
        ++m_albums[AlbumFolderOf(sourceOf(job))].running;
}

void AlbumLoudness::onFinished(const ScheduledJob& job, const JobOutcome& outcome)
{
    // A refused entry has no plan; its album is gated when the batch is over.
    if (job.slot < 0)
        return;
    const QString folder = AlbumFolderOf(sourceOf(job));
    Album& album = m_albums[folder];
    album.running = std::max(0, album.running - 1);
    switch (outcome.kind) {
    case JobOutcome::Kind::Converted:
    case JobOutcome::Kind::Copied: // measured from the copied audio, decoded beside it
        if (tagsLoudness(job)) {
            const QString prefix = QStringLiteral("conv: ");
            const auto report = outcome.lastLine.startsWith(prefix)
                                    ? parseReport(outcome.lastLine.mid(prefix.size()).toStdString())
                                    : std::nullopt;
            if (report)
                album.tracks.append(Track{job.plan.outputPath(), *report});
            else
                tell(QStringLiteral("%1: no loudness report; left out of its album")
                         .arg(QDir::toNativeSeparators(job.plan.outputPath())));
        }
        break;
    case JobOutcome::Kind::Failed:
        break;
    default:
        album.broken = true;
        return;
    }
    if (--album.waiting <= 0 && album.running == 0)
        complete(folder, album);
}

void AlbumLoudness::onBatchOver(const BatchReport& report)
{
    m_batchOpen = false;
    // Entries removed before they ran, or refused, leave an album whose count never reaches zero.
    if (!report.stoppedEarly) {
        for (auto album = m_albums.begin(); album != m_albums.end(); ++album) {
            if (album->running == 0)
                complete(album.key(), *album);
        }
    }
    m_albums.clear();
}

void AlbumLoudness::complete(const QString& folder, Album& album)
{
    if (album.broken || album.tracks.isEmpty()) {
        album.tracks.clear();
        return;
    }
    BlockHistogram blocks;
    double peak = 0;
    for (const Track& track : std::as_const(album.tracks)) {
        addBlocks(blocks, track.report.blocks);
        peak = std::max(peak, track.report.peak);
    }
    const double loudness = gatedLoudness(blocks);
    const QString shown = QDir::toNativeSeparators(folder);
    if (!std::isfinite(loudness)) {
        tell(QStringLiteral("album %1: silent, no album values").arg(shown));
    } else {
        QStringList failures;
        for (const Track& track : std::as_const(album.tracks)) {
            QString error;
            if (!WriteAlbumTags(track.output, loudness, peak, error))
                failures << error;
        }
        tell(QStringLiteral("album %1: %2 files, gain %3, peak %4")
                 .arg(shown)
                 .arg(album.tracks.size() - failures.size())
                 .arg(QString::fromStdString(replayGainText(loudness)))
                 .arg(peak, 0, 'f', 6));
        for (const QString& failure : std::as_const(failures))
            tell(QStringLiteral("album %1: %2").arg(shown, failure));
    }
    album.tracks.clear();
}

void AlbumLoudness::tell(const QString& line)
{
    m_summary << line;
    emit albumDone(line);
}
