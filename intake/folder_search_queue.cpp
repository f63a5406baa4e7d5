#include "intake/folder_search_queue.h"

#include <utility>

FolderSearchQueue::FolderSearchQueue(QObject* parent) : QObject(parent)
{
    connect(&m_job, &FolderSearchJob::filesFound, this, [this](const FoundFiles& found) {
        if (!m_cancelled)
            m_found.append(FoundFiles(found));
    });
    connect(&m_job, &FolderSearchJob::finished, this, &FolderSearchQueue::searchEnded);
}

void FolderSearchQueue::enqueue(const QString& folder, QVector<FileEntry> then)
{
    m_queue.append(Pending{folder, std::move(then)});
    if (m_queue.size() == 1)
        startFront();
}

void FolderSearchQueue::cancel()
{
    if (m_queue.isEmpty())
        return;
    // The running search stays first until its thread has ended; the waiting ones go now.
    m_queue.erase(m_queue.begin() + 1, m_queue.end());
    m_cancelled = true;
    m_found = FoundFiles();
    m_job.cancel();
}

void FolderSearchQueue::startFront()
{
    m_found = FoundFiles();
    m_cancelled = false;
    // Only ever called when no search runs: the queue was empty or its first search has ended.
    m_job.start(m_queue.first().folder);
}

void FolderSearchQueue::searchEnded()
{
    const Pending done = m_queue.takeFirst();
    const FoundFiles found = std::exchange(m_found, {});
    const bool cancelled = m_cancelled;
    if (!m_queue.isEmpty())
        startFront();
    if (!cancelled)
        emit folderSearched(done.folder, found, done.then);
    if (m_queue.isEmpty())
        emit idle();
}
