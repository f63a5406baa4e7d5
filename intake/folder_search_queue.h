#pragma once

#include "intake/file_list_model.h"
#include "intake/folder_search_job.h"

#include <QList>
#include <QObject>
#include <QStringList>

// The folders the user asked to add (Add Folder, or folders in a drop), searched one after the
// other in the background, in the order they were asked for. Each folder's files are handed over
// whole once its search has ended, so a folder's files always follow those of the folder asked
// for before it. A folder may carry entries that must join the list right after its files (the
// files dropped after it in the same drop).
class FolderSearchQueue : public QObject
{
    Q_OBJECT

public:
    explicit FolderSearchQueue(QObject* parent = nullptr);

    // Searches the folder once every folder queued before it has been searched.
    void enqueue(const QString& folder, QVector<FileEntry> then = {});
    // Stops the running search and forgets the waiting ones; nothing more is handed over.
    void cancel();
    // True from the first enqueue until the last queued search has ended.
    bool isBusy() const { return !m_queue.isEmpty(); }

signals:
    // One folder's search has ended: the folder as it was queued, its files in search order, then
    // the entries that waited.
    void folderSearched(const QString& folder, const FoundFiles& found,
                        const QVector<FileEntry>& then);
    // The last queued search has ended (or the queue was cancelled).
    void idle();

private:
    struct Pending
    {
        QString folder;
        QVector<FileEntry> then;
    };

    void startFront();
    void searchEnded();

    FolderSearchJob m_job;
    QList<Pending> m_queue; // the running search first
    FoundFiles m_found;
    bool m_cancelled = false;
};
