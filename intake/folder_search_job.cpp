#include "intake/folder_search_job.h"

#include <QElapsedTimer>

namespace {

constexpr qint64 BatchIntervalMs = 100;

} // namespace

FolderSearchJob::FolderSearchJob(QObject* parent) : QObject(parent) {}

FolderSearchJob::~FolderSearchJob()
{
    if (m_thread) {
        m_cancelled = true;
        m_thread->wait();
        delete m_thread;
    }
}

bool FolderSearchJob::start(const QString& folder, QChar separator)
{
    if (m_running)
        return false;
    if (m_thread) {
        m_thread->wait(); // already ended: finished() is only delivered after the thread's work
        delete m_thread;
    }
    m_running = true;
    m_cancelled = false;
    m_thread = QThread::create([this, folder, separator] {
        FoundFiles batch;
        QElapsedTimer sinceBatch;
        sinceBatch.start();
        const auto send = [&] {
            deliver(std::move(batch));
            batch = FoundFiles();
            sinceBatch.restart();
        };
        const SearchReport report = SearchFolder(
            folder,
            [&](QString&& path, QByteArray&& nativePath) {
                batch.append(std::move(path), std::move(nativePath));
                if (batch.paths.size() >= BatchSize || sinceBatch.hasExpired(BatchIntervalMs))
                    send();
            },
            separator, &m_cancelled);
        if (!batch.isEmpty())
            send();
        // Queued behind the last batch, so it arrives after every path.
        QMetaObject::invokeMethod(
            this,
            [this, report] {
                m_running = false;
                emit finished(report);
            },
            Qt::QueuedConnection);
    });
    m_thread->start();
    return true;
}

void FolderSearchJob::cancel()
{
    m_cancelled = true;
}

void FolderSearchJob::deliver(FoundFiles batch)
{
    QMetaObject::invokeMethod(
        this, [this, found = std::move(batch)] { emit filesFound(found); }, Qt::QueuedConnection);
}
