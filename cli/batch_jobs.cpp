#include "cli/batch_jobs.h"

#include "cli/batch_options.h"
#include "engine/library_jobs.h"
#include "engine/source_guard.h"
#include "intake/file_list_model.h"
#include "intake/folder_search.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The list entry of a source, as the window would hold it.
FileEntry entryOf(const QString& source, const QString& addedFolder, const QByteArray& nativePath,
                  const QString& outputName = {})
{
    return FileEntry{source,     FileListModel::formatCellFor(source), source, addedFolder,
                     nativePath, outputName};
}

// The path made absolute against the working folder and cleaned ("a/./b/../c" is "a/c"), in
// bytes: cleaning looks only at "/" and ".", so going through Latin-1 keeps every other byte.
QByteArray absoluteBytes(const QByteArray& given)
{
    QByteArray path = given;
    if (!path.startsWith('/')) {
        QByteArray folder(4096, '\0');
        while (!::getcwd(folder.data(), size_t(folder.size())) && errno == ERANGE)
            folder.resize(folder.size() * 2);
        folder.truncate(qsizetype(std::strlen(folder.constData())));
        path = folder + '/' + path;
    }
    return QDir::cleanPath(QString::fromLatin1(path)).toLatin1();
}

} // namespace

QByteArrayList CommandLineSources(int argc, const char* const* argv, int defaultJobs)
{
    // Read as Latin-1, one character per byte, the arguments parse as their decoded text does
    // (every switch is ASCII), and each source's bytes come back whole.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments += QString::fromLatin1(argv[i]);
    QByteArrayList sources;
    for (const QString& source : ParseBatchArguments(arguments, defaultJobs).options.sources)
        sources += source.toLatin1();
    return sources;
}

QVector<BatchSource> ExpandSources(const QByteArrayList& sources, QStringList* missing,
                                   QStringList* warnings)
{
    QVector<BatchSource> files;
    for (const QByteArray& source : sources) {
        const QByteArray native = absoluteBytes(source);
        const QString path = QFile::decodeName(native);
        const QByteArray exactOrNot = QFile::encodeName(path) == native ? QByteArray() : native;
        struct stat info {};
        const bool exists = ::stat(native.constData(), &info) == 0;
        if (exists && S_ISDIR(info.st_mode)) {
            const SearchReport report = SearchFolder(
                path,
                [&](QString&& found, QByteArray&& nativeFound) {
                    files.append({std::move(found), path, std::move(nativeFound)});
                },
                QLatin1Char('/'), nullptr, exactOrNot);
            for (const QString& folder : report.unreadableFolders)
                warnings->append(QStringLiteral("could not read folder %1").arg(folder));
        } else {
            files.append({path, {}, exactOrNot, !exists});
            if (!exists)
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
        entries.append(entryOf(file.path, file.addedFolder, file.nativePath));
    const QStringList notes = NameEntries(entries, settings);
    QVector<BatchJob> jobs;
    jobs.reserve(files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        const BatchSource& file = files[i];
        BatchJob job;
        job.source = file.path;
        job.addedFolder = file.addedFolder;
        job.nativePath = file.nativePath;
        job.outputName = entries[i].outputName;
        job.plan = PlanJob(programFolder, entries[i], settings);
        job.nameNote = notes.value(i);
        if (file.missing || (file.nativePath.isEmpty() && absent.contains(file.path)))
            job.problem = QStringLiteral("no such file");
        jobs.append(job);
    }
    // The scheduler refuses these itself; a remote run and a dry run see them here.
    BatchSources sources;
    for (const FileEntry& entry : std::as_const(entries))
        sources.add(SourceBytes(entry));
    for (BatchJob& job : jobs) {
        if (job.problem.isEmpty())
            job.problem = sources.refusalFor(job.plan);
    }
    return jobs;
}

QVector<FileEntry> EntriesOf(const QVector<BatchJob>& jobs)
{
    QVector<FileEntry> entries;
    entries.reserve(jobs.size());
    for (const BatchJob& job : jobs)
        entries.append(entryOf(job.source, job.addedFolder, job.nativePath, job.outputName));
    return entries;
}

void DecideExistingOutputs(QVector<BatchJob>& jobs, ExistingOutput rule)
{
    QSet<QString> earlier;
    for (BatchJob& job : jobs) {
        if (job.problem.isEmpty()) {
            job.skipped = ApplyExistingRule(job.plan, job.source, rule, [&earlier](const QByteArray& path) {
                              return earlier.contains(OutputKey(path));
                          }).skip;
        }
        earlier.insert(OutputKey(job.plan));
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
