#include "cli/remote_command.h"

#include "cli/console_report.h"
#include "settings/picker_lists.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace {

const QString EventTag = QStringLiteral("trevalon-remote ");

QString cutTime(std::int32_t seconds, std::int32_t fraction)
{
    return fraction == 0 ? QString::number(seconds)
                         : QStringLiteral("%1.%2").arg(seconds).arg(fraction);
}

QString listPath(const RemoteRunSetup& setup, const char* name)
{
    return setup.listFolder + QLatin1Char('/') + QLatin1String(name);
}

} // namespace

QStringList RemoteSettingsFlags(const ConversionSettings& settings)
{
    QStringList flags = {QStringLiteral("--format"),   FormatItems().value(settings.formatIndex),
                         QStringLiteral("--bitrate"),  BitrateItems().value(settings.bitrateIndex),
                         QStringLiteral("--rate"),     RateItems().value(settings.rateIndex),
                         QStringLiteral("--channels"), ChannelItems().value(settings.channelIndex)};
    // Zero for both turns the other machine's cutter off whatever its options.ini says.
    const bool cut = settings.cutterOn != 0;
    flags << QStringLiteral("--cut-start")
          << (cut ? cutTime(settings.cutStart, settings.cutStartFraction) : QStringLiteral("0"))
          << QStringLiteral("--cut-length")
          << (cut ? cutTime(settings.cutLength, settings.cutLengthFraction) : QStringLiteral("0"));
    // Names and existing outputs are decided here, where the output folder is.
    if (settings.library.copySameFormat)
        flags << QStringLiteral("--copy-same-format");
    return flags;
}

QString ShellQuoted(const QString& text)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=+,-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

int CountSshLogins(const QString& fileText)
{
    int count = 0;
    for (const QString& line : fileText.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1Char('#')))
            ++count;
    }
    return count;
}

QVector<int> SameOutputRounds(const QVector<BatchJob>& jobs)
{
    QHash<QString, int> seen;
    QVector<int> rounds;
    rounds.reserve(jobs.size());
    for (const BatchJob& job : jobs)
        rounds.append(seen[job.plan.outputPath()]++);
    return rounds;
}

QString RemoteSourcePath(const QString& absoluteSource)
{
    QString path = absoluteSource;
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    return path;
}

QString TransferPath(const QString& absoluteSource)
{
    return QStringLiteral("/./") + RemoteSourcePath(absoluteSource);
}

QString RemoteJobCommand(const QString& remoteProgram, const QStringList& settingsFlags)
{
    QStringList flags;
    for (const QString& flag : settingsFlags)
        flags << ShellQuoted(flag);
    // An empty settings folder and an output folder of its own inside the job's working folder; the
    // one converted file is renamed to the job number, the only name that travels back safely.
    return QStringList{
        QStringLiteral("echo \"trevalon-remote {3} started $PARALLEL_SSHHOST\""),
        QStringLiteral(
            "test -f {2} || { echo \"trevalon-batch: \"{2}\" did not arrive\" >&2; exit 3; }"),
        QStringLiteral("mkdir -p s o || exit 3"),
        QStringLiteral("%1 --settings-dir s --output o --jobs 1 --quiet %2 -- {2} >r.log 2>&1")
            .arg(ShellQuoted(remoteProgram), flags.join(QLatin1Char(' '))),
        QStringLiteral("st=$?"),
        QStringLiteral("if [ $st -gt 1 ]; then cat r.log >&2; rm -rf s o r.log; exit $st; fi"),
        QStringLiteral("if [ $st -eq 0 ] && ! mv -- o/* {3}.out 2>/dev/null; then st=4; fi"),
        QStringLiteral("[ -f {3}.out ] || : > {3}.out"),
        QStringLiteral("echo \"trevalon-remote {3} ended $st $(tail -n 1 r.log)\""),
        QStringLiteral("rm -rf s o r.log")}
        .join(QStringLiteral("; "));
}

QStringList MachineCheckArguments(const RemoteRunSetup& setup)
{
    return {QStringLiteral("--will-cite"), QStringLiteral("--sshloginfile"), setup.sshLoginFile,
            QStringLiteral("--nonall"),
            QStringLiteral("case \"$(%1 --version 2>/dev/null)\" in trevalon-batch*) s=ok ;; "
                           "*) s=missing ;; esac; echo \"trevalon-machine $s $PARALLEL_SSHLOGIN\"")
                .arg(ShellQuoted(setup.remoteProgram))};
}

MachineSelection SelectMachines(const QString& loginFileText, const QString& checkOutput)
{
    QSet<QString> ready;
    QSet<QString> missing;
    for (const QString& line : checkOutput.split(QLatin1Char('\n'))) {
        const QStringList words = line.trimmed().split(QLatin1Char(' '));
        if (words.size() < 3 || words[0] != QLatin1String("trevalon-machine"))
            continue;
        const QString login = words.mid(2).join(QLatin1Char(' '));
        (words[1] == QLatin1String("ok") ? ready : missing).insert(login);
    }
    // A line is [@hostgroups/][jobs/]sshlogin; parallel reports the sshlogin without the jobs.
    static const QRegularExpression prefix(QStringLiteral("^(@[^/]*/)?([0-9]+/)?"));
    MachineSelection selection;
    for (const QString& line : loginFileText.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        const QString login = QString(trimmed).remove(prefix);
        if (login == QLatin1String(":")) // parallel copies no file for it
            selection.skipped << QStringLiteral(
                "left out ':': this machine takes part as 'ssh localhost' only");
        else if (ready.contains(login))
            selection.usable << trimmed;
        else if (missing.contains(login))
            selection.skipped
                << QStringLiteral("left out %1: trevalon-batch does not run there").arg(login);
        else
            selection.skipped << QStringLiteral("left out %1: cannot log in").arg(login);
    }
    return selection;
}

QStringList ParallelArguments(const RemoteRunSetup& setup)
{
    return {QStringLiteral("--will-cite"),
            QStringLiteral("-0"),
            QStringLiteral("--link"),
            QStringLiteral("--line-buffer"),
            QStringLiteral("--sshloginfile"),
            setup.sshLoginFile,
            QStringLiteral("--retries"),
            QString::number(setup.retries),
            QStringLiteral("--workdir"),
            setup.remoteFolder + QStringLiteral("/{3}"),
            QStringLiteral("--transferfile"),
            QStringLiteral("{1}"),
            QStringLiteral("--return"),
            setup.stagingFolder + QStringLiteral("/./{3}.out"),
            QStringLiteral("--cleanup"),
            QStringLiteral("-a"),
            listPath(setup, "transfer.list"),
            QStringLiteral("-a"),
            listPath(setup, "source.list"),
            QStringLiteral("-a"),
            listPath(setup, "job.list"),
            RemoteJobCommand(setup.remoteProgram, setup.settingsFlags)};
}

QStringList RemoteCleanupArguments(const RemoteRunSetup& setup)
{
    const QString folder = ShellQuoted(setup.remoteFolder);
    const QString parent = ShellQuoted(setup.remoteFolder.section(QLatin1Char('/'), 0, -2));
    return {QStringLiteral("--will-cite"), QStringLiteral("--sshloginfile"), setup.sshLoginFile,
            QStringLiteral("--nonall"),
            // A stopped job may still be removing its partial file: try again for a moment.
            QStringLiteral("for i in 1 2 3; do rm -rf -- %1 2>/dev/null && break; sleep 1; done; "
                           "rmdir -- %2 2>/dev/null; test ! -e %1")
                .arg(folder, parent)};
}

RemoteJobLists BuildRemoteJobLists(const QVector<BatchJob>& jobs, const QVector<int>& selection)
{
    RemoteJobLists lists;
    for (int job : selection) {
        lists.transfer += TransferPath(jobs.at(job).source).toUtf8() + '\0';
        lists.source += RemoteSourcePath(jobs.at(job).source).toUtf8() + '\0';
        lists.job += QByteArray::number(job) + '\0';
    }
    return lists;
}

std::optional<RemoteEvent> ParseRemoteLine(const QString& line, const QVector<BatchJob>& jobs)
{
    if (!line.startsWith(EventTag))
        return std::nullopt;
    const QStringList words = line.mid(EventTag.size()).split(QLatin1Char(' '));
    if (words.size() < 3)
        return std::nullopt;
    RemoteEvent event;
    bool ok = false;
    event.job = words[0].toInt(&ok);
    if (!ok || event.job < 0 || event.job >= jobs.size())
        return std::nullopt;
    if (words[1] == QLatin1String("started")) {
        event.kind = RemoteEvent::Kind::Started;
        event.host = words[2];
        return event;
    }
    if (words[1] != QLatin1String("ended"))
        return std::nullopt;
    event.kind = RemoteEvent::Kind::Ended;
    event.status = words[2].toInt(&ok);
    if (!ok)
        return std::nullopt;
    // The rest is trevalon-batch's last line there: "<source as it was there>: <reason>".
    const QString last = words.mid(3).join(QLatin1Char(' '));
    const QString source = ConsoleReport::shownName(RemoteSourcePath(jobs.at(event.job).source)) +
                           QStringLiteral(": ");
    const qsizetype at = last.indexOf(source);
    if (event.status == 4)
        event.reason = QStringLiteral("the converted file was missing there");
    else if (event.status != 0)
        event.reason = at >= 0          ? last.mid(at + source.size())
                       : last.isEmpty() ? QStringLiteral("the conversion failed")
                                        : last;
    return event;
}

QString LocalReason(const QString& reason, const QString& remoteFolder, int job,
                    const QString& source)
{
    const QString copy = ConsoleReport::shownName(
        QStringLiteral("%1/%2/%3").arg(remoteFolder).arg(job).arg(RemoteSourcePath(source)));
    const qsizetype at = reason.indexOf(copy);
    if (at < 0)
        return reason;
    // The copy's path starts with the other machine's login folder, after a space or a quote.
    qsizetype start = reason.lastIndexOf(QLatin1Char(' '), at) + 1;
    while (start < at && (reason[start] == QLatin1Char('\'') || reason[start] == QLatin1Char('"')))
        ++start;
    return reason.left(start) + ConsoleReport::shownName(source) + reason.mid(at + copy.size());
}

QStringList DescribeRemoteRun(const RemoteRunSetup& setup, const QVector<BatchJob>& jobs)
{
    QStringList lines;
    QStringList command = {QStringLiteral("parallel")};
    for (const QString& argument : ParallelArguments(setup))
        command << ShellQuoted(argument);
    lines << command.join(QLatin1Char(' '));
    const QVector<int> rounds = SameOutputRounds(jobs);
    for (int job = 0; job < jobs.size(); ++job) {
        const BatchJob& batchJob = jobs.at(job);
        QString line = QStringLiteral("%1: %2 -> %3")
                           .arg(job)
                           .arg(ConsoleReport::shownName(batchJob.source),
                                ConsoleReport::shownName(batchJob.plan.outputPath()));
        if (!batchJob.problem.isEmpty())
            line += QStringLiteral(" (not sent: %1)").arg(batchJob.problem);
        else if (rounds[job] > 0)
            line += QStringLiteral(" (after the earlier jobs with this output)");
        lines << line;
    }
    return lines;
}
