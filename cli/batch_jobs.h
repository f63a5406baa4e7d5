#pragma once

#include "engine/job_plan.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <QVector>

struct FileEntry;

// One file to convert, with the folder argument it was found in (empty for a file given itself).
struct BatchSource
{
    QString path;
    QString addedFolder;
    QByteArray nativePath{}; // the path's bytes when the text does not name the file exactly
    bool missing = false;  // it does not exist
};

// One source of a command-line batch, with the converter command the window would build for it.
struct BatchJob
{
    QString source;
    QString addedFolder; // the folder argument the source was found in, as the list entry keeps it
    QString outputName;  // names from tags: the output's path below the output folder; "" none
    QString nameNote;    // why the name is numbered or the source's own; "" when neither
    bool skipped = false; // decided ahead of the run (remote runs): the output is up to date
    JobPlan plan;
    QString problem; // set when the source cannot be converted at all (it does not exist)
    QByteArray nativePath{}; // as in BatchSource
};

// The sources the command line names, as the bytes they arrived as: a file name need not be
// UTF-8, and its text would name another file. argv is the program's own argument vector.
QByteArrayList CommandLineSources(int argc, const char* const* argv, int defaultJobs);

// The sources in list order: a file as given (made absolute), a folder as Add Folder searches it.
// A source that does not exist stays in the list with its problem, so it is reported like any
// other failure. Unreadable folders met during a search are added to warnings.
QVector<BatchSource> ExpandSources(const QByteArrayList& sources, QStringList* missing,
                                   QStringList* warnings);

QVector<BatchJob> BuildBatchJobs(const QString& programFolder, const QVector<BatchSource>& files,
                                 const QStringList& missing, const ConversionSettings& settings);

// With names from tags in the settings, every job's output is named from its source's tags, and
// a job numbered or named after its source says why in its name note.

// The list entries of the jobs, in the same order, for the batch scheduler.
QVector<FileEntry> EntriesOf(const QVector<BatchJob>& jobs);

// The lines of a dry run: each job's converter command, with what the existing-output rule would
// do to it (an earlier job's output counts as there and new) and its notes after "  # ", one
// line per job.
QStringList DryRunLines(const QVector<BatchJob>& jobs, ExistingOutput rule);

// The existing-output rule applied to every job ahead of the run, as a dry run shows it: a job
// whose output is up to date is marked skipped, a numbered one gets its new output path. A remote
// run decides here, because the other machines never see the output folder.
void DecideExistingOutputs(QVector<BatchJob>& jobs, ExistingOutput rule);

// A job's notes as its line shows them: the name note, then what the plan says.
QString JobNotes(const BatchJob& job, const JobPlan& plan);
