#include "intake/staging.h"

#include "intake/display_text.h"
#include "platform/code_page.h"
#include "platform/private_folder.h"

#include <QFile>
#include <QFileInfo>

#include <string_view>

namespace {

constexpr qsizetype MaxStagedNameLength = 200;

const QString StagedSuffix = QStringLiteral(".tmp");

// A partly written copy never carries the name the list queues: it is renamed into place whole.
const QString PartialSuffix = QStringLiteral(".part");

QString removalFailure(const QString& path, const QString& reason)
{
    return path + QStringLiteral(": ") + reason;
}

void deleteEntry(const QFileInfo& entry, DeleteReport& report);

void deleteFolder(const QString& path, DeleteReport& report)
{
    // The owner must be able to list and change the folder before its entries can go.
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOwner | QFile::WriteOwner |
                                    QFile::ExeOwner);
    const QFileInfoList entries = QDir(path).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries)
        deleteEntry(entry, report);
    if (QDir().rmdir(path))
        ++report.foldersRemoved;
    else
        report.failures += removalFailure(path, QStringLiteral("folder not removed"));
}

void deleteEntry(const QFileInfo& entry, DeleteReport& report)
{
    const QString path = entry.absoluteFilePath();
    if (entry.isDir() && !entry.isSymLink()) {
        deleteFolder(path, report);
        return;
    }
    QFile file(path);
    if (file.remove())
        ++report.filesRemoved;
    else
        report.failures += removalFailure(path, file.errorString());
}

} // namespace

bool FileExists(const QString& path, const CodePage& codePage)
{
    if (path.isEmpty() || AnsiRoundTrip(path, codePage) != path)
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

QString StagingFolderPath()
{
    return ProgramTempFolder() + QStringLiteral("/staging");
}

bool PrepareStagingFolder(const QString& stagingFolder, QString* error)
{
    const QString parent = QFileInfo(stagingFolder).absolutePath();
    return EnsurePrivateFolder(parent, error) && EnsurePrivateFolder(stagingFolder, error);
}

QString StagedName(const QString& sourcePath, const CodePage& codePage, QChar separator,
                   const QDateTime& now)
{
    QString name = OutputBaseName(AnsiRoundTrip(sourcePath, codePage), separator);
    for (const char16_t forbidden : std::u16string_view(u"/\\<>?\":*|"))
        name.replace(QChar(forbidden), QLatin1Char(' '));
    name.truncate(MaxStagedNameLength);
    if (name.trimmed().isEmpty())
        name = now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return name;
}

SourceStager::SourceStager(const CodePage& codePage, QString stagingFolder, QChar separator,
                           Clock clock)
    : m_codePage(codePage), m_stagingFolder(std::move(stagingFolder)), m_separator(separator),
      m_clock(std::move(clock))
{
}

QString SourceStager::uniqueStagedPath(const QString& name, const QString& sourcePath) const
{
    const QString folder = m_stagingFolder + m_separator;
    QString candidate = folder + name + StagedSuffix;
    for (int number = 2;; ++number) {
        const auto owner = m_sourceOfStagedPath.constFind(candidate);
        if (owner == m_sourceOfStagedPath.cend() || *owner == sourcePath)
            return candidate;
        const QString suffix = QStringLiteral(" (%1)").arg(number);
        candidate = folder + name.left(MaxStagedNameLength - suffix.size()) + suffix + StagedSuffix;
    }
}

StageResult SourceStager::StageSource(const QString& sourcePath)
{
    StageResult result;
    if (FileExists(sourcePath, m_codePage)) {
        result.queuePath = sourcePath;
        return result;
    }
    result.staged = true;
    const QString name = StagedName(sourcePath, m_codePage, m_separator, m_clock());
    result.queuePath = uniqueStagedPath(name, sourcePath);
    m_sourceOfStagedPath.insert(result.queuePath, sourcePath);

    if (QFileInfo(sourcePath).isDir()) {
        result.error = QStringLiteral("%1 is a folder").arg(sourcePath);
        return result;
    }
    const QString partial = result.queuePath + PartialSuffix;
    QFile::remove(partial);
    QFile source(sourcePath);
    if (!source.copy(partial)) {
        result.error = source.errorString();
        QFile::remove(partial);
        return result;
    }
    // Replacing the earlier copy by rename leaves a converter that is reading it undisturbed.
    QFile::remove(result.queuePath);
    QFile staged(partial);
    if (!staged.rename(result.queuePath)) {
        result.error = staged.errorString();
        return result;
    }
    result.copied = true;
    return result;
}

DeleteReport DeleteFolderTree(const QString& folder)
{
    DeleteReport report;
    const QFileInfo root(folder);
    if (root.exists() || root.isSymLink())
        deleteEntry(root, report);
    return report;
}

DeleteReport ClearStagingFolder(const QString& stagingFolder)
{
    const QString parent = QFileInfo(stagingFolder).absolutePath();
    const QFileInfo parentInfo(parent);
    if (!parentInfo.exists() && !parentInfo.isSymLink())
        return {};
    QString error;
    if (!EnsurePrivateFolder(parent, &error)) {
        DeleteReport refused;
        refused.failures += removalFailure(stagingFolder, error);
        return refused;
    }
    return DeleteFolderTree(stagingFolder);
}
