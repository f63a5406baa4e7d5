#pragma once

#include "engine/album_loudness.h"
#include "engine/batch_scheduler.h"
#include "engine/conversion_settings.h"
#include "engine/progress_tracker.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class BatchView;
class FileListModel;
class MessageSink;

// Converts the file list from the first entry to the last for the window.
//
// Start arms the batch (the controls go off, the run begins 100 ms later). The scheduler then
// converts the entries, each with the settings read as its job starts (so changes made during a
// batch apply to the entries that follow), filesAtOnce at a time; entries added meanwhile are
// converted in the same batch, and each entry leaves the list when its job is over. With the list
// empty, the output folder opens, the completion sound plays when it is on, the controls come back
// and the caption reads "Done."; failed sources are then listed in one message, and the values of
// the albums a batch that tags loudness wrote in another. A batch that tags loudness ends once its
// albums have their values.
//
// One at a time, the bar shows the file in progress, as it always has. With more at once, each
// running entry shows its own progress in its row and the bar shows the batch as a whole.
//
// A second Start during a batch is refused; a job that cannot start ends the batch (its entry
// stays, the running jobs finish, the sources that failed before are listed and the bar empties);
// removing an entry being converted never takes another entry off the list in its place.
class BatchDriver : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Armed, Converting, Finishing };
    using SettingsProvider = std::function<ConversionSettings()>;

    static constexpr int ArmDelayMilliseconds = 100;

    // programFolder holds data/conv and sound.wav.
    BatchDriver(FileListModel& list, BatchView& view, MessageSink& messages,
                SettingsProvider settings, const QString& programFolder,
                QObject* parent = nullptr);

    // How many files the next batch converts at once (1 unless chosen).
    void setFilesAtOnce(int count) { m_filesAtOnce = count; }

    // The Start command (both start buttons). With an empty list it shows "Please add a file"
    // (title "Add"). Returns whether a batch was armed; false also while one is under way.
    bool Start();

    // Converts the list now; the armed timer calls it. Does nothing unless the batch is armed.
    void RunBatch();

    // Stops the batch: every running job is stopped (its partial output removed) and its entry
    // stays in the list; no folder, sound or "Done." follows.
    void stop();

    State state() const { return m_state; }
    bool isBusy() const { return m_state != State::Idle; }
    // The length of the (first) job in progress in whole seconds; 0 while not known.
    std::int32_t TotalSeconds() const { return m_scheduler.tracker(0).TotalSeconds(); }
    BatchScheduler& scheduler() { return m_scheduler; }
    const BatchReport& report() const { return m_report; }

    // The text of the message that lists failed sources.
    static QString failureMessage(const QList<FailedSource>& failures);
    static QString failureTitle();
    // The message that gives the album values a batch that tags loudness wrote, one album a line.
    static QString albumMessage(const QStringList& albums);
    static QString albumTitle();

signals:
    void jobStarted(const QString& source);
    void finished(const BatchReport& report);

private:
    void onJobProgress(const ScheduledJob& job, const ProgressDisplay& display);
    void onJobFinished(const ScheduledJob& job, const JobOutcome& outcome);
    void onSchedulerFinished(const BatchReport& report);
    void showOverallProgress();
    void finishList();
    void complete();
    void endEarly();

    FileListModel& m_list;
    BatchView& m_view;
    MessageSink& m_messages;
    SettingsProvider m_settings;
    QString m_programFolder;
    BatchScheduler m_scheduler;
    AlbumLoudness m_albums{m_scheduler, m_list}; // album values when the batch tags loudness
    QTimer m_armTimer;
    State m_state = State::Idle;
    int m_filesAtOnce = 1;
    BatchReport m_report;
    bool m_albumsPending = false; // the list is done, its albums are still being tagged
};
