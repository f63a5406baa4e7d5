#include "engine/job_plan.h"

#include "engine/kept_folders.h"
#include "engine/library_jobs.h"
#include "intake/file_list_model.h"
#include "intake/track_tags.h"

#include <QFile>

QByteArray JobPlan::outputBytes() const
{
    return staged ? staged->output : QFile::encodeName(invocation.outputPath);
}

JobPlan PlanJob(const QString& programFolder, const FileEntry& entry,
                const ConversionSettings& settings)
{
    // With "Keep folders" on, an entry found in an added folder has its output below the output
    // folder, in that folder's name and subfolders; otherwise the settings pass unchanged.
    // An entry named from its tags has its whole path below the output folder from that name.
    const ConversionSettings placed =
        entry.outputName.isEmpty() ? EntrySettings(settings, entry.addedFolder, entry.queuePath)
                                   : NamedEntrySettings(settings, entry.outputName);
    JobPlan plan;
    plan.commandText = BuildCommandLine(programFolder, entry.queuePath, placed);
    plan.invocation = BuildConverterInvocation(programFolder, entry.queuePath, placed);
    PlanStreamCopy(plan, entry.queuePath, placed, SourceAudioCodec);
    NoteVerify(plan, placed);
    // The output of a source named in bytes is placed by its bytes, from the chosen output folder.
    plan.staged = StageNames(entry, settings, plan.invocation);
    return plan;
}

QString OutputKey(const QString& outputPath)
{
    return outputPath.toCaseFolded();
}

QString OutputKey(const QByteArray& outputPath)
{
    const QString text = QString::fromUtf8(outputPath);
    if (text.toUtf8() == outputPath)
        return OutputKey(text);
    // Bytes that are not UTF-8 stand for themselves: two such names that show alike are two
    // files. The mark keeps them apart from every name that is text.
    return QChar(1) + QString::fromLatin1(outputPath).toCaseFolded();
}

QString OutputKey(const JobPlan& plan)
{
    return OutputKey(plan.outputBytes());
}
