#include "cli/batch_options.h"

#include "engine/output_names.h"
#include "settings/extra_settings.h"
#include "settings/picker_lists.h"
#include "settings/settings_files.h"

#include <QCommandLineParser>

namespace {

struct Choice
{
    const char* name;
    const char* valueName;
    const char* description;
    QStringList (*items)();
    std::optional<std::int16_t> BatchOptions::*field;
};

const Choice Choices[] = {
    {"format", "FORMAT", "Output format", FormatItems, &BatchOptions::formatIndex},
    {"bitrate", "KBITS",
     "Bitrate in kbit/s (MP3, MPG, OPUS and M4A), or an MP3 VBR preset that the other lossy "
     "formats match",
     BitrateItems, &BatchOptions::bitrateIndex},
    {"rate", "HZ", "Sample rate in Hz (MP3, MPG, OPUS and M4A)", RateItems,
     &BatchOptions::rateIndex},
    {"channels", "LAYOUT", "Channels (MP3, MPG, OPUS and M4A)", ChannelItems,
     &BatchOptions::channelIndex},
};

std::optional<std::int16_t> indexOf(const QStringList& items, const QString& value)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items[i].compare(value, Qt::CaseInsensitive) == 0)
            return static_cast<std::int16_t>(i);
    }
    return std::nullopt;
}

ParsedArguments usageError(const QString& message)
{
    ParsedArguments parsed;
    parsed.outcome = ParsedArguments::Outcome::UsageError;
    parsed.text = message;
    return parsed;
}

} // namespace

ParsedArguments ParseBatchArguments(const QStringList& arguments, int defaultJobs)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Converts audio and video files with Trevalon's settings. A SOURCE is a file "
                       "or a folder; folders are searched with everything beneath them."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const Choice& choice : Choices) {
        parser.addOption({QString::fromLatin1(choice.name),
                          QString::fromLatin1(choice.description) + QStringLiteral(": ") +
                              choice.items().join(QStringLiteral(", ")),
                          QString::fromLatin1(choice.valueName)});
    }
    parser.addOption({QStringLiteral("output"), QStringLiteral("Output folder"),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("cut-start"),
                      QStringLiteral("Start of the excerpt, h:mm:ss[.f] or seconds"),
                      QStringLiteral("TIME")});
    parser.addOption({QStringLiteral("cut-length"),
                      QStringLiteral("Length of the excerpt, h:mm:ss[.f] or seconds"),
                      QStringLiteral("TIME")});
    parser.addOption({QStringLiteral("settings-dir"),
                      QStringLiteral("Read setup.ini, options.ini and trevalon.ini from DIR"),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("jobs"),
                      QStringLiteral("Run up to N converters at once (default: the window's "
                                     "\"Files at once\" when chosen, otherwise %1); with "
                                     "--sshloginfile, N on each machine whose line gives no N/")
                          .arg(defaultJobs),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("sshloginfile"),
                      QStringLiteral("Convert on the machines listed in FILE (GNU parallel's "
                                     "sshlogin file: one machine a line, optionally N/ first for N "
                                     "jobs on it) instead of on this one"),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("remote-program"),
                      QStringLiteral("trevalon-batch as the machines of --sshloginfile start it "
                                     "(default: trevalon-batch)"),
                      QStringLiteral("PATH"), QStringLiteral("trevalon-batch")});
    parser.addOption({QStringLiteral("keep-folders"),
                      QStringLiteral("Put the files of a folder SOURCE into that folder's name and "
                                     "subfolders under the output folder (default: as the window's "
                                     "\"Keep folders\" option)")});
    parser.addOption({QStringLiteral("names"),
                      QStringLiteral("Name each output from its tags below the output folder, "
                                     "without extension; a / makes folders. Fields: {artist}, "
                                     "{albumartist}, {album}, {title}, {track}, {disc}, {year}, "
                                     "{genre}, {filename}, {folder}. Example: "
                                     "\"{albumartist}/{album}/{track} {title}\""),
                      QStringLiteral("PATTERN")});
    parser.addOption({QStringLiteral("existing"),
                      QStringLiteral("When the output exists: overwrite (default), skip (leave an "
                                     "output as new as its source alone) or number (write "
                                     "\"name (2).ext\" beside it)"),
                      QStringLiteral("RULE")});
    parser.addOption({QStringLiteral("copy-same-format"),
                      QStringLiteral("Copy a source whose audio is already in the output format's "
                                     "codec instead of encoding it again (not with a cut)")});
    parser.addOption({QStringLiteral("loudness"),
                      QStringLiteral("off, tag (ReplayGain track and album values; R128 gains for "
                                     "OPUS) or apply (the audio brought to -18 LUFS) (default: as "
                                     "the window's \"Loudness\" option)"),
                      QStringLiteral("CHOICE")});
    QCommandLineOption loudnessReport(QStringLiteral("loudness-report"),
                                      QStringLiteral("Write each file's loudness report to FILE"),
                                      QStringLiteral("FILE"));
    loudnessReport.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(loudnessReport);
    parser.addOption({QStringLiteral("verify"),
                      QStringLiteral("Decode each output to its end before it replaces anything, "
                                     "and check its length against the source's; a FLAC, WAV or "
                                     "ALAC output must hold the source's very samples. An output "
                                     "that fails is removed and reported failed")});
    parser.addOption({QStringLiteral("dry-run"),
                      QStringLiteral("Print each converter command (with --sshloginfile: the parallel "
                                     "command and the job list) and convert nothing")});
    parser.addOption({{QStringLiteral("q"), QStringLiteral("quiet")},
                      QStringLiteral("Print only failures and the summary")});
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("Files or folders"),
                                 QStringLiteral("SOURCE..."));

    if (!parser.parse(QStringList(QStringLiteral("trevalon-batch")) + arguments))
        return usageError(parser.errorText());

    ParsedArguments parsed;
    if (parser.isSet(help)) {
        parsed.outcome = ParsedArguments::Outcome::ShowHelp;
        parsed.text = parser.helpText();
        return parsed;
    }
    if (parser.isSet(version)) {
        parsed.outcome = ParsedArguments::Outcome::ShowVersion;
        parsed.text = QStringLiteral("trevalon-batch " TREVALON_VERSION_STRING);
        return parsed;
    }

    BatchOptions& options = parsed.options;
    for (const Choice& choice : Choices) {
        const QString name = QString::fromLatin1(choice.name);
        if (!parser.isSet(name))
            continue;
        const auto index = indexOf(choice.items(), parser.value(name));
        if (!index) {
            return usageError(QStringLiteral("--%1 %2 is not allowed; allowed values: %3")
                                  .arg(name, parser.value(name),
                                       choice.items().join(QStringLiteral(", "))));
        }
        options.*choice.field = index;
    }
    if (parser.isSet(QStringLiteral("output"))) {
        options.outputFolder = parser.value(QStringLiteral("output"));
        if (options.outputFolder->isEmpty())
            return usageError(QStringLiteral("--output needs a folder"));
        if (!SetupFileCanHoldFolder(*options.outputFolder))
            return usageError(FolderWithQuoteMessage(*options.outputFolder));
    }
    for (const auto& [name, field] : {std::pair{"cut-start", &BatchOptions::cutStart},
                                      std::pair{"cut-length", &BatchOptions::cutLength}}) {
        const QString option = QString::fromLatin1(name);
        if (!parser.isSet(option))
            continue;
        QString error;
        options.*field = ParseCutTime(parser.value(option), &error);
        if (!(options.*field))
            return usageError(QStringLiteral("--%1: %2").arg(option, error));
    }
    options.settingsDir = parser.value(QStringLiteral("settings-dir"));

    options.jobs = defaultJobs;
    options.jobsGiven = parser.isSet(QStringLiteral("jobs"));
    if (options.jobsGiven) {
        bool ok = false;
        options.jobs = parser.value(QStringLiteral("jobs")).toInt(&ok);
        if (!ok || options.jobs < 1 || options.jobs > 64)
            return usageError(QStringLiteral("--jobs takes a whole number from 1 to 64"));
    }
    options.sshLoginFile = parser.value(QStringLiteral("sshloginfile"));
    if (parser.isSet(QStringLiteral("sshloginfile")) && options.sshLoginFile.isEmpty())
        return usageError(QStringLiteral("--sshloginfile needs a file"));
    options.remoteProgram = parser.value(QStringLiteral("remote-program"));
    if (options.remoteProgram.isEmpty())
        return usageError(QStringLiteral("--remote-program needs a program"));
    options.keepFolders = parser.isSet(QStringLiteral("keep-folders"));
    if (parser.isSet(QStringLiteral("names"))) {
        options.namePattern = parser.value(QStringLiteral("names"));
        if (const auto problem = NamePatternProblem(*options.namePattern))
            return usageError(QStringLiteral("--names: %1").arg(*problem));
    }
    if (parser.isSet(QStringLiteral("existing"))) {
        options.existing = ParseExistingOutput(parser.value(QStringLiteral("existing")));
        if (!options.existing)
            return usageError(QStringLiteral("--existing takes overwrite, skip or number"));
    }
    options.copySameFormat = parser.isSet(QStringLiteral("copy-same-format"));
    if (parser.isSet(QStringLiteral("loudness"))) {
        options.loudness = LoudnessFromWord(parser.value(QStringLiteral("loudness")));
        if (!options.loudness)
            return usageError(QStringLiteral("--loudness %1 is not allowed; allowed values: off, "
                                             "tag, apply")
                                  .arg(parser.value(QStringLiteral("loudness"))));
    }
    options.loudnessReport = parser.value(loudnessReport);
    options.verify = parser.isSet(QStringLiteral("verify"));
    options.dryRun = parser.isSet(QStringLiteral("dry-run"));
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    options.sources = parser.positionalArguments();
    if (options.sources.isEmpty())
        return usageError(QStringLiteral("no SOURCE given; try --help"));
    return parsed;
}

void ApplyOverrides(const BatchOptions& options, SetupSettings& setup, OptionsSettings& cutter)
{
    if (options.formatIndex)
        setup.formatIndex = *options.formatIndex;
    if (options.bitrateIndex)
        setup.bitrateIndex = *options.bitrateIndex;
    if (options.rateIndex)
        setup.rateIndex = *options.rateIndex;
    if (options.channelIndex)
        setup.channelIndex = *options.channelIndex;
    if (options.outputFolder)
        setup.outputFolder = *options.outputFolder;
    if (!options.cutStart && !options.cutLength)
        return;
    if (options.cutStart) {
        cutter.cutStart = options.cutStart->seconds;
        cutter.cutStartFraction = options.cutStart->fraction;
    }
    if (options.cutLength) {
        cutter.cutLength = options.cutLength->seconds;
        cutter.cutLengthFraction = options.cutLength->fraction;
    }
    cutter.cutterOn = (cutter.cutStart == 0 && cutter.cutLength == 0) ? 0 : 1;
}

int JobsToRun(const BatchOptions& options, const ExtraSettings& extra)
{
    return options.jobsGiven ? options.jobs : extra.filesAtOnce.value_or(options.jobs);
}

LibraryChoices LibraryChoicesToRun(const BatchOptions& options, const ExtraSettings& extra)
{
    LibraryChoices choices = extra.library;
    if (options.namePattern)
        choices.namePattern = *options.namePattern;
    if (options.existing)
        choices.existing = *options.existing;
    choices.copySameFormat = choices.copySameFormat || options.copySameFormat;
    choices.verify = choices.verify || options.verify;
    return choices;
}
