#include "engine/source_guard.h"

#include "engine/job_plan.h"
#include "intake/file_list_model.h"

#include <QFileInfo>

QByteArray SourceBytes(const FileEntry& entry)
{
    return entry.queueBytes();
}

void BatchSources::add(const QByteArray& path)
{
    if (const auto identity = IdentityOf(path))
        m_files.insert(*identity);
}

QString BatchSources::refusalFor(const JobPlan& plan) const
{
    if (m_files.isEmpty())
        return {};
    const auto identity = IdentityOf(plan.outputBytes());
    if (!identity || !m_files.contains(*identity))
        return {};
    return QStringLiteral("the output would replace a source file (%1)")
        .arg(QFileInfo(plan.outputPath()).fileName());
}
