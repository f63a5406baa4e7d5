#include "cli/batch_jobs.h"

#include "intake/file_list_model.h"
#include "intake/folder_search.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

// The list entry of a source, as the window would hold it.
FileEntry entryOf(const QString& source, const QString& addedFolder)
{
    return FileEntry{source, FileListModel::formatCellFor(source), source, addedFolder};
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
    QVector<BatchJob> jobs;
    jobs.reserve(files.size());
    for (const BatchSource& file : files) {
        BatchJob job;
        job.source = file.path;
        job.addedFolder = file.addedFolder;
        job.plan = PlanJob(programFolder, entryOf(file.path, file.addedFolder), settings);
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
        entries.append(entryOf(job.source, job.addedFolder));
    return entries;
}
