#include "engine/batch_scheduler.h"

#include "engine/batch_slot.h"
#include "engine/library_jobs.h"
#include "intake/file_list_model.h"
#include "platform/converter_processes.h"
#include "settings/extra_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

#include <algorithm>

namespace {

// How many waiting entries a start looks through for one whose output is free. Beyond that the
// free runner waits for a running job to end, so a long list of one output never stalls the window.
constexpr int LookAhead = 256;

} // namespace

BatchScheduler::BatchScheduler(FileListModel& list, MessageSink& messages,
                               SettingsProvider settings, QString programFolder, QObject* parent)
    : QObject(parent), m_list(list), m_messages(messages), m_settings(std::move(settings)),
      m_programFolder(std::move(programFolder))
{
    const auto freshRows = [this](int count) {
        QVector<RowState> rows(count);
        for (RowState& row : rows)
            row.ordinal = m_nextOrdinal++;
        return rows;
    };
    m_rows = freshRows(m_list.count());

    // Follow the entries while rows come and go around the running ones.
    connect(&m_list, &QAbstractItemModel::rowsInserted, this,
            [this, freshRows](const QModelIndex&, int first, int last) {
                const QVector<RowState> added = freshRows(last - first + 1);
                m_rows.insert(first, added.size(), RowState{});
                std::copy(added.begin(), added.end(), m_rows.begin() + first);
                m_firstOpen = std::min(m_firstOpen, first);
                if (m_running) {
                    for (int row = first; row <= last; ++row)
                        m_sources.add(SourceBytes(m_list.entry(row)));
                }
            });
    connect(&m_list, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                for (int row = first; row <= last && row < m_rows.size(); ++row) {
                    m_doneRows -= m_rows[row].done ? 1 : 0;
                    m_detachedJobs += m_rows[row].slot >= 0 ? 1 : 0;
                }
                m_firstOpen = 0;
                m_rows.remove(first, std::min<qsizetype>(last, m_rows.size() - 1) - first + 1);
            });
    connect(&m_list, &QAbstractItemModel::modelReset, this, [this, freshRows] {
        m_rows = freshRows(m_list.count());
        m_doneRows = 0;
        m_firstOpen = 0;
        m_detachedJobs = runningCount(); // every running job has lost its entry
        if (m_running) {
            for (const FileEntry& entry : m_list.entries())
                m_sources.add(SourceBytes(entry));
        }
    });
}

BatchScheduler::~BatchScheduler()
{
    // Each runner kills its running job and removes its partial output as it goes; nothing it
    // does then may reach this half-destroyed scheduler.
    for (const auto& slot : m_slots) {
        slot->runner->disconnect(this);
        slot->worker->disconnect(this);
    }
    std::vector<JobPlan> running;
    for (const auto& slot : m_slots) {
        if (slot->busy)
            running.push_back(slot->job.plan);
    }
    m_slots.clear();
    for (const JobPlan& plan : running)
        ClearStagedJob(plan);
}

void BatchScheduler::setFilesAtOnce(int count)
{
    m_filesAtOnce = std::clamp(count, 1, MaxFilesAtOnce);
}

void BatchScheduler::createSlots()
{
    while (static_cast<int>(m_slots.size()) < m_filesAtOnce) {
        auto slot = std::make_unique<Slot>();
        slot->runner = std::make_unique<DOSOutputs>(m_messages);
        Slot* raw = slot.get();
        connect(raw->runner.get(), &DOSOutputs::ReceiveOutputs, this,
                [this, raw](const QString& block) { onReceiveOutputs(*raw, block); });
        connect(raw->runner.get(), &DOSOutputs::CommandOver, this,
                [this, raw] { onCommandOver(*raw); });
        connect(raw->runner.get(), &DOSOutputs::StartFailed, this,
                [this, raw] { onStartFailed(*raw); });
        slot->worker = std::make_unique<ConvWorker>(m_messages);
        connect(raw->worker.get(), &ConvWorker::ReceiveOutputs, this,
                [this, raw](const QString& block) { onReceiveOutputs(*raw, block); });
        connect(raw->worker.get(), &ConvWorker::CommandOver, this,
                [this, raw] { onCommandOver(*raw); });
        connect(raw->worker.get(), &ConvWorker::StartFailed, this,
                [this, raw] { onStartFailed(*raw); });
        m_slots.push_back(std::move(slot));
    }
}

bool BatchScheduler::start()
{
    if (m_running)
        return false;
    createSlots();
    m_report = BatchReport{};
    m_failureOrdinals.clear();
    m_endedEntries = 0;
    m_stopRequested = false;
    m_sweepNeeded = true;
    m_sources.clear();
    for (const FileEntry& entry : m_list.entries())
        m_sources.add(SourceBytes(entry));
    // Tags may have changed since the last batch.
    for (RowState& row : m_rows)
        row.named = false;
    m_leftEntries.clear();
    m_running = true;
    fill();
    return true;
}

void BatchScheduler::stop(int graceMilliseconds)
{
    if (!m_running)
        return;
    m_stopRequested = true;
    for (const auto& slot : m_slots) {
        if (slot->busy)
            slot->stop(graceMilliseconds);
    }
    finishIfDone();
}

int BatchScheduler::runningCount() const
{
    return static_cast<int>(
        std::count_if(m_slots.begin(), m_slots.end(), [](const auto& slot) { return slot->busy; }));
}

const ProgressTracker& BatchScheduler::tracker(int slot) const
{
    static const ProgressTracker idle;
    return slot >= 0 && slot < static_cast<int>(m_slots.size()) ? m_slots[slot]->tracker : idle;
}

int BatchScheduler::firstOpenRow() const
{
    // Finished entries that stay in the list (a fixed list) are passed over once, not every time.
    while (m_firstOpen < m_rows.size() && m_rows[m_firstOpen].done)
        ++m_firstOpen;
    return m_firstOpen;
}

qint64 BatchScheduler::processId(int slot) const
{
    return slot >= 0 && slot < static_cast<int>(m_slots.size()) ? m_slots[slot]->processId() : 0;
}

int BatchScheduler::findRow(int slot) const
{
    // Running entries are the first open ones, so the search ends near the top of the list.
    for (int row = firstOpenRow(); row < m_rows.size(); ++row) {
        if (m_rows[row].slot == slot)
            return row;
    }
    return -1;
}

int BatchScheduler::rowOf(const ScheduledJob& job) const
{
    return job.slot >= 0 && job.slot < static_cast<int>(m_slots.size()) &&
                   m_slots[job.slot]->busy && m_slots[job.slot]->job.ordinal == job.ordinal
               ? findRow(job.slot)
               : -1;
}

// Every entry of the batch: ended, open on the list, or running with its entry taken off the list,
// as otherwise the bar runs ahead while such a job converts and falls back when it ends.
int BatchScheduler::batchEntries() const
{
    return m_endedEntries + static_cast<int>(m_rows.size()) - m_doneRows + m_detachedJobs;
}

double BatchScheduler::overallFraction() const
{
    const int total = batchEntries();
    if (total <= 0)
        return 1;
    double share = m_endedEntries;
    for (const auto& slot : m_slots)
        share += slot->busy ? slot->fraction : 0;
    return std::clamp(share / total, 0.0, 1.0);
}

QString BatchScheduler::sourceOf(int row) const
{
    const FileEntry& entry = m_list.entry(row);
    return entry.displayText.isEmpty() ? entry.queuePath : entry.displayText;
}

void BatchScheduler::queueFill()
{
    // The next job starts from the event loop, not from inside a runner's signal.
    if (m_fillQueued)
        return;
    m_fillQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_fillQueued = false;
        fill();
    });
}

void BatchScheduler::fill()
{
    if (!m_running)
        return;
    bool more = true;
    for (int i = 0; i < m_filesAtOnce && i < static_cast<int>(m_slots.size()); ++i) {
        Slot* slot = m_slots[i].get();
        while (more && !slot->busy && !m_stopRequested && !m_report.startFailed)
            more = startNext(*slot);
    }
    finishIfDone();
}

bool BatchScheduler::startNext(Slot& slot)
{
    QSet<QString> outputsInUse;
    for (const auto& other : m_slots) {
        if (other->busy)
            outputsInUse.insert(OutputKey(other->job.plan));
    }
    std::optional<ConversionSettings> settings;
    int scanned = 0;
    for (int row = firstOpenRow(); row < m_rows.size() && scanned < LookAhead; ++row) {
        if (m_rows[row].slot >= 0 || m_rows[row].done)
            continue;
        ++scanned;
        const FileEntry& entry = m_list.entry(row);
        if (m_refusal) {
            if (const QString reason = m_refusal(entry); !reason.isEmpty()) {
                refuse(row, reason);
                return true;
            }
        }
        if (!settings)
            settings = m_settings();
        FileEntry named;
        const FileEntry* planned = &entry;
        if (!settings->library.namePattern.isEmpty() && entry.outputName.isEmpty()) {
            if (!m_rows[row].named)
                nameRows(*settings);
            named = entry;
            named.outputName = m_rows[row].outputName;
            planned = &named;
        }
        JobPlan plan = PlanJob(m_programFolder, *planned, *settings);
        if (const QString reason = m_sources.refusalFor(plan); !reason.isEmpty()) {
            refuse(row, reason);
            return true;
        }
        const QString output = OutputKey(plan);
        // A waiting entry holds its output for itself, so no later one overtakes it.
        if (!output.isEmpty() && outputsInUse.contains(output))
            continue;
        outputsInUse.insert(output);
        // Decided as the job starts: an output an earlier job of this batch wrote counts too.
        const QString plannedOutput = plan.outputPath();
        const ExistingDecision existing = ApplyExistingRule(
            plan, entry.queuePath, settings->library.existing,
            [&outputsInUse, &output](const QByteArray& path) {
                const QString key = OutputKey(path);
                return key != output && outputsInUse.contains(key);
            });
        if (existing.skip) {
            skip(row, plan);
            return true;
        }
        if (plan.outputPath() != plannedOutput) {
            outputsInUse.insert(OutputKey(plan));
            if (const QString reason = m_sources.refusalFor(plan); !reason.isEmpty()) {
                refuse(row, reason);
                return true;
            }
        }
        if (const QString reason = PrepareStagedJob(plan); !reason.isEmpty()) {
            refuse(row, reason);
            return true;
        }
        launch(slot, row, plan, *settings);
        return true;
    }
    return false;
}

void BatchScheduler::nameRows(const ConversionSettings& settings)
{
    // The whole list takes part, so a name is numbered after every earlier entry with it.
    // The entries that finished and left the list still hold their names.
    QVector<FileEntry> entries = m_leftEntries + m_list.entries();
    NameEntries(entries, settings);
    const qsizetype left = m_leftEntries.size();
    for (int row = 0; row < m_rows.size() && left + row < entries.size(); ++row) {
        RowState& state = m_rows[row];
        state.named = true;
        if (state.slot < 0 && !state.done)
            state.outputName = entries[left + row].outputName;
    }
}

void BatchScheduler::launch(Slot& slot, int row, const JobPlan& plan,
                            const ConversionSettings& settings)
{
    // One level, as the folder picker allows choosing a new folder inside an existing one;
    // created before every job because the folder may change during the batch.
    QDir().mkdir(settings.outputFolder);
    // An output placed in subfolders of the output folder gets them, once that folder exists.
    const QString outputParent = QFileInfo(plan.invocation.outputPath).path();
    if (!plan.invocation.outputPath.isEmpty() && QFileInfo(settings.outputFolder).isDir() &&
        QDir::cleanPath(outputParent) != QDir::cleanPath(settings.outputFolder))
        QDir().mkpath(outputParent);

    // A converter of this program can only be left over when a job did not end cleanly (or from
    // before this batch): one that exits normally has ended its own helpers. The process-table
    // scan is skipped otherwise, as it costs more than the job start itself. The jobs running
    // now, the helpers they started and the workers (idle or not) are spared.
    if (m_sweepNeeded) {
        QSet<qint64> running;
        for (const auto& other : m_slots)
            other->addLiveProcesses(running);
        m_report.strayConvertersTerminated +=
            KillProcessesByName(plan.invocation.program, running).size();
        m_sweepNeeded = false;
    }

    const int slotIndex = static_cast<int>(
        std::find_if(m_slots.begin(), m_slots.end(), [&](const auto& s) { return s.get() == &slot; }) -
        m_slots.begin());
    slot.job = ScheduledJob{m_rows[row].ordinal, slotIndex, sourceOf(row), plan};
    slot.tracker.reset();
    slot.tracker.setCutter(settings.cutterOn, settings.cutLength);
    slot.fraction = 0;
    slot.busy = true;
    m_rows[row].slot = slotIndex;
    slot.choose(batchEntries() == 1, m_isolated.contains(slot.job.source));
    if (slot.start() != DOSOutputs::StartResult::Started) {
        // The runner has shown why; the next entries would fail the same way.
        onStartFailed(slot);
        return;
    }
    emit jobStarted(slot.job);
}

void BatchScheduler::refuse(int row, const QString& reason)
{
    const ScheduledJob job{m_rows[row].ordinal, -1, sourceOf(row), {}};
    emit jobStarted(job);
    recordFailure(job.ordinal, job.source, reason);
    ++m_endedEntries;
    markDone(row);
    emit jobFinished(job, JobOutcome{JobOutcome::Kind::Refused, reason});
}

void BatchScheduler::skip(int row, const JobPlan& plan)
{
    const ScheduledJob job{m_rows[row].ordinal, -1, sourceOf(row), plan};
    emit jobStarted(job);
    ++m_report.skipped;
    ++m_endedEntries;
    markDone(row);
    emit jobFinished(job, JobOutcome{JobOutcome::Kind::Skipped, plan.note, 0});
}

void BatchScheduler::onReceiveOutputs(Slot& slot, const QString& block)
{
    if (!slot.busy)
        return;
    if (const auto display = slot.tracker.ReceiveOutputs(block)) {
        slot.fraction = display->width / ProgressTracker::ProgressFullWidth;
        emit jobProgress(slot.job, *display);
    }
}

void BatchScheduler::onCommandOver(Slot& slot)
{
    if (!slot.busy)
        return;
    const JobResult& result = slot.result();
    // A source that crashed or hung a worker runs alone from now on, so it cannot take a worker
    // down again.
    if (slot.onWorker && result.crashed && !result.stoppedByUser)
        m_isolated.insert(slot.job.source);
    JobOutcome outcome;
    outcome.exitCode = result.exitCode;
    outcome.lastLine = result.lastErrorLine;
    // An output converted under a staged name is put in place only now; failing that, the job
    // failed, and nothing of it is left.
    const QString unplaced = result.succeeded() ? PlaceStagedOutput(slot.job.plan) : QString();
    ClearStagedJob(slot.job.plan);
    if (!unplaced.isEmpty()) {
        outcome.kind = JobOutcome::Kind::Failed;
        outcome.reason = unplaced;
        recordFailure(slot.job.ordinal, slot.job.source, unplaced);
    } else if (result.succeeded()) {
        outcome.kind = slot.job.plan.streamCopy ? JobOutcome::Kind::Copied
                                                : JobOutcome::Kind::Converted;
        ++(slot.job.plan.streamCopy ? m_report.copied : m_report.converted);
    } else if (result.stoppedByUser) {
        outcome.kind = JobOutcome::Kind::Stopped;
    } else {
        outcome.kind = JobOutcome::Kind::Failed;
        outcome.reason = StagedReason(slot.job.plan, result.lastErrorLine);
        recordFailure(slot.job.ordinal, slot.job.source, outcome.reason);
    }
    m_sweepNeeded = m_sweepNeeded || !result.succeeded();
    endJob(slot, outcome);
}

void BatchScheduler::onStartFailed(Slot& slot)
{
    if (!slot.busy)
        return;
    m_report.startFailed = true;
    ClearStagedJob(slot.job.plan);
    endJob(slot, JobOutcome{JobOutcome::Kind::NotStarted,
                            QStringLiteral("the converter could not be started")});
}

void BatchScheduler::endJob(Slot& slot, const JobOutcome& outcome)
{
    const ScheduledJob job = slot.job;
    const int row = findRow(job.slot);
    slot.busy = false;
    slot.fraction = 0;
    slot.tracker.reset();
    if (row >= 0)
        m_rows[row].slot = -1;
    else
        --m_detachedJobs;
    // A stopped entry, or one that never started, stays to be converted another time.
    const bool entryEnded = outcome.kind == JobOutcome::Kind::Converted ||
                            outcome.kind == JobOutcome::Kind::Copied ||
                            outcome.kind == JobOutcome::Kind::Failed;
    if (entryEnded) {
        ++m_endedEntries;
        if (row >= 0)
            markDone(row);
    }
    emit jobFinished(job, outcome);
    queueFill();
}

void BatchScheduler::markDone(int row)
{
    if (m_removeFinished) {
        if (m_rows[row].named)
            m_leftEntries.append(m_list.entry(row));
        m_list.removeEntry(row);
        return;
    }
    m_rows[row].done = true;
    ++m_doneRows;
}

void BatchScheduler::recordFailure(qint64 ordinal, const QString& source, const QString& reason)
{
    const auto at = std::upper_bound(m_failureOrdinals.begin(), m_failureOrdinals.end(), ordinal);
    const qsizetype index = at - m_failureOrdinals.begin();
    m_failureOrdinals.insert(index, ordinal);
    m_report.failures.insert(index, FailedSource{source, reason});
}

void BatchScheduler::finishIfDone()
{
    if (!m_running || runningCount() > 0 || m_fillQueued)
        return;
    // With nothing running, a fill that started nothing means the list holds nothing to start.
    m_running = false;
    m_report.stoppedEarly = m_stopRequested || m_report.startFailed;
    // Idle workers end with the batch; the next batch starts its own.
    for (const auto& slot : m_slots)
        slot->worker->quit();
    emit finished(m_report);
}
