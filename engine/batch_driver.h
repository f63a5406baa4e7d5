#pragma once

#include "engine/conversion_settings.h"
#include "engine/progress_tracker.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class BatchView;
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
    int converted = 0;            // jobs that ended successfully
    QList<FailedSource> failures; // jobs that ended with an error, in list order
    bool stoppedEarly = false;    // a job could not start, or stop() was asked for
    qsizetype strayConvertersTerminated = 0; // left-over converters of this program ended
};

// Converts the file list from the first entry to the last, one job at a time.
//
// Start arms the batch (the controls go off, the run begins 100 ms later). Each job converts the
// entry at the head of the list with the settings read at that moment (so changes made during a
// batch apply to the entries that follow), after creating the output folder and terminating any
// converter of this program still running (looked for at the first job and after any job that
// did not end cleanly). When the job is over its entry leaves the list and the
// next one starts; entries added meanwhile are converted in the same batch. With the list empty,
// the output folder opens, the completion sound plays when it is on, the controls come back and
// the caption reads "Done."; failed sources are then listed in one message.
//
// Everything is driven by events: nothing waits, nothing nests. A second Start during a batch is
// refused, a job that cannot start ends the batch (its entry stays), and removing the entry being
// converted never takes another entry off the list in its place.
class BatchDriver : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Armed, Converting, BetweenEntries, Finishing };
    using SettingsProvider = std::function<ConversionSettings()>;

    static constexpr int ArmDelayMilliseconds = 100;

    // programFolder holds data/conv and sound.wav.
    BatchDriver(FileListModel& list, DOSOutputs& runner, BatchView& view, MessageSink& messages,
                SettingsProvider settings, const QString& programFolder,
                QObject* parent = nullptr);

    // The Start command (both start buttons). With an empty list it shows "Please add a file"
    // (title "Add"). Returns whether a batch was armed; false also while one is under way.
    bool Start();

    // Converts the list now; the armed timer calls it. Does nothing unless the batch is armed.
    void RunBatch();

    // Stops the batch: the running job is stopped (its partial output removed) and its entry
    // stays in the list; no folder, sound or "Done." follows.
    void stop();

    State state() const { return m_state; }
    bool isBusy() const { return m_state != State::Idle; }
    // The length of the job in progress in whole seconds; 0 while not known.
    std::int32_t TotalSeconds() const { return m_tracker.TotalSeconds(); }
    const BatchReport& report() const { return m_report; }

    // The text of the message that lists failed sources.
    static QString failureMessage(const QList<FailedSource>& failures);
    static QString failureTitle();

signals:
    void jobStarted(const QString& source);
    void finished(const BatchReport& report);

private:
    void startNextEntry();
    void onReceiveOutputs(const QString& block);
    void onCommandOver();
    void onStartFailed();
    void finishList();
    void complete();
    void endEarly();
    void trackRemoval(int first, int last);

    FileListModel& m_list;
    DOSOutputs& m_runner;
    BatchView& m_view;
    MessageSink& m_messages;
    SettingsProvider m_settings;
    QString m_programFolder;
    ProgressTracker m_tracker;
    QTimer m_armTimer;
    State m_state = State::Idle;
    int m_runningRow = -1; // the row being converted; -1 once it has left the list
    QString m_runningSource;
    bool m_stopRequested = false;
    bool m_sweepNeeded = true;
    BatchReport m_report;
};
