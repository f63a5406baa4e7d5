#pragma once

#include "engine/command_line.h"
#include "engine/conversion_settings.h"
#include "engine/staged_names.h"

#include <QString>

#include <memory>

struct FileEntry;

// What one entry of the list becomes when its job starts: the command text as shown and
// recorded, and the argument vector that runs (which names the output file).
struct JobPlan
{
    QString commandText;
    ConverterInvocation invocation;
    // Set for a source whose name is not UTF-8: the converter then reads a link and writes a
    // partial file, and the output is put in place by name once the job has succeeded.
    std::shared_ptr<const StagedNames> staged;
    bool streamCopy = false; // the source's audio is copied into the target's container, not encoded
    QString note;            // what a dry run and the report add on the job's line; "" for none

    // Where the output ends up, as text (as the command text shows it).
    const QString& outputPath() const
    {
        return staged ? staged->shownOutput : invocation.outputPath;
    }
    // The same path as the file system takes it.
    QByteArray outputBytes() const;
};

// The one step from an entry to its converter command and output path, with the settings read as
// its job starts. Both front ends and every way of placing outputs go through it.
JobPlan PlanJob(const QString& programFolder, const FileEntry& entry,
                const ConversionSettings& settings);

// What two output paths share when they name the same file: paths that differ only in letter
// case collide on the FAT and exFAT sticks music is carried on, so they are one output.
QString OutputKey(const QString& outputPath);
// The same for a path as bytes, and for a plan's output (a name that is not UTF-8 by its bytes).
QString OutputKey(const QByteArray& outputPath);
QString OutputKey(const JobPlan& plan);
