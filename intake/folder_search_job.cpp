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
        QStringList batch;
        QElapsedTimer sinceBatch;
        sinceBatch.start();
        const auto send = [&] {
            deliver(std::move(batch));
            batch = QStringList();
            sinceBatch.restart();
        };
        const SearchReport report = SearchFolder(
            folder,
            [&](QString&& path) {
                batch += std::move(path);
                if (batch.size() >= BatchSize || sinceBatch.hasExpired(BatchIntervalMs))
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

void FolderSearchJob::deliver(QStringList batch)
{
    QMetaObject::invokeMethod(
        this, [this, paths = std::move(batch)] { emit filesFound(paths); }, Qt::QueuedConnection);
}
