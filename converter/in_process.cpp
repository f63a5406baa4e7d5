#include "converter/in_process.h"

#include "converter/amr_writer.h"
#include "converter/job.h"
#include "converter/pipeline.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopAsked = 0;

void noteStop(int signal)
{
    if (stopAsked == 0)
        stopAsked = signal;
}

} // namespace

void takeStopsInProcess()
{
    struct sigaction action
    {
    };
    action.sa_handler = noteStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a waiting read is interrupted
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
        sigaddset(&set, signal);
    }
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

StopCheck inProcessStop()
{
    return [] { return static_cast<int>(stopAsked); };
}

InProcessRun convertInProcess(const Arguments& arguments, const std::string& written, bool amr,
                              const std::string& filters, const EncoderAudio& encoded,
                              std::shared_ptr<AVFormatContext> opened)
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
    job->filters = filters;
    if (opened && opened->url != nullptr && job->input == opened->url)
        job->opened = std::move(opened);
    const StopCheck stop = inProcessStop();
    PipelineResult converted;
    if (amr) {
        AmrWriter writer(job->bitrate);
        if ((run.writeError = writer.open(written)) != 0)
            return run;
        converted = runPipeline(
            *job, written, stop,
            [&](const char* data, std::size_t size) {
                run.writeError = writer.write(data, size);
                return run.writeError == 0;
            },
            encoded);
        if (converted.status == 0 && run.writeError == 0)
            run.writeError = writer.finish();
    } else {
        converted = runPipeline(*job, written, stop, {}, encoded);
    }
    run.result.stopSignal = converted.stopSignal;
    run.result.exitStatus = converted.stopSignal == 0 && run.writeError == 0 ? converted.status : 0;
    run.emptyOutput = converted.nothingDecoded;
    return run;
}

bool decodesInProcess(const Arguments& arguments)
{
    std::string error;
    const auto job = parseJob(arguments, error);
    return job && !job->copy;
}

bool takeInProcessChoice(Arguments& arguments)
{
    if (!arguments.empty() &&
        (arguments.front() == "--in-process" || arguments.front() == "--ffmpeg")) {
        const bool inProcess = arguments.front() == "--in-process";
        arguments.erase(arguments.begin());
        return inProcess;
    }
    const char* chosen = std::getenv("TREVALON_CONV_IN_PROCESS");
    return chosen == nullptr || std::strcmp(chosen, "0") != 0;
}

int stopRequestedInProcess()
{
    return static_cast<int>(stopAsked);
}

const AVIOInterruptCB* stopInterrupt()
{
    static const AVIOInterruptCB callback{[](void*) { return stopAsked != 0 ? 1 : 0; }, nullptr};
    return &callback;
}
