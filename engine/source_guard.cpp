#include "engine/source_guard.h"

#include "intake/file_list_model.h"

#include <QFile>
#include <QFileInfo>

QByteArray PathBytes(const QString& path)
{
    return QFile::encodeName(path);
}

QByteArray SourceBytes(const FileEntry& entry)
{
    return PathBytes(entry.queuePath);
}

void BatchSources::add(const QByteArray& path)
{
    if (const auto identity = IdentityOf(path))
        m_files.insert(*identity);
}

QString BatchSources::refusalFor(const QString& outputPath) const
{
    if (m_files.isEmpty())
        return {};
    const auto identity = IdentityOf(PathBytes(outputPath));
    if (!identity || !m_files.contains(*identity))
        return {};
    return QStringLiteral("the output would replace a source file (%1)")
        .arg(QFileInfo(outputPath).fileName());
}
