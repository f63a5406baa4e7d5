#pragma once

#include "engine/album_finish.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

class BatchScheduler;
class FileListModel;
struct BatchReport;
struct JobOutcome;
struct JobPlan;
struct ScheduledJob;

// The album values of a batch that tags loudness. An album is the files of one run that share a
// source folder. Each converted or copied track reports its gating blocks and its peak on the
// converter's last line; once no entry of the folder is left to convert, the album is gated as one
// programme from the union of those reports, and its values go into each of its files (see
// AlbumFinish). Outputs the existing-output rule left in place join an album that has a track
// converted again, measured from the outputs themselves; an album whose files were all left in
// place is left alone, and so is an album with a stopped track.
class AlbumLoudness : public QObject
{
    Q_OBJECT

public:
    explicit AlbumLoudness(QObject* parent = nullptr);
    // Follows the scheduler's batches over the list's entries.
    AlbumLoudness(BatchScheduler& scheduler, FileListModel& list, QObject* parent = nullptr);

    // A batch run without a scheduler (on other machines) reports its jobs here: open, count every
    // entry's source, end every job, close.
    void open();
    void count(const QString& source);
    // ran: the job had a converter of its own (not refused, not left in place).
    void started(const JobPlan& plan, bool ran);
    void ended(const JobPlan& plan, const JobOutcome& outcome, bool ran);
    void close(bool stoppedEarly);

    // Albums still being measured or tagged.
    bool isBusy() const { return !m_finishing.isEmpty(); }
    // For the end report: one line per album tagged or not tagged in the last batch, in the order
    // they ended.
    const QStringList& summary() const { return m_summary; }

signals:
    void albumDone(const QString& line);
    // The batch is closed and none of its albums is being finished any more.
    void settled();

private:
    struct Album
    {
        int waiting = 0; // entries of the folder not yet ended
        int running = 0;
        bool broken = false;     // a track was stopped or could not start
        QVector<AlbumFinish::Track> tracks;
        QStringList leftInPlace; // outputs to measure before the album is gated
        QString converter;       // what measures them
    };

    void complete(const QString& folder, Album& album);
    void tell(const QString& line);
    void settleIfDone();

    FileListModel* m_list = nullptr;
    QHash<QString, Album> m_albums; // by source folder
    QSet<AlbumFinish*> m_finishing;
    bool m_batchOpen = false;
    bool m_settlePending = false;
    QStringList m_summary;
};

// The folder an album is keyed by: the source's folder.
QString AlbumFolderOf(const QString& sourcePath);
