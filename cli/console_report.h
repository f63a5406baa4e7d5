#pragma once

#include "cli/batch_run.h"

#include <QElapsedTimer>
#include <QMap>
#include <QTextStream>

#include <functional>

// The command-line front end's output. On a terminal: one live line per running job and an overall
// line with files done and the time left, redrawn in place. Otherwise (a pipe, a log file): one
// plain line per finished file. Quiet prints neither; the summary is always printed.
class ConsoleReport : public BatchObserver
{
public:
    ConsoleReport(QTextStream& out, bool terminal, bool quiet, const QVector<BatchJob>& jobs);

    void jobStarted(int job) override;
    void jobProgress(int job, const QString& caption, double fraction) override;
    void jobFinished(int job, bool succeeded, const QString& reason) override;

    // "N converted, M failed", then each failed source with the converter's last error line.
    void printSummary(const BatchRun& run);
    void printSummary(int converted, const QVector<int>& failed,
                      const std::function<QString(int)>& reasonOf);

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
    int m_finished = 0;
    int m_liveLines = 0;
    QElapsedTimer m_clock;
    QElapsedTimer m_sinceRedraw;
};
