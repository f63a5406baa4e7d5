#pragma once

#include "converter/gated_loudness.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class BatchScheduler;
class FileListModel;
struct BatchReport;
struct JobOutcome;
struct ScheduledJob;

// The album values of a batch that tags loudness. An album is the files of one run that share a
// source folder. Each converted track reports its gating blocks and its peak on the converter's
// last line; once no entry of the folder is left to convert, the album is gated as one programme
// from the union of those reports, and its values go into each of its files through a copy beside
// it that is renamed over the file, so no file is ever seen half-written. An album with a stopped
// track is left with its track values only.
class AlbumLoudness : public QObject
{
    Q_OBJECT

public:
    AlbumLoudness(BatchScheduler& scheduler, FileListModel& list, QObject* parent = nullptr);

    // For the end report: one line per album tagged or not tagged, in the order they ended.
    const QStringList& summary() const { return m_summary; }

signals:
    void albumDone(const QString& line);

private:
    struct Track
    {
        QString output;
        LoudnessReport report;
    };
    struct Album
    {
        int waiting = 0; // entries of the folder not yet ended
        int running = 0;
        bool broken = false; // a track was stopped or could not start
        QVector<Track> tracks;
    };

    void countEntries(int first, int last);
    void onStarted(const ScheduledJob& job);
    void onFinished(const ScheduledJob& job, const JobOutcome& outcome);
    void onBatchOver(const BatchReport& report);
    void complete(const QString& folder, Album& album);
    void tell(const QString& line);

    FileListModel& m_list;
    QHash<QString, Album> m_albums; // by source folder
    bool m_batchOpen = false;
    QStringList m_summary;
};

// The folder an album is keyed by: the source's folder.
QString AlbumFolderOf(const QString& sourcePath);

// Adds the album values to the file through a copy beside it renamed over it; false, with the
// reason in `error`, when the file keeps what it had.
bool WriteAlbumTags(const QString& path, double loudness, double peak, QString& error);
