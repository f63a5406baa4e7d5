#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

struct ConversionSettings;
struct ConverterInvocation;
struct FileEntry;
struct JobPlan;

// A source whose name is not UTF-8 (an old Latin-1 archive's "Br\xfcder.flac") cannot be handed
// to the converter by name: its arguments are text, and the text shows the name with replacement
// characters, which name another file or none. Such a job converts through names that are text:
// a link in the private staging folder stands for the source, and the converter writes a hidden
// partial file in the output folder, which is renamed onto the output once the job has succeeded.
// The output's name comes from the source's bytes, so "Br\xfcder.flac" gives "Br\xfcder.mp3" and
// two sources that show alike give two outputs.
struct StagedNames
{
    QByteArray source;  // the source's path as bytes
    QByteArray output;  // where the output goes, as bytes
    QString link;       // the link the converter reads
    QString partial;    // the file the converter writes
    QString shownOutput; // the output's path as text, with replacement characters
};

// The staged names of an entry whose path is not exact text, and the invocation rewritten to read
// the link and write the partial file; null for any other entry, whose invocation stays as it is.
std::shared_ptr<const StagedNames> StageNames(const FileEntry& entry,
                                              const ConversionSettings& settings,
                                              ConverterInvocation& invocation);

// Puts the plan's link in place and creates the output's folders. Empty when the job may start
// (always for a plan without staged names), otherwise why it cannot.
QString PrepareStagedJob(const JobPlan& plan);

// After the converter succeeded: renames the partial file onto the output path (a link there is
// replaced, never written through). Empty on success or for a plan without staged names,
// otherwise why the output could not be put in place.
QString PlaceStagedOutput(const JobPlan& plan);

// The converter's line about a staged job with the link's name replaced by the source's, as shown.
QString StagedReason(const JobPlan& plan, const QString& line);

// Creates the folder and those above it that are missing, by their bytes: 0, or the errno of
// the folder that could not be made.
int MakeFolders(const QByteArray& folder);

// Removes the link and, when it is still there, the partial file: after a failure or a stop
// nothing of the job is left.
void ClearStagedJob(const JobPlan& plan);
