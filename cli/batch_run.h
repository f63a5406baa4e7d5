#pragma once

#include "cli/batch_jobs.h"
#include "cli/job_queue.h"
#include "engine/dos_outputs.h"
#include "engine/progress_tracker.h"

#include <QObject>
#include <QVector>

#include <memory>

class MessageSink;

// What a batch run tells its front end. Job numbers are positions in the batch's job list.
class BatchObserver
{
public:
    virtual ~BatchObserver() = default;
    virtual void jobStarted(int job) = 0;
    virtual void jobProgress(int job, const QString& caption, double fraction) = 0;
    virtual void jobFinished(int job, bool succeeded, const QString& reason) = 0;
};

// Converts a list of jobs with up to parallelJobs converters at once, each slot a runner of its own with
// its own progress tracker. Jobs with the same output run one after the other in list order.
class BatchRun : public QObject
{
    Q_OBJECT

public:
    BatchRun(QVector<BatchJob> jobs, int parallelJobs, const ConversionSettings& settings,
             MessageSink& messages, BatchObserver& observer, QObject* parent = nullptr);
    ~BatchRun() override;

    void start();
    // Stops every running converter (their partial outputs are removed) and starts no more jobs.
    void stop();

    int converted() const { return m_converted; }
    const QVector<int>& failedJobs() const { return m_failed; }
    const QString& failureReason(int job) const { return m_reasons.at(job); }
    bool stopped() const { return m_stopping; }

signals:
    void finished();

private:
    struct Slot
    {
        std::unique_ptr<DOSOutputs> runner;
        ProgressTracker tracker;
        int job = -1;
    };

    void fillSlots();
    void launch(Slot& slot, int job);
    void jobOver(Slot& slot, bool succeeded, const QString& reason);
    void finishIfDone();

    QVector<BatchJob> m_jobs;
    ConversionSettings m_settings;
    BatchObserver& m_observer;
    JobQueue m_queue;
    QVector<std::shared_ptr<Slot>> m_slots;
    QVector<QString> m_reasons;
    QVector<bool> m_ended;
    QVector<int> m_failed;
    int m_converted = 0;
    bool m_stopping = false;
    bool m_finished = false;
};
