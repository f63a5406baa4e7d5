#pragma once

#include "engine/command_line.h"
#include "engine/job_plan.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

struct FileEntry;

// What the library choices do to the jobs of a run: names from tags for the whole list, a stream
// copy where the source is already in the target's codec, and the rule for an existing output.

// Gives every entry its output name from its tags, in list order, so that equal names are
// numbered the same way in every front end. Returns one note per entry: why it is numbered or
// named after its source, "" otherwise. Does nothing without a name pattern.
QStringList NameEntries(QVector<FileEntry>& entries, const ConversionSettings& settings);

// The settings an entry with a name from tags is converted with: its folders below the output
// folder, and its file name in place of the source's.
ConversionSettings NamedEntrySettings(const ConversionSettings& settings,
                                      const QString& outputName,
                                      const PathStyle& style = PathStyle::native());

// The codec FFmpeg gives the target format's audio ("mp3" for MP3); "" for a format whose
// output cannot simply hold a copied stream (AMR, MPG).
QString TargetAudioCodec(int formatIndex);

// With "copy same format" on, and neither the cutter nor an applied gain in play, turns the plan
// into a stream copy when the source's audio is already in the target's codec: the same output
// path, the audio and its tags (and the cover where the target keeps one) copied unchanged.
// codecOf names the codec of a source's audio (SourceAudioCodec).
void PlanStreamCopy(JobPlan& plan, const QString& sourcePath, const ConversionSettings& settings,
                    const std::function<QString(const QString&)>& codecOf);

// With "verify" on, notes on the plan how the converter checks its output before keeping it.
void NoteVerify(JobPlan& plan, const ConversionSettings& settings);

// What the existing-output rule makes of a job just before it starts.
struct ExistingDecision
{
    bool skip = false; // leave the output alone: it is at least as new as the source
    QString note;      // said on the job's line: why it is skipped, or which number it got
};

// Applies the rule: Skip skips when the output exists and is at least as new as the source;
// Number moves the plan to "name (n).ext", the first n whose file neither exists nor is taken.
// taken() answers for outputs that are not on disk yet but will be (running jobs, or the earlier
// jobs of a dry run); they count as existing and new. Paths are asked by their bytes.
ExistingDecision ApplyExistingRule(JobPlan& plan, const QString& sourcePath, ExistingOutput rule,
                                   const std::function<bool(const QByteArray&)>& taken);

// The plan with its output moved to another path: the command text, the argument and the path.
void RetargetPlan(JobPlan& plan, const QString& output);
