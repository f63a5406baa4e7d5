#pragma once

#include "intake/folder_search.h"

#include <QObject>
#include <QThread>

#include <atomic>

// Runs SearchFolder on a thread of its own so the window keeps repainting and handling drops and
// the batch's events during a long search. Found paths arrive on the owner's thread in search
// order, in batches, and then finished() once. The window decides when to append them; appending
// at finished() keeps entries that were added during the search ahead of the searched ones.
class FolderSearchJob : public QObject
{
    Q_OBJECT

public:
    explicit FolderSearchJob(QObject* parent = nullptr);
    ~FolderSearchJob() override; // cancels a running search and waits for its thread

    // Starts a search; false (and nothing happens) while another one is still running.
    bool start(const QString& folder, QChar separator = QDir::separator());
    void cancel();
    bool isRunning() const { return m_running; }

    // How many paths a batch holds at most; a smaller batch goes out when the next path is found
    // 100 ms after the last batch, so a slow search still shows its progress.
    static constexpr qsizetype BatchSize = 2000;

signals:
    void filesFound(const FoundFiles& found);
    void finished(const SearchReport& report);

private:
    void deliver(FoundFiles batch);

    QThread* m_thread = nullptr;
    std::atomic_bool m_cancelled{false};
    bool m_running = false;
};
