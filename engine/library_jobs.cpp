#include "engine/library_jobs.h"

#include "engine/kept_folders.h"
#include "engine/output_names.h"
#include "engine/staged_names.h"
#include "intake/display_text.h"
#include "intake/file_list_model.h"
#include "settings/picker_lists.h"

#include <QFile>
#include <algorithm>
#include <QFileInfo>
#include <QHash>

#include <memory>

#include <sys/stat.h>

namespace {

const QChar Quote = QLatin1Char('"');

// The formats whose tags keep a cover picture as a stream ffmpeg can copy.
bool keepsCover(const QString& extension)
{
    return extension == QLatin1String(".mp3") || extension == QLatin1String(".flac") ||
           extension == QLatin1String(".m4a");
}

QString lowerSuffix(const QString& path)
{
    return QLatin1Char('.') + QFileInfo(path).suffix().toLower();
}

void addNote(JobPlan& plan, const QString& note)
{
    plan.note += (plan.note.isEmpty() ? QString() : QStringLiteral("; ")) + note;
}

} // namespace

QStringList NameEntries(QVector<FileEntry>& entries, const ConversionSettings& settings)
{
    QStringList notes;
    const QString& pattern = settings.library.namePattern;
    if (pattern.isEmpty())
        return notes;
    QVector<NamingSource> sources;
    sources.reserve(entries.size());
    for (const FileEntry& entry : std::as_const(entries)) {
        NamingSource source;
        source.tags = ReadTrackTags(entry.queuePath);
        source.fileName = QFileInfo(entry.queuePath).completeBaseName();
        source.keptFolder = KeptSubfolder(entry.addedFolder, entry.queuePath, QLatin1Char('/'));
        // Without names the entry would be named after its source, in its kept folders when
        // "Keep folders" is on.
        const QString base = OutputBaseName(entry.queuePath, QLatin1Char('/'));
        source.fallback = settings.keepFolders && !source.keptFolder.isEmpty()
                              ? source.keptFolder + QLatin1Char('/') + base
                              : base;
        sources.append(source);
    }
    const QVector<NamedOutput> outputs = AssignOutputNames(pattern, sources);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        entries[i].outputName = outputs[i].path;
        QString note;
        if (!outputs[i].fromTags)
            note = QStringLiteral("named after the source: a tag of the name pattern is missing");
        if (outputs[i].number > 1) {
            note += (note.isEmpty() ? QString() : QStringLiteral("; ")) +
                    QStringLiteral("numbered (%1): an earlier source has the same name")
                        .arg(outputs[i].number);
        }
        notes.append(note);
    }
    return notes;
}

ConversionSettings NamedEntrySettings(const ConversionSettings& settings,
                                      const QString& outputName, const PathStyle& style)
{
    ConversionSettings named = settings;
    const qsizetype slash = outputName.lastIndexOf(QLatin1Char('/'));
    named.outputBaseName = outputName.mid(slash + 1);
    if (slash < 0)
        return named;
    if (!named.outputFolder.endsWith(style.separator))
        named.outputFolder += style.separator;
    QString folders = outputName.left(slash);
    folders.replace(QLatin1Char('/'), style.separator);
    named.outputFolder += folders;
    return named;
}

QString TargetAudioCodec(int formatIndex)
{
    if (formatIndex < 0 || formatIndex >= static_cast<int>(FormatTable.size()))
        return {};
    const QString format = QString::fromLatin1(FormatTable[formatIndex].listText);
    static const QHash<QString, QString> codecs = {
        {QStringLiteral("MP3"), QStringLiteral("mp3")},
        {QStringLiteral("WMA"), QStringLiteral("wmav1")},
        {QStringLiteral("OGG"), QStringLiteral("vorbis")},
        {QStringLiteral("WAV"), QStringLiteral("pcm_s16le")},
        {QStringLiteral("FLAC"), QStringLiteral("flac")},
        {QStringLiteral("AC3"), QStringLiteral("ac3")},
        {QStringLiteral("AAC"), QStringLiteral("aac")},
        {QStringLiteral("OPUS"), QStringLiteral("opus")},
        {QStringLiteral("M4A"), QStringLiteral("aac")},
        {QStringLiteral("ALAC"), QStringLiteral("alac")},
    };
    return codecs.value(format);
}

void PlanStreamCopy(JobPlan& plan, const QString& sourcePath, const ConversionSettings& settings,
                    const std::function<QString(const QString&)>& codecOf)
{
    // A copy cannot cut exactly, and an applied gain changes the audio.
    if (!settings.library.copySameFormat || settings.cutterOn != 0 ||
        settings.loudness == LoudnessChoice::Apply || plan.invocation.isEmpty())
        return;
    const QString target = TargetAudioCodec(settings.formatIndex);
    if (target.isEmpty())
        return;
    const QString codec = codecOf(sourcePath);
    if (codec != target)
        return;

    const QString output = plan.outputPath();
    // The converter's own leading switches (the check of the output, loudness tags measured on
    // the copy's audio decoded beside it) stay.
    const qsizetype leading = std::max<qsizetype>(
        0, plan.invocation.arguments.indexOf(QStringLiteral("-threads")));
    QStringList arguments = plan.invocation.arguments.mid(0, leading);
    const qsizetype sourceAt = arguments.size() + 3;
    arguments << QStringLiteral("-threads") << QStringLiteral("1") << QStringLiteral("-i")
              << sourcePath << QStringLiteral("-y") << QStringLiteral("-map")
              << QStringLiteral("0:a:0");
    const QString extension = lowerSuffix(output);
    if (keepsCover(extension) && keepsCover(lowerSuffix(sourcePath)))
        arguments << QStringLiteral("-map") << QStringLiteral("0:v?");
    arguments << QStringLiteral("-c") << QStringLiteral("copy") << output;

    QString text = plan.invocation.program;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const bool path = i == sourceAt || i + 1 == arguments.size(); // the source and the output
        text += QLatin1Char(' ') + (path ? Quote + arguments[i] + Quote : arguments[i]);
    }
    plan.invocation.arguments = arguments;
    plan.commandText = text;
    plan.streamCopy = true;
    addNote(plan, QStringLiteral("copied: the audio is already %1").arg(codec));
}

void NoteVerify(JobPlan& plan, const ConversionSettings& settings)
{
    if (!settings.library.verify || plan.invocation.isEmpty())
        return;
    // The converter compares the samples of an output that keeps them exactly; a levelled output
    // (loudness applied) changes them on purpose and is checked by its length alone.
    static const QStringList lossless = {QStringLiteral("flac"), QStringLiteral("pcm_s16le"),
                                         QStringLiteral("alac")};
    addNote(plan, lossless.contains(TargetAudioCodec(settings.formatIndex))
                      ? QStringLiteral("verified: samples compared with the source")
                      : QStringLiteral("verified: decoded and its length compared"));
}

void RetargetPlan(JobPlan& plan, const QString& output)
{
    const QString old = plan.outputPath();
    const QString quotedOld = Quote + old + Quote;
    if (plan.commandText.endsWith(quotedOld))
        plan.commandText = plan.commandText.left(plan.commandText.size() - quotedOld.size()) +
                           Quote + output + Quote;
    if (plan.staged) {
        // The converter writes the staged partial file either way; only where it goes changes.
        auto staged = std::make_shared<StagedNames>(*plan.staged);
        staged->output = QFile::encodeName(output);
        staged->shownOutput = output;
        plan.staged = std::move(staged);
        return;
    }
    if (!plan.invocation.arguments.isEmpty() && plan.invocation.arguments.last() == old)
        plan.invocation.arguments.last() = output;
    plan.invocation.outputPath = output;
}

namespace {

// What is at a path, by its bytes: a name that is not UTF-8 is looked at as itself.
struct PathState
{
    bool present = false; // a file, or a link even when it dangles
    bool readable = false; // what it leads to could be examined
    struct timespec modified{};
};

PathState stateOf(const QByteArray& path)
{
    PathState state;
    struct stat info;
    state.present = !path.isEmpty() && ::lstat(path.constData(), &info) == 0;
    if (state.present && ::stat(path.constData(), &info) == 0) {
        state.readable = true;
        state.modified = info.st_mtim;
    }
    return state;
}

bool notOlder(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec >= b.tv_nsec;
}

} // namespace

ExistingDecision ApplyExistingRule(JobPlan& plan, const QString& sourcePath, ExistingOutput rule,
                                   const std::function<bool(const QByteArray&)>& taken)
{
    ExistingDecision decision;
    const QString output = plan.outputPath();
    if (rule == ExistingOutput::Overwrite || output.isEmpty())
        return decision;
    const QByteArray outputBytes = plan.outputBytes();
    const PathState existing = stateOf(outputBytes);
    if (rule == ExistingOutput::Skip) {
        if (taken(outputBytes)) {
            decision.skip = true;
        } else if (existing.readable) {
            // An output older than its source is converted again: the source has changed.
            const PathState source =
                stateOf(plan.staged ? plan.staged->source : QFile::encodeName(sourcePath));
            decision.skip = !source.readable || notOlder(existing.modified, source.modified);
        }
        // A skipped job does nothing else, so its note says only that.
        if (decision.skip)
            plan.note = decision.note = QStringLiteral("skipped: the output exists and is up to date");
        return decision;
    }
    if (!existing.present && !taken(outputBytes))
        return decision;
    // Numbered beside the output by its bytes, so a name that is not UTF-8 keeps them.
    const qsizetype slash = outputBytes.lastIndexOf('/') + 1;
    qsizetype dot = outputBytes.lastIndexOf('.');
    if (dot <= slash)
        dot = outputBytes.size();
    const QByteArray stem = outputBytes.left(dot);
    const QByteArray suffix = outputBytes.mid(dot);
    for (int number = 2;; ++number) {
        const QByteArray candidate = stem + " (" + QByteArray::number(number) + ')' + suffix;
        const QString shown = QFile::decodeName(candidate);
        if (stateOf(candidate).present || taken(candidate))
            continue;
        RetargetPlan(plan, shown);
        if (plan.staged) {
            auto staged = std::make_shared<StagedNames>(*plan.staged);
            staged->output = candidate;
            plan.staged = std::move(staged);
        }
        addNote(plan, decision.note = QStringLiteral("numbered (%1): the output exists").arg(number));
        return decision;
    }
}
