// conv: the converter the program runs for every file. It converts in its own process with the
// FFmpeg libraries (converter/pipeline.h), taking the command lines the program builds and printing
// the reports ffmpeg prints; its loudness measurements and its check of an output decode in this
// process too, so it starts no program. "--ffmpeg" has it run the system's ffmpeg with the same
// arguments instead, its console output let through untouched. Either way, with these additions:
// ".amr" output is encoded here from decoded PCM; a sample rate or channel count the
// chosen encoder refuses becomes the nearest it takes; every output whose tags can hold it keeps
// the source's cover picture; an output that would hold no audio is a failure; an output file
// appears at its path only when it is whole (written under an unfinished name, tagged, and
// renamed), so a conversion that fails or is stopped leaves the path as it was and ends with a
// non-zero status, its last line saying why in plain words where the source tells more than
// ffmpeg's own last line.

#include "converter/amr_writer.h"
#include "converter/arguments.h"
#include "converter/child_process.h"
#include "converter/encoder_rates.h"
#include "converter/failure_reason.h"
#include "converter/in_process.h"
#include "converter/loudness_run.h"
#include "converter/output_audio.h"
#include "converter/output_check.h"
#include "converter/output_file.h"
#include "converter/source_fit.h"
#include "converter/tag_writer.h"
#include "converter/unfinished_name.h"
#include "converter/worker.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void report(const std::string& line)
{
    const std::string text = "conv: " + line + '\n';
    (void)!write(STDERR_FILENO, text.data(), text.size());
}

// The closing line of a failure, which the program shows as the reason: plain words, no prefix.
void sayWhy(const std::string& reason)
{
    const std::string text = reason + '\n';
    (void)!write(STDERR_FILENO, text.data(), text.size());
}

// ffmpeg itself fails, with "Empty output on stream", where nothing was decoded for an output
// stream (a cut that starts past the end), instead of writing a file that holds no audio.
Arguments failingOnEmptyOutput(Arguments arguments)
{
    arguments.insert(arguments.begin(), {"-abort_on", "empty_output_stream"});
    return arguments;
}

std::string findFfmpeg()
{
    const char* path = std::getenv("PATH");
    std::string folders =
        path != nullptr && path[0] != '\0' ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + "/ffmpeg";
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

std::string ownProgram()
{
    char path[4096];
    const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
    return size > 0 ? std::string(path, static_cast<std::size_t>(size)) : std::string();
}

bool exists(const std::string& path)
{
    struct stat info;
    return !path.empty() && lstat(path.c_str(), &info) == 0;
}

// Replaces a sample rate the output's encoder refuses by the nearest one it accepts.
void adjustSampleRate(Arguments& arguments, const std::string& ffmpeg, const std::string& output)
{
    const auto rate = outputOption(arguments, {"-ar", "-ar:a"});
    if (!rate)
        return;
    char* end = nullptr;
    const long requested = std::strtol(rate->value.c_str(), &end, 10);
    if (end == rate->value.c_str() || *end != '\0' || requested <= 0 || requested > 1000000)
        return;
    const auto codec = outputOption(arguments, {"-acodec", "-c:a", "-codec:a", "-c", "-codec"});
    if (codec && codec->value == "copy")
        return;
    const auto format = outputOption(arguments, {"-f"});
    const auto encoder = lookUpEncoderRates(ffmpeg, codec ? codec->value : std::string(),
                                            format ? format->value : std::string(), output);
    if (!encoder)
        return;
    const int chosen = nearestRate(static_cast<int>(requested), encoder->rates);
    if (chosen == requested)
        return;
    arguments[rate->index + 1] = std::to_string(chosen);
    report(encoder->encoder + " does not support " + rate->value + " Hz; using " +
           std::to_string(chosen) + " Hz");
}

struct AmrRun
{
    ChildResult child;
    int writeError = 0;
};

AmrRun convertToAmr(ChildProcess& process, const std::string& ffmpeg, const Arguments& arguments,
                    const std::string& output)
{
    AmrRun run;
    const auto bitrate = outputOption(arguments, {"-ab", "-b:a"});
    AmrWriter writer(bitrate ? bitrateBitsPerSecond(bitrate->value) : 0);
    if ((run.writeError = writer.open(output)) != 0)
        return run;
    run.child = process.run(ffmpeg, failingOnEmptyOutput(pcmDecodeArguments(arguments)),
                            [&](const char* data, std::size_t size) {
                                run.writeError = writer.write(data, size);
                                return run.writeError == 0;
                            });
    if (run.child.succeeded())
        run.writeError = writer.finish();
    return run;
}

// The check of an output converted in this process, its source decoded as the conversion read it.
CheckResult checkConversion(const Arguments& converted, const std::string& filters,
                            const std::string& written, const CheckRequest& check,
                            const StopCheck& stop)
{
    std::string error;
    auto job = parseJob(converted, error);
    if (!job)
        return checkFailed("the conversion cannot be read again: " + error);
    job->filters = filters;
    return checkOutputInProcess(*job, written, check, stop);
}

int exitCode(const ChildResult& result)
{
    if (result.stopSignal != 0)
        return 128 + result.stopSignal;
    if (result.termSignal != 0)
        return 128 + result.termSignal;
    return result.exitStatus > 0 ? result.exitStatus : 1;
}

} // namespace

// One conversion, as a single conv run or a worker's job does it.
int convertOne(int argc, char** argv)
{
    Arguments arguments(argv + 1, argv + argc);
    // Everything, the loudness measurements and the check included, is done in this process
    // unless the old path through the system's ffmpeg is asked for.
    const bool inProcess = takeInProcessChoice(arguments);
    // From here on a stop request is caught: by a handler in this process, or, for the ffmpeg
    // path, held by the child supervisor until its wait loop acts on it.
    std::optional<ChildProcess> process;
    if (inProcess)
        takeStopsInProcess();
    else
        process.emplace();
    const StopCheck stop = inProcessStop();

    // conv's own switches come next; ffmpeg never sees them. The check reads them before the
    // loudness run takes its own.
    const CheckRequest check = takeCheckSwitch(arguments);
    LoudnessRun loudness(arguments, report);
    const Arguments given = arguments;
    const std::string ffmpeg = inProcess ? std::string() : findFfmpeg();
    // What the encoders' answers are remembered for: the libraries of that ffmpeg, or conv's own.
    const std::string encoderOwner = inProcess ? ownProgram() : ffmpeg;
    if (ffmpeg.empty() && !inProcess) {
        report("cannot find ffmpeg in PATH");
        return 127;
    }
    if (loudness.measuresOnly())
        return inProcess ? loudness.measureInProcess(arguments, stop)
                         : loudness.measure(arguments, *process, ffmpeg);
    const std::string output = outputPathOf(arguments);
    const bool amr = !output.empty() && endsWithIgnoringCase(output, ".amr");
    const bool overwrite = std::find(arguments.begin(), arguments.end(), "-y") != arguments.end();

    // ffmpeg never sees the output path when it writes the unfinished file, so what it would
    // refuse about that path is refused here.
    if (exists(output) && !overwrite) {
        report("'" + output + "' already exists; not overwriting without -y");
        return 1;
    }
    const bool whole = writtenWhole(output);
    std::string written = output;
    if (whole) {
        removeLeftovers(folderOf(output), report);
        const std::string source = sourceAtOutput(given, output);
        if (!source.empty()) {
            sayWhy("the output would replace a source file (" + source + ")");
            return 1;
        }
        written = unfinishedOutputPath(output, getpid());
        // Only an earlier process with this same id can have left it.
        discard(written);
        arguments.back() = written;
    }

    ChildResult result;
    int writeError = 0;
    SourceInfo source;
    // The conversion as the check reads it: the loudness meter's own output, added next, is no
    // part of it.
    Arguments converted = arguments;
    // The loudness gain (and limiter) the conversion in this process runs after the cut.
    std::string filters;
    bool emptyOutput = false;
    if (inProcess) {
        if (!amr) {
            adjustSampleRate(arguments, encoderOwner, written);
            fitToSource(arguments, encoderOwner, source, report, stopInterrupt());
        }
        converted = arguments;
        int measureStop = 0;
        if (!loudness.prepareInProcess(arguments, stop, filters, measureStop)) {
            // The source could not be measured, or a stop came meanwhile; nothing is written.
            result.stopSignal = measureStop;
            result.exitStatus = measureStop != 0 ? 0 : 1;
        } else {
            // A copy never decodes; its source was measured by prepareInProcess.
            const InProcessRun run = convertInProcess(
                arguments, written, amr, filters,
                decodesInProcess(arguments) ? loudness.encoderAudio(arguments) : EncoderAudio(),
                std::move(source.opened));
            result = run.result;
            writeError = run.writeError;
            emptyOutput = run.emptyOutput;
        }
    } else if (amr) {
        if (loudness.prepare(arguments, given, *process, ffmpeg, result)) {
            const AmrRun run = convertToAmr(*process, ffmpeg, arguments, written);
            result = run.child;
            writeError = run.writeError;
        }
    } else {
        adjustSampleRate(arguments, ffmpeg, written);
        fitToSource(arguments, ffmpeg, source, report);
        converted = arguments;
        if (loudness.prepare(arguments, given, *process, ffmpeg, result))
            result = process->run(ffmpeg, failingOnEmptyOutput(arguments), loudness.sink());
    }

    int status = 0;
    if (writeError != 0) {
        report("cannot write '" + output + "': " + std::strerror(writeError));
        status = 1;
    } else if (result.startError != 0) {
        report("cannot start " + ffmpeg + ": " + std::strerror(result.startError));
        status = 127;
    } else if (result.stopSignal != 0) {
        report(std::string("stopped by signal ") + strsignal(result.stopSignal));
        status = exitCode(result);
    } else if (result.termSignal != 0) {
        report(std::string("ffmpeg was ended by signal ") + strsignal(result.termSignal));
        status = exitCode(result);
    } else if (result.exitStatus != 0) {
        // ffmpeg has already said why; its last line stays the last line.
        status = exitCode(result);
    } else if (!output.empty() && !exists(written)) {
        report("ffmpeg ended without writing '" + output + "'");
        status = 1;
    } else if (!inProcess && !amr && !output.empty() &&
               (source.loaded || outputOption(given, {"-ss", "-t"})) && !holdsAudio(written)) {
        // ffmpeg fails on an empty output stream itself, but some encoders (FLAC) still pass it a
        // packet with no sound in it.
        emptyOutput = true;
        status = 1;
    }

    // The cover that the Ogg and ASF muxers cannot write goes in now, before the file is put in
    // place, so a tagged output is never seen half-done.
    std::string tagError;
    const auto input = lastOptionValue(given, {"-i"});
    if (status == 0 && !amr && !output.empty() && input &&
        !writeTags(input->value, whole ? written : output, tagError, source))
        status = 1;
    // The loudness report is conv's last line on success, so nothing may print after it.
    if (status == 0 && !output.empty() && !loudness.finish(whole ? written : output, tagError))
        status = 1;

    // With -verify the tagged file is decoded and compared before it may replace anything.
    std::string checkFailure;
    if (check.verify && whole && status == 0) {
        const CheckResult checked = inProcess
                                        ? checkConversion(converted, filters, written, check, stop)
                                        : checkOutput(*process, ffmpeg, converted, written, check);
        checkFailure = checked.failure;
        if (checked.stopSignal != 0)
            result.stopSignal = checked.stopSignal;
        status = checked.stopSignal != 0 ? 128 + checked.stopSignal : checkFailure.empty() ? 0 : 1;
    } else if (check.verify && !whole && status == 0) {
        report("-verify checks only an output file written whole; '" + output + "' is not checked");
    }

    if (whole && status == 0) {
        if (const int error = putInPlace(written, output)) {
            report("cannot put the finished '" + output + "' in place: " + std::strerror(error));
            status = 1;
        }
    }
    // What stays at the output path after a failure or a stop is what was there before.
    if (whole && status != 0 && exists(written)) {
        if (const int error = discard(written))
            report("cannot remove the unfinished '" + output + "' (" + written +
                   "): " + std::strerror(error));
        else if (result.stopSignal != 0 || result.termSignal != 0)
            report("removed the unfinished '" + output + "'");
    }
    if (emptyOutput || (writeError == 0 && result.startError == 0 && result.stopSignal == 0 &&
                        result.termSignal == 0 && result.exitStatus > 0)) {
        if (!source.loaded && lastOptionValue(given, {"-i"}))
            source = probeSource(lastOptionValue(given, {"-i"})->value);
        std::string reason = failureReason(given, source);
        if (reason.empty() && emptyOutput)
            reason = "the conversion gave no audio: nothing in the file could be decoded";
        if (!reason.empty())
            sayWhy(reason);
    }
    if (!tagError.empty())
        sayWhy(tagError);
    if (!checkFailure.empty())
        sayWhy(checkFailure);
    return status;
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--worker") == 0)
        return runWorker([argv](const std::vector<std::string>& job) {
            std::vector<char*> arguments{argv[0]};
            for (const std::string& argument : job)
                arguments.push_back(const_cast<char*>(argument.c_str()));
            arguments.push_back(nullptr);
            return convertOne(static_cast<int>(job.size()) + 1, arguments.data());
        });
    return convertOne(argc, argv);
}
