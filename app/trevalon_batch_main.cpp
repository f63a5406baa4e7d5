#include "cli/batch_jobs.h"
#include "cli/batch_options.h"
#include "cli/console_messages.h"
#include "cli/console_report.h"
#include "cli/remote_main.h"
#include "engine/album_loudness.h"
#include "engine/batch_scheduler.h"
#include "engine/output_names.h"
#include "intake/file_list_model.h"
#include "platform/interrupt_watch.h"
#include "platform/settings_platform.h"
#include "settings/extra_settings.h"
#include "settings/settings_files.h"
#include "settings/settings_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QThread>
#include <QTimer>

#include <optional>

#include <unistd.h>

namespace {

enum ExitStatus { AllConverted = 0, SomeFailed = 1, UsageError = 2, Interrupted = 130 };

} // namespace

// trevalon-batch: converts files and folders from a terminal or a script with the window's settings.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Trevalon"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TREVALON_VERSION_STRING));
    QTextStream out(stdout);
    QTextStream err(stderr);

    const ParsedArguments parsed =
        ParseBatchArguments(QCoreApplication::arguments().mid(1),
                            std::max(1, QThread::idealThreadCount()));
    switch (parsed.outcome) {
    case ParsedArguments::Outcome::ShowHelp:
    case ParsedArguments::Outcome::ShowVersion:
        out << parsed.text << Qt::endl;
        return AllConverted;
    case ParsedArguments::Outcome::UsageError:
        err << "trevalon-batch: " << parsed.text << "\nTry 'trevalon-batch --help'." << Qt::endl;
        return UsageError;
    case ParsedArguments::Outcome::Run:
        break;
    }
    const BatchOptions& options = parsed.options;

    const QString programFolder = QCoreApplication::applicationDirPath();
    QString settingsFolder = options.settingsDir;
    if (settingsFolder.isEmpty()) {
        settingsFolder = SettingsFolder(programFolder, UserConfigFolder()).readFolder();
    } else if (!QFileInfo(settingsFolder).isDir()) {
        err << "trevalon-batch: --settings-dir " << settingsFolder << " is not a folder" << Qt::endl;
        return UsageError;
    }
    SetupSettings setup;
    OptionsSettings cutter;
    ReadSetupFile(settingsFolder, setup);
    ReadOptionsFile(settingsFolder, cutter);
    ApplyOverrides(options, setup, cutter);
    if (setup.outputFolder.isEmpty())
        setup.outputFolder = DefaultOutputFolder();
    if (options.outputFolder)
        setup.outputFolder = QDir::cleanPath(QDir().absoluteFilePath(setup.outputFolder));
    const ExtraSettings extra = ReadExtraSettings(settingsFolder);
    ConversionSettings settings = ConversionSettings::from(setup, cutter);
    settings.keepFolders = options.keepFolders || extra.keepFolders;
    settings.library = LibraryChoicesToRun(options, extra);
    if (!settings.library.namePattern.isEmpty()) {
        if (const auto problem = NamePatternProblem(settings.library.namePattern)) {
            err << "trevalon-batch: the name pattern in trevalon.ini cannot be used (" << *problem
                << "); outputs are named after their sources" << Qt::endl;
            settings.library.namePattern.clear();
        }
    }
    settings.loudness = options.loudness.value_or(extra.loudness);

    QStringList missing;
    QStringList warnings;
    // The sources as argv gave them: their bytes name the files, their text may not.
    const QVector<BatchSource> files = ExpandSources(
        CommandLineSources(argc, argv, std::max(1, QThread::idealThreadCount())), &missing,
        &warnings);
    for (const QString& warning : std::as_const(warnings))
        err << "trevalon-batch: " << warning << Qt::endl;
    const QVector<BatchJob> jobs = BuildBatchJobs(programFolder, files, missing, settings);

    if (!options.sshLoginFile.isEmpty())
        return RunOnMachines(options, jobs, settings, ::isatty(STDOUT_FILENO) == 1, out, err);
    if (options.dryRun) {
        // One line per job; a note (a skip, a copy, why it will not run) stays on its line.
        for (const QString& line : DryRunLines(jobs, settings.library.existing))
            out << line << '\n';
        out.flush();
        return AllConverted;
    }
    if (!jobs.isEmpty() && !QDir().mkpath(setup.outputFolder)) {
        err << "trevalon-batch: cannot create the output folder " << setup.outputFolder << Qt::endl;
        return SomeFailed;
    }

    ConsoleMessages messages(err);
    ConsoleReport report(out, ::isatty(STDOUT_FILENO) == 1, options.quiet, jobs);
    report.setLibraryCounts(settings.library.existing != ExistingOutput::Overwrite ||
                            settings.library.copySameFormat);
    FileListModel list;
    list.appendEntries(EntriesOf(jobs));
    BatchScheduler run(list, messages, [&settings] { return settings; }, programFolder);
    run.setFilesAtOnce(JobsToRun(options, extra));
    run.setRemoveFinishedEntries(false);
    // A job of a remote run reports its loudness to the machine that started it, which gates the
    // album; here the album is left alone.
    const bool reportsLoudness = !options.loudnessReport.isEmpty();
    AlbumLoudness unbound;
    std::optional<AlbumLoudness> bound;
    if (!reportsLoudness)
        bound.emplace(run, list);
    AlbumLoudness& albums = bound ? *bound : unbound;
    QFile loudnessReports(options.loudnessReport);
    if (reportsLoudness && !loudnessReports.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        err << "trevalon-batch: cannot write " << options.loudnessReport << ": "
            << loudnessReports.errorString() << Qt::endl;
        return SomeFailed;
    }
    QHash<QByteArray, QString> problems;
    for (const BatchJob& job : jobs) {
        if (!job.problem.isEmpty())
            problems.insert(EntriesOf({job}).constFirst().queueBytes(), job.problem);
    }
    run.setRefusal(
        [&problems](const FileEntry& entry) { return problems.value(entry.queueBytes()); });
    QObject::connect(&run, &BatchScheduler::jobStarted, &run,
                     [&](const ScheduledJob& job) { report.jobStarted(int(job.ordinal)); });
    QObject::connect(&run, &BatchScheduler::jobProgress, &run,
                     [&](const ScheduledJob& job, const ProgressDisplay& display) {
                         report.jobProgress(int(job.ordinal), display.caption,
                                            display.width / ProgressTracker::ProgressFullWidth);
                     });
    QObject::connect(&run, &BatchScheduler::jobFinished, &run,
                     [&](const ScheduledJob& job, const JobOutcome& outcome) {
                         report.jobFinished(int(job.ordinal), outcome, &job.plan);
                         const QString line = QStringLiteral("conv: loudness ");
                         if (reportsLoudness && outcome.succeeded() &&
                             outcome.lastLine.startsWith(line))
                             loudnessReports.write(outcome.lastLine.mid(6).toUtf8() + '\n');
                     });
    InterruptWatch interrupts;
    bool interrupted = false;
    QObject::connect(&interrupts, &InterruptWatch::interrupted, &run, [&] {
        interrupted = true;
        run.stop(2000);
    });
    // The run is over once its albums have their values too.
    if (reportsLoudness)
        QObject::connect(&run, &BatchScheduler::finished, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
    else
        QObject::connect(&albums, &AlbumLoudness::settled, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
    QTimer::singleShot(0, &run, [&run] { run.start(); });
    QCoreApplication::exec();

    for (const QString& line : albums.summary())
        out << line << '\n';
    report.printSummary();
    if (interrupted)
        return Interrupted;
    return report.failedCount() == 0 ? AllConverted : SomeFailed;
}
