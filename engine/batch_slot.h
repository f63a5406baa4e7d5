#pragma once

#include "engine/batch_scheduler.h"
#include "engine/conv_worker.h"
#include "engine/dos_outputs.h"

#include <QSet>

#include <memory>

// One of a batch's files at once. It runs its jobs in its worker, which stays alive from job to
// job, or, for a converter that runs no jobs as a worker, one process a job in its runner. A
// source that crashed or hung a worker once runs in a worker of its own, started for its job and
// ended after it, so it cannot take another job's worker down, and a hang is still caught.
struct BatchScheduler::Slot
{
    std::unique_ptr<DOSOutputs> runner;
    std::unique_ptr<ConvWorker> worker;
    bool onWorker = false; // the running or last job runs in the worker
    bool alone = false;    // and in a worker of its own
    ProgressTracker tracker;
    ScheduledJob job;
    double fraction = 0;
    bool busy = false;

    // Where the next job runs. A batch of one file gains nothing from a worker (each job of a
    // remote run is such a batch), so it runs one converter of its own; the last file left on a
    // longer batch's list is not one. An isolated source runs in a worker of its own, whose
    // silence is watched.
    void choose(bool oneFile, bool isolated)
    {
        alone = isolated;
        onWorker = (!oneFile || alone) && worker->takesJobs(job.plan.invocation.program);
    }

    // Starts job in the worker or the runner, as onWorker says.
    DOSOutputs::StartResult start()
    {
        if (onWorker) {
            worker->setOneJobEach(alone);
            worker->setCommandLine(job.plan.commandText, job.plan.invocation);
            return worker->ExecuteCommand();
        }
        runner->setCommandLine(job.plan.commandText, job.plan.invocation);
        return runner->ExecuteCommand();
    }
    const JobResult& result() const
    {
        return onWorker ? worker->lastResult() : runner->lastResult();
    }
    // The running job's converter and the worker, idle or not.
    void addLiveProcesses(QSet<qint64>& processes) const
    {
        if (busy)
            processes.insert(processId());
        if (const qint64 alive = worker->workerProcessId())
            processes.insert(alive);
    }
    qint64 processId() const { return onWorker ? worker->processId() : runner->processId(); }
    void stop(int graceMilliseconds)
    {
        if (onWorker)
            worker->stop(graceMilliseconds);
        else
            runner->stop(graceMilliseconds);
    }
};
