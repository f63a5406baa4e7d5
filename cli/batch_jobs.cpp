#include "cli/batch_jobs.h"

#include "engine/library_jobs.h"
#include "intake/file_list_model.h"
#include "intake/folder_search.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

// The list entry of a source, as the window would hold it.
FileEntry entryOf(const QString& source, const QString& addedFolder,
                  const QString& outputName = {})
{
    return FileEntry{source, FileListModel::formatCellFor(source), source, addedFolder,
                     outputName};
}

} // namespace

QVector<BatchSource> ExpandSources(const QStringList& sources, QStringList* missing,
                                   QStringList* warnings)
{
    QVector<BatchSource> files;
    for (const QString& source : sources) {
        const QFileInfo info(source);
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (info.isDir()) {
            SearchReport report;
            for (const QString& found : SearchFolder(path, &report))
                files.append({found, path});
            for (const QString& folder : report.unreadableFolders)
                warnings->append(QStringLiteral("could not read folder %1").arg(folder));
        } else {
            files.append({path, {}});
            if (!info.exists())
                missing->append(path);
        }
    }
    return files;
}

QVector<BatchJob> BuildBatchJobs(const QString& programFolder, const QVector<BatchSource>& files,
                                 const QStringList& missing, const ConversionSettings& settings)
{
    const QSet<QString> absent(missing.begin(), missing.end());
    QVector<FileEntry> entries;
    entries.reserve(files.size());
    for (const BatchSource& file : files)
        entries.append(entryOf(file.path, file.addedFolder));
    const QStringList notes = NameEntries(entries, settings);
    QVector<BatchJob> jobs;
    jobs.reserve(files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        const BatchSource& file = files[i];
        BatchJob job;
        job.source = file.path;
        job.addedFolder = file.addedFolder;
        job.outputName = entries[i].outputName;
        job.plan = PlanJob(programFolder, entries[i], settings);
        job.nameNote = notes.value(i);
        if (absent.contains(file.path))
            job.problem = QStringLiteral("no such file");
        jobs.append(job);
    }
    return jobs;
}

QVector<FileEntry> EntriesOf(const QVector<BatchJob>& jobs)
{
    QVector<FileEntry> entries;
    entries.reserve(jobs.size());
    for (const BatchJob& job : jobs)
        entries.append(entryOf(job.source, job.addedFolder, job.outputName));
    return entries;
}

void DecideExistingOutputs(QVector<BatchJob>& jobs, ExistingOutput rule)
{
    QSet<QString> earlier;
    for (BatchJob& job : jobs) {
        if (job.problem.isEmpty()) {
            job.skipped = ApplyExistingRule(job.plan, job.source, rule, [&earlier](const QString& path) {
                              return earlier.contains(path);
                          }).skip;
        }
        earlier.insert(job.plan.outputPath());
    }
}

QStringList DryRunLines(const QVector<BatchJob>& planned, ExistingOutput rule)
{
    QStringList lines;
    QVector<BatchJob> jobs = planned;
    DecideExistingOutputs(jobs, rule);
    for (const BatchJob& job : std::as_const(jobs)) {
        QString line = job.plan.commandText;
        if (!job.problem.isEmpty())
            line += QStringLiteral("  # fails: ") + job.problem;
        else if (const QString notes = JobNotes(job, job.plan); !notes.isEmpty())
            line += QStringLiteral("  # ") + notes;
        lines.append(line);
    }
    return lines;
}

QString JobNotes(const BatchJob& job, const JobPlan& plan)
{
    if (job.nameNote.isEmpty() || plan.note.isEmpty())
        return job.nameNote + plan.note;
    return job.nameNote + QStringLiteral("; ") + plan.note;
}
