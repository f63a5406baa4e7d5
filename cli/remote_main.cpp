#include "cli/remote_main.h"

#include "cli/console_report.h"
#include "cli/remote_batch.h"
#include "engine/album_loudness.h"
#include "platform/interrupt_watch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

namespace {

enum ExitStatus
{
    AllConverted = 0,
    SomeFailed = 1,
    UsageError = 2,
    Interrupted = 130
};

// The programs a run needs here, each named with the Debian package that brings it; empty when all
// are there. Debian's moreutils has a different program called parallel: the run asks the one
// found for its version while the machines answer the start check.
QString missingTools(QString* parallelPath)
{
    *parallelPath = QStandardPaths::findExecutable(QStringLiteral("parallel"));
    if (parallelPath->isEmpty()) {
        return QStringLiteral("--sshloginfile needs GNU parallel, which is not installed; install "
                              "the Debian package 'parallel' (sudo apt install parallel)");
    }
    if (QStandardPaths::findExecutable(QStringLiteral("rsync")).isEmpty()) {
        return QStringLiteral("--sshloginfile copies files with rsync, which is not installed; "
                              "install the Debian package 'rsync' here and on every machine");
    }
    return {};
}

} // namespace

int RunOnMachines(const BatchOptions& options, const QVector<BatchJob>& plannedJobs,
                  const ConversionSettings& settings, bool terminal, QTextStream& out,
                  QTextStream& err)
{
    QVector<BatchJob> jobs = plannedJobs;
    DecideExistingOutputs(jobs, settings.library.existing);
    RemoteBatch::Setup setup;
    setup.sshLoginFile = QDir().absoluteFilePath(options.sshLoginFile);
    setup.remoteProgram = options.remoteProgram;
    setup.settingsFlags = RemoteSettingsFlags(settings);
    if (options.jobsGiven)
        setup.jobsPerMachine = options.jobs;
    QFile loginFile(setup.sshLoginFile);
    if (!loginFile.open(QIODevice::ReadOnly)) {
        err << "trevalon-batch: cannot read the sshlogin file " << setup.sshLoginFile << ": "
            << loginFile.errorString() << Qt::endl;
        return UsageError;
    }
    if (CountSshLogins(QString::fromUtf8(loginFile.readAll())) == 0) {
        err << "trevalon-batch: the sshlogin file " << setup.sshLoginFile << " names no machine"
            << Qt::endl;
        return UsageError;
    }

    if (options.dryRun) {
        ConsoleReport silent(out, false, true, jobs);
        const RemoteBatch run(jobs, setup, silent);
        for (const QString& line : run.describe())
            out << line << '\n';
        out.flush();
        return AllConverted;
    }
    const QString problem = missingTools(&setup.parallelProgram);
    if (!problem.isEmpty()) {
        err << "trevalon-batch: " << problem << Qt::endl;
        return SomeFailed;
    }

    ConsoleReport report(out, terminal, options.quiet, jobs);
    report.setLibraryCounts(settings.library.existing != ExistingOutput::Overwrite ||
                            settings.library.copySameFormat);
    RemoteBatch run(jobs, setup, report);
    // Albums are gated here from the reports the jobs bring back, and tagged here.
    AlbumLoudness albums;
    albums.open();
    for (const BatchJob& job : std::as_const(jobs))
        albums.count(job.source);
    QObject::connect(&run, &RemoteBatch::jobEnded, &run,
                     [&](int job, const JobOutcome& outcome) {
                         const JobPlan& plan = jobs.at(job).plan;
                         const bool ran = !jobs.at(job).skipped && jobs.at(job).problem.isEmpty();
                         if (ran)
                             albums.started(plan, true);
                         albums.ended(plan, outcome, ran);
                     });
    QObject::connect(&run, &RemoteBatch::machineMessage, &run, [&err](QString line) {
        while (line.endsWith(QLatin1Char('\r'))) // ssh ends its lines for a terminal
            line.chop(1);
        err << "trevalon-batch: " << ConsoleReport::shownName(line) << Qt::endl;
    });
    InterruptWatch interrupts;
    bool interrupted = false;
    QObject::connect(&interrupts, &InterruptWatch::interrupted, &run, [&] {
        interrupted = true;
        run.stop();
    });
    QObject::connect(&run, &RemoteBatch::finished, &run,
                     [&] { albums.close(interrupted); });
    QObject::connect(&albums, &AlbumLoudness::settled, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    QTimer::singleShot(0, &run, &RemoteBatch::start);
    QCoreApplication::exec();

    for (const QString& line : albums.summary())
        out << line << '\n';
    report.printSummary();
    if (interrupted)
        return Interrupted;
    return report.failedCount() == 0 ? AllConverted : SomeFailed;
}
