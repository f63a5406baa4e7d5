#include "converter/in_process.h"

#include "converter/amr_writer.h"
#include "converter/job.h"
#include "converter/pipeline.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

InProcessRun convertInProcess(const Arguments& arguments, const std::string& written, bool amr,
                              ChildProcess& stops)
{
    InProcessRun run;
    std::string error;
    auto job = parseJob(arguments, error);
    if (!job) {
        const std::string text = "conv: " + error + '\n';
        (void)!write(STDERR_FILENO, text.data(), text.size());
        run.refused = true;
        run.result.exitStatus = 2;
        return run;
    }
    const StopCheck stop = [&stops] { return stops.pendingStop(); };
    PipelineResult converted;
    if (amr) {
        AmrWriter writer(job->bitrate);
        if ((run.writeError = writer.open(written)) != 0)
            return run;
        converted = runPipeline(*job, written, stop, [&](const char* data, std::size_t size) {
            run.writeError = writer.write(data, size);
            return run.writeError == 0;
        });
        if (converted.status == 0 && run.writeError == 0)
            run.writeError = writer.finish();
    } else {
        converted = runPipeline(*job, written, stop, {});
    }
    run.result.stopSignal = converted.stopSignal;
    run.result.exitStatus = converted.stopSignal == 0 && run.writeError == 0 ? converted.status : 0;
    run.emptyOutput = converted.nothingDecoded;
    return run;
}

bool takeInProcessChoice(Arguments& arguments)
{
    if (!arguments.empty() && arguments.front() == "--in-process") {
        arguments.erase(arguments.begin());
        return true;
    }
    const char* chosen = std::getenv("TREVALON_CONV_IN_PROCESS");
    return chosen != nullptr && std::strcmp(chosen, "1") == 0;
}
