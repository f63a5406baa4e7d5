#include "cli/batch_jobs.h"

#include "intake/file_list_model.h"
#include "intake/folder_search.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

QStringList ExpandSources(const QStringList& sources, QStringList* missing, QStringList* warnings)
{
    QStringList files;
    for (const QString& source : sources) {
        const QFileInfo info(source);
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (info.isDir()) {
            SearchReport report;
            files += SearchFolder(path, &report);
            for (const QString& folder : report.unreadableFolders)
                warnings->append(QStringLiteral("could not read folder %1").arg(folder));
        } else {
            files.append(path);
            if (!info.exists())
                missing->append(path);
        }
    }
    return files;
}

QVector<BatchJob> BuildBatchJobs(const QString& programFolder, const QStringList& files,
                                 const QStringList& missing, const ConversionSettings& settings)
{
    const QSet<QString> absent(missing.begin(), missing.end());
    QVector<BatchJob> jobs;
    jobs.reserve(files.size());
    for (const QString& file : files) {
        BatchJob job;
        job.source = file;
        job.plan = PlanJob(programFolder, FileEntry{file, FileListModel::formatCellFor(file), file},
                           settings);
        if (absent.contains(file))
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
        entries.append(FileEntry{job.source, FileListModel::formatCellFor(job.source), job.source});
    return entries;
}
