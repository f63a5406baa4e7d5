#include "cli/remote_reports.h"

#include "cli/console_report.h"
#include "cli/remote_command.h"

#include <QHash>
#include <QRegularExpression>

namespace {

// The text of hexadecimal bytes, or empty when they are not hexadecimal bytes.
std::optional<QString> fromHex(const QString& hex)
{
    static const QRegularExpression bytes(QStringLiteral("^([0-9a-f]{2})*$"));
    if (!bytes.match(hex).hasMatch())
        return std::nullopt;
    QByteArray text = QByteArray::fromHex(hex.toLatin1());
    while (text.endsWith('\n'))
        text.chop(1);
    return QString::fromUtf8(text);
}

// What trevalon-batch said about the test tone, without the path of the tone there.
QString checkReason(const QString& lastLine)
{
    const QString tone = QStringLiteral("trevalon-check.wav: ");
    const qsizetype at = lastLine.indexOf(tone);
    if (at >= 0)
        return lastLine.mid(at + tone.size());
    return lastLine.isEmpty() ? QStringLiteral("it gave no reason") : lastLine;
}

} // namespace

QString ShellHexOf(const QString& shellCommand)
{
    return QStringLiteral("\"$(%1 | od -A n -v -t x1 | tr -d ' \\n')\"").arg(shellCommand);
}

std::optional<RemoteEvent> ParseRemoteLine(const QString& line, const QVector<BatchJob>& jobs)
{
    static const QRegularExpression form(QStringLiteral(
        "^trevalon-remote ([0-9]{1,9}) (?:started ([0-9a-f]*)|ended ([0-9]{1,3}) ([0-9a-f]*)|"
        "loudness ([0-9a-f]*))$"));
    const QRegularExpressionMatch match = form.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    RemoteEvent event;
    event.job = match.captured(1).toInt();
    if (event.job >= jobs.size())
        return std::nullopt;
    if (match.capturedStart(2) >= 0) {
        const std::optional<QString> host = fromHex(match.captured(2));
        if (!host)
            return std::nullopt;
        event.kind = RemoteEvent::Kind::Started;
        event.host = *host;
        return event;
    }
    if (match.capturedStart(5) >= 0) {
        // Only a report of the converter's own form; anything else is no report.
        const std::optional<QString> report = fromHex(match.captured(5));
        if (!report || !report->startsWith(QStringLiteral("loudness ")))
            return std::nullopt;
        event.kind = RemoteEvent::Kind::Loudness;
        event.loudness = *report;
        return event;
    }
    const std::optional<QString> last = fromHex(match.captured(4));
    if (!last)
        return std::nullopt;
    event.kind = RemoteEvent::Kind::Ended;
    event.status = match.captured(3).toInt();
    // The last line is trevalon-batch's there: "<source as it was there>: <reason>".
    const QString source =
        ConsoleReport::shownName(RemoteCopyPath(jobs.at(event.job))) + QStringLiteral(": ");
    const qsizetype at = last->indexOf(source);
    if (event.status == 4)
        event.reason = QStringLiteral("the converted file was missing there");
    else if (event.status != 0)
        event.reason = at >= 0           ? last->mid(at + source.size())
                       : last->isEmpty() ? QStringLiteral("the conversion failed")
                                         : *last;
    return event;
}

QString LocalReason(const QString& reason, const QString& remoteFolder, int job,
                    const BatchJob& source)
{
    const QString copy = ConsoleReport::shownName(
        QStringLiteral("%1/%2/%3").arg(remoteFolder).arg(job).arg(RemoteCopyPath(source)));
    const qsizetype at = reason.indexOf(copy);
    if (at < 0)
        return reason;
    // The copy's path starts with the other machine's login folder, after a space or a quote.
    qsizetype start = reason.lastIndexOf(QLatin1Char(' '), at) + 1;
    while (start < at && (reason[start] == QLatin1Char('\'') || reason[start] == QLatin1Char('"')))
        ++start;
    return reason.left(start) + ConsoleReport::shownName(source.source) +
           reason.mid(at + copy.size());
}

MachineSelection SelectMachines(const QString& loginFileText, const QString& checkOutput,
                                int jobsPerMachine)
{
    static const QRegularExpression form(
        QStringLiteral("^trevalon-machine (ok|missing|failed) ([0-9a-f]+) ([0-9a-f]*)$"));
    MachineSelection selection;
    QHash<QString, std::pair<QString, QString>> answers; // sshlogin: answer, reason
    for (const QString& line : checkOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = form.match(line);
        const std::optional<QString> login =
            match.hasMatch() ? fromHex(match.captured(2)) : std::nullopt;
        const std::optional<QString> reason =
            match.hasMatch() ? fromHex(match.captured(3)) : std::nullopt;
        if (!login || !reason) {
            selection.skipped << QStringLiteral("not an answer to the start check, ignored: %1")
                                     .arg(ConsoleReport::shownName(line));
            continue;
        }
        answers.insert(*login, {match.captured(1), *reason});
    }
    // A line is [@hostgroups/][jobs/]sshlogin; parallel reports the sshlogin without the jobs.
    static const QRegularExpression prefix(QStringLiteral("^(@[^/]*/)?([0-9]+/)?"));
    for (const QString& line : loginFileText.split(QLatin1Char('\n'))) {
        QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        const QRegularExpressionMatch head = prefix.match(trimmed);
        const QString login = trimmed.mid(head.capturedLength(0));
        const auto answer = answers.constFind(login);
        if (login == QLatin1String(":")) { // parallel copies no file for it
            selection.skipped << QStringLiteral(
                "left out ':': this machine takes part as 'ssh localhost' only");
        } else if (answer == answers.cend()) {
            selection.skipped << QStringLiteral("left out %1: cannot log in").arg(login);
        } else if (answer->first == QLatin1String("missing")) {
            selection.skipped
                << QStringLiteral("left out %1: trevalon-batch does not run there").arg(login);
        } else if (answer->first == QLatin1String("failed")) {
            selection.skipped << QStringLiteral("left out %1: the test conversion failed there: %2")
                                     .arg(login, checkReason(answer->second));
        } else {
            if (jobsPerMachine > 0 && head.capturedStart(2) < 0)
                trimmed.insert(head.capturedLength(1), QStringLiteral("%1/").arg(jobsPerMachine));
            selection.usable << trimmed;
        }
    }
    return selection;
}
