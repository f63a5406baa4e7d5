#include "cli/batch_jobs.h"

#include "engine/kept_folders.h"
#include "intake/folder_search.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

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
        const ConversionSettings entry = EntrySettings(settings, file.addedFolder, file.path);
        BatchJob job;
        job.source = file.path;
        job.commandText = BuildCommandLine(programFolder, file.path, entry);
        job.invocation = BuildConverterInvocation(programFolder, file.path, entry);
        job.outputFolder = entry.outputFolder;
        if (absent.contains(file.path))
            job.problem = QStringLiteral("no such file");
        jobs.append(job);
    }
    return jobs;
}
