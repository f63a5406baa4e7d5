#include "cli/console_report.h"

#include <QFileInfo>

#include <cmath>

namespace {

const QString ClearLine = QStringLiteral("\x1b[2K\r");

QString cursorUp(int lines)
{
    return QStringLiteral("\x1b[%1A").arg(lines);
}

// The text with every control character shown as an escape, so that one report line stays one
// line and nothing from a file name or the converter can drive the terminal.
QString escapeControls(const QString& text, bool escapeBackslash)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'\\' && escapeBackslash)
            shown += QStringLiteral("\\\\");
        else if (code == u'\n')
            shown += QStringLiteral("\\n");
        else if (code == u'\r')
            shown += QStringLiteral("\\r");
        else if (code == u'\t')
            shown += QStringLiteral("\\t");
        else if (code < 0x20 || code == 0x7f || (code >= 0x80 && code < 0xa0))
            shown += QStringLiteral("\\x%1").arg(static_cast<uint>(code), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace

QString ConsoleReport::shownName(const QString& path)
{
    return escapeControls(path, true);
}

ConsoleReport::ConsoleReport(QTextStream& out, bool terminal, bool quiet,
                             const QVector<BatchJob>& jobs)
    : m_out(out), m_terminal(terminal), m_quiet(quiet), m_jobs(jobs)
{
    m_clock.start();
    m_sinceRedraw.start();
}

QString ConsoleReport::nameOf(int job) const
{
    return shownName(QFileInfo(m_jobs.at(job).source).fileName());
}

void ConsoleReport::jobStarted(int job)
{
    m_running.insert(job, Running{QStringLiteral("0%"), 0});
    redraw(true);
}

void ConsoleReport::jobProgress(int job, const QString& caption, double fraction)
{
    auto found = m_running.find(job);
    if (found == m_running.end())
        return;
    found->caption = caption;
    found->fraction = std::clamp(fraction, 0.0, 1.0);
    redraw(false);
}

QString ConsoleReport::reasonFor(const JobOutcome& outcome)
{
    switch (outcome.kind) {
    case JobOutcome::Kind::Converted:
    case JobOutcome::Kind::Copied:
    case JobOutcome::Kind::Skipped:
        return {};
    case JobOutcome::Kind::Stopped:
        return QStringLiteral("stopped");
    case JobOutcome::Kind::Failed:
        return outcome.reason.isEmpty()
                   ? QStringLiteral("the converter failed (exit code %1)").arg(outcome.exitCode)
                   : outcome.reason;
    case JobOutcome::Kind::NotStarted:
    case JobOutcome::Kind::Refused:
        break;
    }
    return outcome.reason;
}

void ConsoleReport::jobFinished(int job, const JobOutcome& outcome, const JobPlan* plan)
{
    m_running.remove(job);
    m_ended.insert(job);
    ++m_finished;
    const bool succeeded = outcome.succeeded();
    const QString reason = reasonFor(outcome);
    if (outcome.kind == JobOutcome::Kind::Copied)
        ++m_copied;
    else if (outcome.kind == JobOutcome::Kind::Skipped)
        ++m_skipped;
    else if (succeeded)
        ++m_converted;
    else
        m_failures.insert(job, reason);
    if (m_quiet)
        return;
    clearLiveLines();
    const BatchJob& finished = m_jobs.at(job);
    const JobPlan& ran = plan ? *plan : finished.plan;
    const QString verb = outcome.kind == JobOutcome::Kind::Copied    ? QStringLiteral("copied ")
                         : outcome.kind == JobOutcome::Kind::Skipped ? QStringLiteral("skipped ")
                                                                     : QStringLiteral("converted ");
    // The gain a levelled file got, as the converter said it last.
    const QString gain = QStringLiteral("conv: loudness gain ");
    QString notes = JobNotes(finished, ran);
    if (outcome.lastLine.startsWith(gain))
        notes += (notes.isEmpty() ? QString() : QStringLiteral("; ")) + outcome.lastLine.mid(6);
    if (succeeded)
        m_out << verb << shownName(finished.source) << " -> " << shownName(ran.outputPath())
              << (notes.isEmpty() ? QString() : QStringLiteral("  # ") + escapeControls(notes, false))
              << '\n';
    else
        m_out << "FAILED " << shownName(finished.source) << ": " << escapeControls(reason, false)
              << '\n';
    redraw(true);
}

void ConsoleReport::clearLiveLines()
{
    if (!m_terminal || m_liveLines == 0)
        return;
    m_out << cursorUp(m_liveLines);
    for (int i = 0; i < m_liveLines; ++i)
        m_out << ClearLine << '\n';
    m_out << cursorUp(m_liveLines);
    m_liveLines = 0;
}

void ConsoleReport::redraw(bool force)
{
    if (!m_terminal || m_quiet)
        return;
    if (!force && m_sinceRedraw.elapsed() < 100)
        return;
    m_sinceRedraw.restart();
    clearLiveLines();
    double share = m_finished;
    for (auto running = m_running.cbegin(); running != m_running.cend(); ++running) {
        m_out << ClearLine
              << QStringLiteral("  %1  %2").arg(running->caption, 5).arg(nameOf(running.key()))
              << '\n';
        share += running->fraction;
    }
    const int total = static_cast<int>(m_jobs.size());
    const double left = estimateSecondsLeft(m_clock.elapsed() / 1000.0, total ? share / total : 1);
    m_out << ClearLine
          << QStringLiteral("%1/%2 files done, %3").arg(m_finished).arg(total)
                 .arg(left < 0 ? QStringLiteral("estimating time left")
                               : QStringLiteral("about %1 left").arg(formatDuration(left)))
          << '\n';
    m_liveLines = static_cast<int>(m_running.size()) + 1;
    m_out.flush();
}

int ConsoleReport::failedCount() const
{
    return static_cast<int>(m_jobs.size()) - m_converted - m_copied - m_skipped;
}

void ConsoleReport::printSummary()
{
    clearLiveLines();
    // Jobs a stopped batch never reached are failures too: the summary accounts for every file.
    for (int job = 0; job < m_jobs.size(); ++job) {
        if (!m_ended.contains(job))
            m_failures.insert(job, m_running.contains(job)
                                       ? QStringLiteral("stopped")
                                       : QStringLiteral("not converted: the batch was stopped"));
    }
    m_out << m_converted << " converted, ";
    if (m_libraryCounts)
        m_out << m_copied << " copied, " << m_skipped << " skipped, ";
    m_out << failedCount() << " failed\n";
    for (int job = 0; job < m_jobs.size(); ++job) {
        const auto failure = m_failures.constFind(job);
        if (failure != m_failures.cend())
            m_out << shownName(m_jobs.at(job).source) << ": "
                  << escapeControls(*failure, false) << '\n';
    }
    m_out.flush();
}

double ConsoleReport::estimateSecondsLeft(double elapsedSeconds, double doneShare)
{
    if (doneShare <= 0.01 || elapsedSeconds < 1)
        return -1;
    return elapsedSeconds * (1 - std::min(doneShare, 1.0)) / doneShare;
}

QString ConsoleReport::formatDuration(double seconds)
{
    const auto whole = static_cast<qint64>(std::ceil(seconds));
    const qint64 hours = whole / 3600;
    const qint64 minutes = whole / 60 % 60;
    const qint64 rest = whole % 60;
    if (hours > 0) {
        return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(rest, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QLatin1Char('0'));
}
