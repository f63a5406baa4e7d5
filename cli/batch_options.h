#pragma once

#include "cli/cut_time.h"
#include "settings/library_choices.h"
#include "settings/loudness_choice.h"
#include "settings/settings_types.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the command line asked for. Unset overrides leave the settings files' values in force.
struct BatchOptions
{
    QStringList sources;
    std::optional<std::int16_t> formatIndex;
    std::optional<std::int16_t> bitrateIndex;
    std::optional<std::int16_t> rateIndex;
    std::optional<std::int16_t> channelIndex;
    std::optional<QString> outputFolder;
    std::optional<CutTime> cutStart;
    std::optional<CutTime> cutLength;
    QString settingsDir; // empty: where the window keeps its settings
    int jobs = 1;           // --jobs, or the default handed to the parser
    bool jobsGiven = false; // --jobs was on the command line
    bool keepFolders = false; // --keep-folders; without it trevalon.ini decides
    // The library choices; each one not given leaves trevalon.ini's choice in force.
    std::optional<QString> namePattern;     // --names PATTERN
    std::optional<ExistingOutput> existing; // --existing overwrite|skip|number
    bool copySameFormat = false;            // --copy-same-format
    std::optional<LoudnessChoice> loudness; // --loudness; without it trevalon.ini decides
    // --loudness-report FILE (not in --help; a remote run's job asks for it): each file's loudness
    // report goes to FILE, and album values are left to whoever reads it.
    QString loudnessReport;
    bool verify = false;                    // --verify
    QString sshLoginFile;  // set: the batch runs on the machines it lists, through GNU parallel
    QString remoteProgram; // trevalon-batch as the other machines start it
    bool dryRun = false;
    bool quiet = false;
};

struct ExtraSettings;

struct ParsedArguments
{
    enum class Outcome { Run, ShowHelp, ShowVersion, UsageError };
    Outcome outcome = Outcome::Run;
    BatchOptions options;
    QString text; // the help, the version or the usage error
};

// Parses the arguments (without the program name). defaultJobs is used when --jobs is absent.
ParsedArguments ParseBatchArguments(const QStringList& arguments, int defaultJobs);

// Applies the overrides to the settings read from the files. A cutter time on the command line turns
// the cutter on, unless start and length are both zero, which turns it off as the options dialog does.
void ApplyOverrides(const BatchOptions& options, SetupSettings& setup, OptionsSettings& cutter);

// How many converters run at once: --jobs when given, else the window's "Files at once" from
// trevalon.ini when chosen, else the parser's default (every core).
int JobsToRun(const BatchOptions& options, const ExtraSettings& extra);

// The library choices of a run: trevalon.ini's, with those the command line gives in their place.
LibraryChoices LibraryChoicesToRun(const BatchOptions& options, const ExtraSettings& extra);
