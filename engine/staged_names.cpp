#include "engine/staged_names.h"

#include "engine/command_line.h"
#include "engine/conversion_settings.h"
#include "engine/job_plan.h"
#include "engine/kept_folders.h"
#include "intake/display_text.h"
#include "intake/file_list_model.h"
#include "intake/staging.h"
#include "settings/picker_lists.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QChar Separator = QLatin1Char('/');

// Byte paths are taken apart with the text functions through Latin-1, one character per byte: the
// rules that apply (separators, dots) only ever look at ASCII, so the bytes come back unchanged.
QString asLatin1(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

// The source's folders that "Keep folders" rebuilds, as bytes: as many trailing folder names as
// the text form keeps, since decoding keeps every separator where it was.
QByteArray keptSubfolderBytes(const FileEntry& entry, const ConversionSettings& settings)
{
    if (!settings.keepFolders)
        return {};
    const QString kept = KeptSubfolder(entry.addedFolder, entry.queuePath, Separator);
    if (kept.isEmpty())
        return {};
    const qsizetype count = kept.split(Separator, Qt::SkipEmptyParts).size();
    QStringList folders = asLatin1(entry.nativePath).split(Separator, Qt::SkipEmptyParts);
    folders.removeLast();
    if (folders.size() < count)
        return {};
    return folders.mid(folders.size() - count).join(Separator).toLatin1();
}

// The source's own extension when it is a short plain one, so a reader that looks at the name
// sees the same type through the link.
QByteArray sourceExtension(const QByteArray& source)
{
    const QByteArray name = source.mid(source.lastIndexOf('/') + 1);
    const qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0 || name.size() - dot > 9)
        return {};
    const QByteArray extension = name.mid(dot);
    for (const char c : extension.mid(1)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return {};
    }
    return extension;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}


} // namespace

std::shared_ptr<const StagedNames> StageNames(const FileEntry& entry,
                                              const ConversionSettings& settings,
                                              ConverterInvocation& invocation)
{
    // The source follows the first "-i": the converter's own switches may stand before it.
    const qsizetype input = invocation.arguments.indexOf(QLatin1String("-i"));
    if (entry.nativePath.isEmpty() || invocation.isEmpty() || input < 0 ||
        input + 3 > invocation.arguments.size())
        return nullptr;
    auto staged = std::make_shared<StagedNames>();
    staged->source = entry.nativePath;
    staged->shownOutput = invocation.outputPath;

    QByteArray folder = QFile::encodeName(settings.outputFolder);
    if (const QByteArray kept = keptSubfolderBytes(entry, settings); !kept.isEmpty()) {
        if (!folder.endsWith('/'))
            folder += '/';
        folder += kept;
    }
    if (!folder.endsWith('/'))
        folder += '/';
    const QByteArray extension = FormatTable[settings.formatIndex].extension;
    staged->output = folder + OutputBaseName(asLatin1(entry.nativePath), Separator).toLatin1() +
                     extension;

    // Names of this process and this pair of source and output, so that jobs running at once,
    // and runs of other processes into the same folders, never share one.
    const QString process = QString::number(QCoreApplication::applicationPid());
    const QString tag = QString::fromLatin1(
        QCryptographicHash::hash(staged->source + '\0' + staged->output,
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(16));
    staged->link = StagingFolderPath() + QStringLiteral("/name-") + process + QLatin1Char('-') +
                   tag + QString::fromLatin1(sourceExtension(staged->source));
    QString root = settings.outputFolder;
    if (!root.endsWith(Separator))
        root += Separator;
    // The form of a partial output: hidden, the writer's process id, the real extension last.
    staged->partial = root + QLatin1Char('.') + tag + QStringLiteral(".trevalon-") + process +
                      QString::fromLatin1(extension);

    invocation.arguments[input + 1] = staged->link;
    invocation.arguments.last() = staged->partial;
    invocation.outputPath = staged->partial;
    return staged;
}

QString PrepareStagedJob(const JobPlan& plan)
{
    if (!plan.staged)
        return {};
    const StagedNames& staged = *plan.staged;
    QString error;
    if (!PrepareStagingFolder(StagingFolderPath(), &error))
        return error;
    const QByteArray link = QFile::encodeName(staged.link);
    struct stat info {};
    if (::lstat(link.constData(), &info) == 0 && S_ISLNK(info.st_mode))
        ::unlink(link.constData());
    if (::symlink(staged.source.constData(), link.constData()) != 0)
        return QStringLiteral("cannot link %1: %2").arg(staged.link, systemError());
    const QByteArray outputFolder = staged.output.left(staged.output.lastIndexOf('/'));
    if (MakeFolders(outputFolder) != 0) {
        const QString why = QStringLiteral("cannot create the folder %1: %2")
                                .arg(QFile::decodeName(outputFolder), systemError());
        ::unlink(link.constData());
        return why;
    }
    return {};
}

QString PlaceStagedOutput(const JobPlan& plan)
{
    if (!plan.staged)
        return {};
    const StagedNames& staged = *plan.staged;
    if (::rename(QFile::encodeName(staged.partial).constData(), staged.output.constData()) != 0)
        return QStringLiteral("cannot put the output in place as %1: %2")
            .arg(staged.shownOutput, systemError());
    return {};
}

void ClearStagedJob(const JobPlan& plan)
{
    if (!plan.staged)
        return;
    ::unlink(QFile::encodeName(plan.staged->link).constData());
    ::unlink(QFile::encodeName(plan.staged->partial).constData());
}

QString StagedReason(const JobPlan& plan, const QString& line)
{
    if (!plan.staged)
        return line;
    const QString link = plan.staged->link;
    const QString shownSource = QFile::decodeName(plan.staged->source);
    QString reason = line;
    reason.replace(link, shownSource);
    return reason.replace(link.mid(link.lastIndexOf(Separator) + 1),
                          shownSource.mid(shownSource.lastIndexOf(Separator) + 1));
}

int MakeFolders(const QByteArray& folder)
{
    for (qsizetype at = folder.indexOf('/', 1);; at = folder.indexOf('/', at + 1)) {
        const QByteArray part = at < 0 ? folder : folder.left(at);
        if (!part.isEmpty() && ::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return errno;
        if (at < 0)
            return 0;
    }
}
