#include "engine/album_loudness.h"

#include "converter/loudness_tags.h"
#include "engine/batch_scheduler.h"
#include "intake/file_list_model.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// The source a job converts: the value of the converter's "-i".
QString sourceOf(const JobPlan& plan)
{
    const QStringList& arguments = plan.invocation.arguments;
    const qsizetype input = arguments.indexOf(QStringLiteral("-i"));
    return input >= 0 && input + 1 < arguments.size() ? arguments.at(input + 1) : QString();
}

bool tagsLoudness(const JobPlan& plan)
{
    const QStringList& arguments = plan.invocation.arguments;
    return arguments.size() >= 2 && arguments.at(0) == QLatin1String("-loudness") &&
           arguments.at(1) == QLatin1String("tag");
}

} // namespace

QString AlbumFolderOf(const QString& sourcePath)
{
    return QFileInfo(sourcePath).absolutePath();
}

AlbumLoudness::AlbumLoudness(QObject* parent) : QObject(parent) {}

AlbumLoudness::AlbumLoudness(BatchScheduler& scheduler, FileListModel& list, QObject* parent)
    : QObject(parent), m_list(&list)
{
    connect(&scheduler, &BatchScheduler::jobStarted, this, [this](const ScheduledJob& job) {
        if (!m_batchOpen) {
            // The batch's entries are the list's entries when its first job starts, and those
            // added while it runs.
            open();
            for (int row = 0; row < m_list->count(); ++row)
                count(m_list->entry(row).queuePath);
        }
        started(job.plan, job.slot >= 0);
    });
    connect(&scheduler, &BatchScheduler::jobFinished, this,
            [this](const ScheduledJob& job, const JobOutcome& outcome) {
                ended(job.plan, outcome, job.slot >= 0);
            });
    connect(&scheduler, &BatchScheduler::finished, this,
            [this](const BatchReport& report) { close(report.stoppedEarly); });
    connect(&list, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                for (int row = first; m_batchOpen && row <= last && row < m_list->count(); ++row)
                    count(m_list->entry(row).queuePath);
            });
}

void AlbumLoudness::open()
{
    m_batchOpen = true;
    m_settlePending = false;
    m_albums.clear();
    m_summary.clear();
}

void AlbumLoudness::count(const QString& source)
{
    ++m_albums[AlbumFolderOf(source)].waiting;
}

void AlbumLoudness::started(const JobPlan& plan, bool ran)
{
    if (ran)
        ++m_albums[AlbumFolderOf(sourceOf(plan))].running;
}

void AlbumLoudness::ended(const JobPlan& plan, const JobOutcome& outcome, bool ran)
{
    // A refused entry has no plan; its album is gated when the batch is over.
    const QString source = sourceOf(plan);
    if (source.isEmpty())
        return;
    const QString folder = AlbumFolderOf(source);
    Album& album = m_albums[folder];
    if (ran)
        album.running = std::max(0, album.running - 1);
    switch (outcome.kind) {
    case JobOutcome::Kind::Converted:
    case JobOutcome::Kind::Copied: // measured from the copied audio, decoded beside it
        if (tagsLoudness(plan)) {
            const QString prefix = QStringLiteral("conv: ");
            const auto report = outcome.lastLine.startsWith(prefix)
                                    ? parseReport(outcome.lastLine.mid(prefix.size()).toStdString())
                                    : std::nullopt;
            if (report)
                album.tracks.append(AlbumFinish::Track{plan.outputPath(), *report});
            else
                tell(QStringLiteral("%1: no loudness report; left out of its album")
                         .arg(QDir::toNativeSeparators(plan.outputPath())));
        }
        break;
    case JobOutcome::Kind::Skipped:
        if (tagsLoudness(plan) && holdsLoudnessTags(QFile::encodeName(plan.outputPath()).toStdString())) {
            album.leftInPlace << plan.outputPath();
            album.converter = plan.invocation.program;
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

void AlbumLoudness::close(bool stoppedEarly)
{
    m_batchOpen = false;
    // Entries removed before they ran, or refused, leave an album whose count never reaches zero.
    if (!stoppedEarly) {
        for (auto album = m_albums.begin(); album != m_albums.end(); ++album) {
            if (album->running == 0)
                complete(album.key(), *album);
        }
    }
    m_albums.clear();
    m_settlePending = true;
    settleIfDone();
}

void AlbumLoudness::complete(const QString& folder, Album& album)
{
    // Without a track converted now, the files keep the album values they have.
    if (album.broken || album.tracks.isEmpty()) {
        album.tracks.clear();
        album.leftInPlace.clear();
        return;
    }
    auto* finish = new AlbumFinish(folder, std::exchange(album.tracks, {}),
                                   std::exchange(album.leftInPlace, {}), album.converter, this);
    m_finishing.insert(finish);
    connect(finish, &AlbumFinish::said, this, &AlbumLoudness::tell);
    connect(finish, &AlbumFinish::over, this, [this, finish] {
        m_finishing.remove(finish);
        finish->deleteLater();
        settleIfDone();
    });
    finish->start();
}

void AlbumLoudness::settleIfDone()
{
    if (m_settlePending && !m_batchOpen && m_finishing.isEmpty()) {
        m_settlePending = false;
        emit settled();
    }
}

void AlbumLoudness::tell(const QString& line)
{
    m_summary << line;
    emit albumDone(line);
}
