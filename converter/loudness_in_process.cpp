// The loudness run's measurements done in this process: the file is decoded by the pipeline's own
// decode route and fed to the meter, with no ffmpeg started.
#include "converter/decode_route.h"
#include "converter/frame_loudness.h"
#include "converter/gated_loudness.h"
#include "converter/loudness_run.h"
#include "converter/loudness_tags.h"

#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace {

// Decodes the job's audio as 32-bit float into the meter: in the source's own rate and channels,
// or in those the job asks of its encoder.
PipelineResult measureDecoded(const Job& job, LoudnessMeter& meter, bool encoderShape,
                              const StopCheck& stop)
{
    DecodeRoute route;
    route.shape.sampleFormats = "flt";
    if (encoderShape && job.rate > 0)
        route.shape.rates = std::to_string(job.rate);
    if (encoderShape && job.channels > 0) {
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, job.channels);
        char name[128];
        if (av_channel_layout_describe(&layout, name, sizeof name) >= 0)
            route.shape.layouts = name;
        av_channel_layout_uninit(&layout);
    }
    // Every channel weighed by its place, as when the conversion itself measures.
    FrameLoudness frames(meter);
    route.take = [&frames](const AVFrame& frame) {
        // Decoded to the end whatever the meter thinks; finish() tells why it failed.
        frames.take(frame);
        return true;
    };
    return decodeAudio(job, stop, route);
}

} // namespace

int LoudnessRun::measureInProcess(const Arguments& arguments, const StopCheck& stop)
{
    const auto input = lastOptionValue(arguments, {"-i"});
    if (!input) {
        m_report("nothing to measure: no -i FILE");
        return 2;
    }
    Job job;
    job.input = input->value;
    LoudnessMeter meter(false);
    const PipelineResult decoded = measureDecoded(job, meter, false, stop);
    if (decoded.stopSignal != 0) {
        m_report(std::string("stopped by signal ") + strsignal(decoded.stopSignal));
        return 128 + decoded.stopSignal;
    }
    if (decoded.status != 0) {
        m_report("cannot decode '" + input->value + "' to measure it");
        return 1;
    }
    return reportMeasured(meter, input->value);
}

bool LoudnessRun::prepareInProcess(const Arguments& arguments, const StopCheck& stop,
                                   std::string& filters, int& stopSignal)
{
    const std::string output = outputPathOf(arguments);
    if (output.empty() || (m_mode != LoudnessMode::Apply && m_mode != LoudnessMode::Tag))
        return true;
    std::string error;
    const auto job = parseJob(arguments, error);
    // A shape conv does not take is refused by the conversion itself, with its reason.
    if (!job)
        return true;
    if (m_mode == LoudnessMode::Tag) {
        // A decoded conversion measures what it encodes (encoderAudio()); a copy never decodes.
        if (!job->copy || !holdsLoudnessTags(output))
            return true;
        // The source's own channels, as for a decoded conversion.
        m_meter = std::make_unique<LoudnessMeter>(false);
        const PipelineResult decoded = measureDecoded(*job, *m_meter, false, stop);
        stopSignal = decoded.stopSignal;
        // A source that cannot be decoded cannot be copied either; the copy says why.
        return decoded.stopSignal == 0;
    }
    // apply: the audio as the encoder will take it, so the output itself lands on the target.
    if (job->copy) {
        m_report("a copied stream cannot be levelled: its audio is never decoded");
        return false;
    }
    LoudnessMeter meter(true);
    const PipelineResult decoded = measureDecoded(*job, meter, true, stop);
    stopSignal = decoded.stopSignal;
    if (decoded.stopSignal != 0 || decoded.status != 0)
        return false;
    filters = gainFilter(meter);
    return true;
}
