#pragma once

#include "converter/gated_loudness.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <memory>

// The work that ends one album once its last track is done, none of it on the caller's thread for
// long: the outputs the existing-output rule left in place are measured first, decoded by the
// converter's measure mode one after the other in processes of their own; then, in a thread, the
// album is gated as one programme from every track's report and its values go into each file
// through a copy beside it renamed over it.
class AlbumFinish : public QObject
{
    Q_OBJECT

public:
    struct Track
    {
        QString output;
        LoudnessReport report;
    };

    // converter: the program that measures the outputs in toMeasure.
    AlbumFinish(QString folder, QVector<Track> tracks, QStringList toMeasure, QString converter,
                QObject* parent = nullptr);
    // A measurement still running is ended; tags being written are written to the end.
    ~AlbumFinish() override;

    void start();

signals:
    // A line of the end report: the album's values, or why a file did not get them.
    void said(const QString& line);
    void over();

private:
    void measureNext();
    void measured();
    void write();

    QString m_folder;
    QVector<Track> m_tracks;
    QStringList m_toMeasure;
    QString m_converter;
    QProcess* m_process = nullptr;
    QString m_measuring;
    QThread* m_thread = nullptr;
};

// The album values go into a copy beside the file, which is put on the disk and renamed over it,
// so the file is never seen half-written and is whole after a power cut. The copy is written and
// its way to the disk started first (the copies of one album are all on their way together), then
// it is waited for and put in place.
// The copy with the album values, its writing to the disk started; empty, with the reason in
// `error`, when there is none and the file keeps what it had.
QString CopyWithAlbumTags(const QString& path, double loudness, double peak, QString& error);
// Once the copy is on the disk, it replaces the file; false, with the reason in `error`, when the
// file keeps what it had (the copy is then removed).
bool PlaceAlbumCopy(const QString& copy, const QString& path, QString& error);
