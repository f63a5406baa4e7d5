#include "cli/batch_run.h"

#include <QDir>

namespace {

QVector<QString> outputsOf(const QVector<BatchJob>& jobs)
{
    QVector<QString> outputs;
    outputs.reserve(jobs.size());
    for (const BatchJob& job : jobs)
        outputs.append(job.invocation.outputPath);
    return outputs;
}

} // namespace

BatchRun::BatchRun(QVector<BatchJob> jobs, int parallelJobs, const ConversionSettings& settings,
                   MessageSink& messages, BatchObserver& observer, QObject* parent)
    : QObject(parent), m_jobs(std::move(jobs)), m_settings(settings), m_observer(observer),
      m_queue(outputsOf(m_jobs)), m_reasons(m_jobs.size()), m_ended(m_jobs.size(), false)
{
    for (int i = 0; i < parallelJobs; ++i) {
        auto slot = std::make_shared<Slot>();
        slot->runner = std::make_unique<DOSOutputs>(messages);
        slot->tracker.setCutter(settings.cutterOn, settings.cutLength);
        Slot* raw = slot.get();
        connect(raw->runner.get(), &DOSOutputs::ReceiveOutputs, this,
                [this, raw](const QString& block) {
                    if (const auto display = raw->tracker.ReceiveOutputs(block)) {
                        m_observer.jobProgress(raw->job, display->caption,
                                               display->width / ProgressTracker::ProgressFullWidth);
                    }
                });
        connect(raw->runner.get(), &DOSOutputs::CommandOver, this, [this, raw] {
            const JobResult& result = raw->runner->lastResult();
            QString reason;
            if (!result.succeeded()) {
                reason = result.stoppedByUser ? QStringLiteral("stopped")
                         : result.lastErrorLine.isEmpty()
                             ? QStringLiteral("the converter failed (exit code %1)")
                                   .arg(result.exitCode)
                             : result.lastErrorLine;
            }
            jobOver(*raw, result.succeeded(), reason);
        });
        connect(raw->runner.get(), &DOSOutputs::StartFailed, this,
                [this, raw](const QString& message) {
                    m_stopping = true; // the converter cannot run: the other jobs would fail alike
                    jobOver(*raw, false, message);
                });
        m_slots.append(slot);
    }
}

BatchRun::~BatchRun() = default;

void BatchRun::start()
{
    fillSlots();
    finishIfDone();
}

void BatchRun::stop()
{
    m_stopping = true;
    for (const auto& slot : m_slots) {
        if (slot->job >= 0)
            slot->runner->stop(2000);
    }
    finishIfDone();
}

void BatchRun::fillSlots()
{
    for (const auto& slot : m_slots) {
        while (!m_stopping && slot->job < 0) {
            const std::optional<int> next = m_queue.takeNext();
            if (!next)
                return;
            launch(*slot, *next);
        }
    }
}

void BatchRun::launch(Slot& slot, int job)
{
    const BatchJob& batchJob = m_jobs.at(job);
    m_observer.jobStarted(job);
    // A job that keeps its folders writes below the output folder, into folders made as needed.
    QString problem = batchJob.problem;
    if (problem.isEmpty() && !batchJob.outputFolder.isEmpty() &&
        !QDir().mkpath(batchJob.outputFolder))
        problem = QStringLiteral("cannot create the output folder %1").arg(batchJob.outputFolder);
    if (!problem.isEmpty()) {
        m_queue.finish(job);
        m_ended[job] = true;
        m_reasons[job] = problem;
        m_failed.append(job);
        m_observer.jobFinished(job, false, problem);
        return;
    }
    slot.job = job;
    slot.tracker.reset();
    slot.runner->setCommandLine(batchJob.commandText, batchJob.invocation);
    if (slot.runner->ExecuteCommand() != DOSOutputs::StartResult::Started) {
        m_stopping = true; // the converter cannot run: the other jobs would fail alike
        jobOver(slot, false, QStringLiteral("the converter could not be started"));
    }
}

void BatchRun::jobOver(Slot& slot, bool succeeded, const QString& reason)
{
    const int job = slot.job;
    if (job < 0)
        return;
    slot.job = -1;
    m_queue.finish(job);
    m_ended[job] = true;
    if (succeeded) {
        ++m_converted;
    } else {
        m_reasons[job] = reason;
        m_failed.append(job);
    }
    m_observer.jobFinished(job, succeeded, reason);
    fillSlots();
    finishIfDone();
}

void BatchRun::finishIfDone()
{
    if (m_finished)
        return;
    for (const auto& slot : m_slots) {
        if (slot->job >= 0)
            return;
    }
    if (!m_queue.done() && !m_stopping)
        return;
    // Jobs a stopped batch never reached are failures too: the summary must account for every file.
    for (int job = 0; job < m_jobs.size(); ++job) {
        if (!m_ended[job]) {
            m_ended[job] = true;
            m_reasons[job] = QStringLiteral("not converted: the batch was stopped");
            m_failed.append(job);
        }
    }
    m_finished = true;
    emit finished();
}
