#pragma once

#include "engine/command_line.h"
#include "engine/conversion_settings.h"

#include <QString>

struct FileEntry;

// What one entry of the list becomes when its job starts: the command text as shown and
// recorded, and the argument vector that runs (which names the output file).
struct JobPlan
{
    QString commandText;
    ConverterInvocation invocation;
    bool streamCopy = false; // the source's audio is copied into the target's container, not encoded
    QString note;            // what a dry run and the report add on the job's line; "" for none

    const QString& outputPath() const { return invocation.outputPath; }
};

// The one step from an entry to its converter command and output path, with the settings read as
// its job starts. Both front ends and every way of placing outputs go through it.
JobPlan PlanJob(const QString& programFolder, const FileEntry& entry,
                const ConversionSettings& settings);
