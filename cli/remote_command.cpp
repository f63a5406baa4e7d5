#include "cli/remote_command.h"

#include "cli/console_report.h"
#include "cli/remote_reports.h"
#include "intake/display_text.h"
#include "settings/picker_lists.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

namespace {

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
    // Always sent, so the other machine's trevalon.ini plays no part.
    flags << QStringLiteral("--loudness") << LoudnessWord(settings.loudness);
    if (settings.library.verify)
        flags << QStringLiteral("--verify");
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
        rounds.append(seen[OutputKey(job.plan)]++);
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

QString RemoteJobTag(int job, const QString& absoluteSource)
{
    const QString top = RemoteSourcePath(absoluteSource).section(QLatin1Char('/'), 0, 0);
    QString tag = QString::number(job);
    while (top == tag + QStringLiteral(".w") || top == tag + QStringLiteral(".out"))
        tag += QLatin1Char('_');
    return tag;
}

bool TravelsUnderSafeName(const BatchJob& job)
{
    return !job.nativePath.isEmpty();
}

QString RemoteCopyPath(const BatchJob& job)
{
    if (!TravelsUnderSafeName(job))
        return RemoteSourcePath(job.source);
    // The source's own extension when it is a short plain one, so that a reader going by the
    // name there sees the same type.
    const QByteArray name = job.nativePath.mid(job.nativePath.lastIndexOf('/') + 1);
    const qsizetype dot = name.lastIndexOf('.');
    QString extension;
    if (dot > 0 && name.size() - dot <= 9) {
        extension = QString::fromLatin1(name.mid(dot));
        static const QRegularExpression plain(QStringLiteral("^\\.[A-Za-z0-9]+$"));
        if (!plain.match(extension).hasMatch())
            extension.clear();
    }
    return QStringLiteral("source") + extension;
}

QString SourceLinkPath(const QString& listFolder, int job, const BatchJob& batchJob)
{
    return QStringLiteral("%1/links/%2/%3").arg(listFolder).arg(job).arg(RemoteCopyPath(batchJob));
}

QString RemoteOutputName(const BatchJob& job)
{
    const QString output = FileNamePart(job.plan.outputPath(), QLatin1Char('/'));
    const qsizetype dot = output.lastIndexOf(QLatin1Char('.'));
    return OutputBaseName(RemoteCopyPath(job), QLatin1Char('/')) +
           (dot < 0 ? QString() : output.mid(dot));
}

QString RemoteJobCommand(const QString& remoteProgram, const QStringList& settingsFlags)
{
    QStringList flags;
    for (const QString& flag : settingsFlags)
        flags << ShellQuoted(flag);
    // An empty settings folder and an output folder of its own in the job's folder of work files;
    // the one converted file is renamed to the tag, a name that travels back safely.
    return QStringList{
        QStringLiteral("printf 'trevalon-remote %s started %s\\n' {3} %1")
            .arg(ShellHexOf(QStringLiteral("printf '%s' \"$PARALLEL_SSHHOST\""))),
        // parallel gives a job slot ({%}) to one job at a time, on any machine, and frees it only
        // once that job's file has come back: the folder of the slot's previous job is done with
        // and goes now, so a machine holds at most one finished job per slot (the pass at the end
        // takes the last ones). Costs no ssh call of its own, unlike parallel's --cleanup.
        QStringLiteral("p=$(cat ../slot{%} 2>/dev/null); if [ -n \"$p\" ] && [ \"$p\" != {3} ]; "
                       "then rm -rf -- \"../$p\"; fi; printf '%s' {3} >../slot{%}"),
        // A link that came as a link would name a file of that machine, not the source.
        QStringLiteral("{ test -f {2} && test ! -h {2}; } || { printf 'trevalon-batch: the source "
                       "of job %s did not arrive\\n' {3} >&2; exit 3; }"),
        QStringLiteral("w={4}.w; mkdir -p \"$w/s\" \"$w/o\" || exit 3"),
        QStringLiteral("%1 --settings-dir \"$w/s\" --output \"$w/o\" --jobs 1 --quiet "
                       "--loudness-report \"$w/l\" %2 -- {2} >\"$w/r.log\" 2>&1")
            .arg(ShellQuoted(remoteProgram), flags.join(QLatin1Char(' '))),
        QStringLiteral("st=$?"),
        QStringLiteral("if [ $st -gt 1 ]; then cat \"$w/r.log\" >&2; rm -rf \"$w\"; exit $st; fi"),
        QStringLiteral("if [ $st -eq 0 ] && ! mv -- \"$w/o/\"{5} {4}.out 2>/dev/null; then st=4; "
                       "fi"),
        QStringLiteral("[ -f {4}.out ] || : > {4}.out"),
        QStringLiteral("if [ $st -eq 0 ] && [ -s \"$w/l\" ]; then printf 'trevalon-remote %s "
                       "loudness %s\\n' {3} %1; fi")
            .arg(ShellHexOf(QStringLiteral("tail -n 1 \"$w/l\""))),
        QStringLiteral("printf 'trevalon-remote %s ended %s %s\\n' {3} \"$st\" %1")
            .arg(ShellHexOf(QStringLiteral("tail -n 1 \"$w/r.log\""))),
        // The copied source is not needed any more; the converted file waits to be sent back.
        QStringLiteral("rm -rf -- \"$w\" {2}")}
        .join(QStringLiteral("; "));
}

QStringList SshArguments(const RemoteRunSetup& setup)
{
    if (setup.sshOptions.isEmpty())
        return {};
    return {QStringLiteral("--ssh"), QStringLiteral("ssh ") + setup.sshOptions};
}

QStringList ParallelArguments(const RemoteRunSetup& setup)
{
    QStringList arguments = SshArguments(setup);
    arguments += {QStringLiteral("--will-cite"),
            QStringLiteral("-0"),
            QStringLiteral("--link"),
            QStringLiteral("--line-buffer"),
            // A source that travels under a safe name is a link here: its file is copied.
            QStringLiteral("--rsync-opts"),
            QStringLiteral("-rLDzR"),
            QStringLiteral("--sshloginfile"),
            setup.sshLoginFile,
            QStringLiteral("--retries"),
            QString::number(setup.retries),
            QStringLiteral("--workdir"),
            setup.remoteFolder + QStringLiteral("/{3}"),
            QStringLiteral("--transferfile"),
            QStringLiteral("{1}"),
            QStringLiteral("--return"),
            setup.stagingFolder + QStringLiteral("/./{4}.out"),
            QStringLiteral("-a"),
            listPath(setup, "transfer.list"),
            QStringLiteral("-a"),
            listPath(setup, "source.list"),
            QStringLiteral("-a"),
            listPath(setup, "job.list"),
            QStringLiteral("-a"),
            listPath(setup, "tag.list"),
            QStringLiteral("-a"),
            listPath(setup, "name.list"),
            RemoteJobCommand(setup.remoteProgram, setup.settingsFlags)};
    return arguments;
}

QString RemoteCleanupScript(const RemoteRunSetup& setup)
{
    const QString folder = ShellQuoted(setup.remoteFolder);
    const QString parent = ShellQuoted(setup.remoteFolder.section(QLatin1Char('/'), 0, -2));
    // A stopped job may still be removing its partial file: try again for a moment.
    return QStringLiteral("for i in 1 2 3; do rm -rf -- %1 2>/dev/null && break; sleep 1; done; "
                          "rmdir -- %2 2>/dev/null; test ! -e %1")
        .arg(folder, parent);
}

RemoteJobLists BuildRemoteJobLists(const QVector<BatchJob>& jobs, const QVector<int>& selection,
                                   const QString& listFolder)
{
    RemoteJobLists lists;
    for (int job : selection) {
        const BatchJob& batchJob = jobs.at(job);
        // Every path here is exact text: a source named in other bytes goes by its link.
        QString transfer = TransferPath(batchJob.source);
        if (TravelsUnderSafeName(batchJob)) {
            const QString link = SourceLinkPath(listFolder, job, batchJob);
            const qsizetype slash = link.lastIndexOf(QLatin1Char('/'));
            transfer = link.left(slash) + QStringLiteral("/.") + link.mid(slash);
        }
        lists.transfer += QFile::encodeName(transfer) + '\0';
        lists.source += QFile::encodeName(RemoteCopyPath(batchJob)) + '\0';
        lists.job += QByteArray::number(job) + '\0';
        lists.tag += QFile::encodeName(RemoteJobTag(job, RemoteCopyPath(batchJob))) + '\0';
        lists.outputName += QFile::encodeName(RemoteOutputName(batchJob)) + '\0';
    }
    return lists;
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
        // What the job will do besides converting (skipped, copied, numbered, verified).
        if (const QString notes = JobNotes(batchJob, batchJob.plan);
            batchJob.problem.isEmpty() && !notes.isEmpty())
            line += QStringLiteral("  # ") + notes;
        lines << line;
    }
    return lines;
}
