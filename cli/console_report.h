#pragma once

#include "cli/batch_jobs.h"
#include "engine/batch_scheduler.h"

#include <QElapsedTimer>
#include <QMap>
#include <QSet>
#include <QTextStream>

// The command-line front end's output. On a terminal: one live line per running job and an overall
// line with files done and the time left, redrawn in place. Otherwise (a pipe, a log file): one
// plain line per finished file. Quiet prints neither; the summary is always printed. Job numbers
// are positions in the batch's job list.
class ConsoleReport
{
public:
    ConsoleReport(QTextStream& out, bool terminal, bool quiet, const QVector<BatchJob>& jobs);

    void jobStarted(int job);
    void jobProgress(int job, const QString& caption, double fraction);
    // plan: the job as it ran (a numbered output, a copy), when the scheduler says; otherwise the
    // job list's own.
    void jobFinished(int job, const JobOutcome& outcome, const JobPlan* plan = nullptr);
    // With the library choices in play the summary counts copied and skipped files too.
    void setLibraryCounts(bool on) { m_libraryCounts = on; }

    // "N converted, M failed" (or "N converted, C copied, S skipped, M failed"), then each failed
    // source with the converter's last error line, in list order; a job the batch never finished
    // counts as failed.
    void printSummary();
    int failedCount() const;

    // Why a job did not convert, in the words the report prints.
    static QString reasonFor(const JobOutcome& outcome);

    // Seconds left, estimated from the share of the work done so far; negative while unknown.
    static double estimateSecondsLeft(double elapsedSeconds, double doneShare);
    static QString formatDuration(double seconds);
    // A path as the report shows it: backslashes doubled and control characters (a newline, an
    // escape) written as \n, \r, \t or \xHH, so every file takes one line and cannot reach the
    // terminal as a command.
    static QString shownName(const QString& path);

private:
    struct Running
    {
        QString caption;
        double fraction = 0;
    };

    void redraw(bool force);
    void clearLiveLines();
    QString nameOf(int job) const;

    QTextStream& m_out;
    bool m_terminal;
    bool m_quiet;
    const QVector<BatchJob>& m_jobs;
    QMap<int, Running> m_running;
    QMap<int, QString> m_failures; // job -> reason, in list order
    QSet<int> m_ended;
    int m_converted = 0;
    int m_copied = 0;
    int m_skipped = 0;
    bool m_libraryCounts = false;
    int m_finished = 0;
    int m_liveLines = 0;
    QElapsedTimer m_clock;
    QElapsedTimer m_sinceRedraw;
};
