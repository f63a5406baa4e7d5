#pragma once

#include "engine/conversion_settings.h"
#include "engine/job_plan.h"
#include "engine/progress_tracker.h"
#include "engine/source_guard.h"
#include "intake/file_list_model.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class DOSOutputs;
class FileListModel;
class MessageSink;

// A source whose conversion failed, with the converter's last console line about it.
struct FailedSource
{
    QString source;
    QString lastErrorLine;
};

// How a batch ended.
struct BatchReport
{
    int converted = 0;            // jobs that ended successfully by encoding
    int copied = 0;               // jobs that ended successfully by copying the audio
    int skipped = 0;              // entries whose output was already there and up to date
    QList<FailedSource> failures; // jobs that ended with an error, in list order
    bool stoppedEarly = false;    // a job could not start, or stop() was asked for
    bool startFailed = false;     // a job could not start at all
    qsizetype strayConvertersTerminated = 0; // left-over converters of this program ended
};

// One job as the scheduler runs it.
struct ScheduledJob
{
    qint64 ordinal = -1; // its entry's place among every entry the list has held, in list order
    int slot = -1;       // which of the runners runs it
    QString source;      // the entry's display text, or its queue path when it has none
    JobPlan plan;
};

// How one job ended.
struct JobOutcome
{
    enum class Kind { Converted, Failed, Stopped, NotStarted, Refused, Copied, Skipped };
    Kind kind = Kind::Failed;
    // Failed: the converter's last line ("" when it printed none); Refused: why the entry was not
    // converted at all; NotStarted: that the converter could not be started; Skipped: why.
    QString reason;
    int exitCode = -1;
    // The converter's last console line, whatever the end: its loudness report after a success.
    QString lastLine = {};

    // A copied or skipped file is a success as much as a converted one.
    bool succeeded() const
    {
        return kind == Kind::Converted || kind == Kind::Copied || kind == Kind::Skipped;
    }
};

// Converts the entries of a file list with up to filesAtOnce converters at once, each job with a
// runner and a progress tracker of its own. The list may be the window's live list (entries added
// while the batch runs join it; finished entries leave it) or a fixed list (finished entries stay
// and are passed over).
//
// Jobs start in list order, each with the settings read at the moment it starts. Two jobs with the
// same output file never run at once, and the later one in list order waits for the earlier, so
// it overwrites as a one-at-a-time batch would; outputs that differ only in letter case count as
// the same file, as they are on the memory cards and sticks music is taken away on. A job whose
// output would be one of the batch's sources (the entries it started with and those added since)
// is refused, so a batch never writes over a file it reads.
//
// With names from tags in the settings, an entry that does not carry its output name already (as
// the command line's entries do) is named together with the whole list when its job is planned,
// so equal names are numbered in list order, entries added during the batch included.
//
// Before a job starts, converters of this program left over from earlier runs or from a job that
// did not end cleanly are ended; the converters this scheduler is running are never touched.
//
// A job that cannot start ends the batch: the running jobs finish, no new one starts, and its
// entry stays in the list. Everything is driven by events: nothing waits, nothing nests.
class BatchScheduler : public QObject
{
    Q_OBJECT

public:
    using SettingsProvider = std::function<ConversionSettings()>;
    // A non-empty answer refuses the entry: it counts as failed with that reason, unconverted.
    using Refusal = std::function<QString(const FileEntry&)>;

    // programFolder holds data/conv.
    BatchScheduler(FileListModel& list, MessageSink& messages, SettingsProvider settings,
                   QString programFolder, QObject* parent = nullptr);
    // Jobs still running are stopped and their partial outputs removed.
    ~BatchScheduler() override;

    // These three apply from the next start().
    void setFilesAtOnce(int count);
    void setRemoveFinishedEntries(bool remove) { m_removeFinished = remove; }
    void setRefusal(Refusal refusal) { m_refusal = std::move(refusal); }
    int filesAtOnce() const { return m_filesAtOnce; }

    // Starts converting the list; false while a batch is under way. An empty list finishes at once.
    bool start();
    // Stops every running job (partial outputs removed, their entries stay) and starts no more.
    void stop(int graceMilliseconds = 3000);

    bool isRunning() const { return m_running; }
    int runningCount() const;
    const BatchReport& report() const { return m_report; }
    const ProgressTracker& tracker(int slot) const;
    // The process id of the converter a runner is running; 0 when it runs none.
    qint64 processId(int slot) const;
    // The list row of a running job; -1 when its entry has been removed.
    int rowOf(const ScheduledJob& job) const;
    // The batch as a whole, 0 to 1: the entries finished plus the shares of the running jobs,
    // over every entry of the batch, those added while it runs included. A running job counts
    // until it ends, also when its entry has been taken off the list.
    double overallFraction() const;

signals:
    void jobStarted(const ScheduledJob& job);
    void jobProgress(const ScheduledJob& job, const ProgressDisplay& display);
    // When a finished entry leaves the list, it has left before this is emitted.
    void jobFinished(const ScheduledJob& job, const JobOutcome& outcome);
    void finished(const BatchReport& report);

private:
    struct Slot;
    struct RowState
    {
        qint64 ordinal = -1;
        int slot = -1;
        bool done = false;
        bool named = false;  // names from tags were given to the list with this row in it
        QString outputName; // the name from tags, for an entry that does not carry one itself
    };

    void createSlots();
    void queueFill();
    void fill();
    bool startNext(Slot& slot);
    void nameRows(const ConversionSettings& settings);
    void launch(Slot& slot, int row, const JobPlan& plan, const ConversionSettings& settings);
    void refuse(int row, const QString& reason);
    void skip(int row, const JobPlan& plan);
    void onReceiveOutputs(Slot& slot, const QString& block);
    void onCommandOver(Slot& slot);
    void onStartFailed(Slot& slot);
    void endJob(Slot& slot, const JobOutcome& outcome);
    void recordFailure(qint64 ordinal, const QString& source, const QString& reason);
    void markDone(int row);
    void finishIfDone();
    int findRow(int slot) const;
    int firstOpenRow() const;
    int batchEntries() const;
    QString sourceOf(int row) const;

    FileListModel& m_list;
    MessageSink& m_messages;
    SettingsProvider m_settings;
    QString m_programFolder;
    Refusal m_refusal;
    BatchSources m_sources; // every source of the running batch, those that have left included
    int m_filesAtOnce = 1;
    bool m_removeFinished = true;

    std::vector<std::unique_ptr<Slot>> m_slots;
    QVector<RowState> m_rows; // one per list row, kept in step with the list
    QVector<FileEntry> m_leftEntries; // named entries that finished and left the list, in order
    qint64 m_nextOrdinal = 0;
    int m_doneRows = 0;
    mutable int m_firstOpen = 0; // no row before it is open (waiting or running)
    QList<qint64> m_failureOrdinals;
    QSet<QString> m_isolated; // sources that ended a worker: each runs in a worker of its own
    BatchReport m_report;
    int m_endedEntries = 0; // entries converted, failed or refused in this batch
    int m_detachedJobs = 0; // running jobs whose entry has been taken off the list
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_fillQueued = false;
    bool m_sweepNeeded = true;
};
