#include "engine/job_plan.h"

#include "intake/file_list_model.h"

JobPlan PlanJob(const QString& programFolder, const FileEntry& entry,
                const ConversionSettings& settings)
{
    JobPlan plan;
    plan.commandText = BuildCommandLine(programFolder, entry.queuePath, settings);
    plan.invocation = BuildConverterInvocation(programFolder, entry.queuePath, settings);
    return plan;
}
