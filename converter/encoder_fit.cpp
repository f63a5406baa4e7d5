#include "converter/encoder_fit.h"

#include "converter/arguments.h"
#include "converter/ffmpeg_libraries.h"

#include <map>
#include <mutex>
#include <tuple>
#include <vector>

namespace {

// The usual audio sample rates, tried when an encoder declares no list of its own.
constexpr int CommonRates[] = {8000,  11025, 12000, 16000, 22050,  24000,  32000,  44100,
                               48000, 64000, 88200, 96000, 176400, 192000, 352800, 384000};

bool opensFor(const FfmpegLibraries& av, const AVCodec& encoder, int rate, int channels,
              long bitsPerSecond)
{
    AVCodecContext* context = av.allocContext(&encoder);
    if (context == nullptr)
        return false;
    context->sample_rate = rate;
    context->time_base = AVRational{1, rate};
    context->sample_fmt =
        encoder.sample_fmts != nullptr ? encoder.sample_fmts[0] : AV_SAMPLE_FMT_S16;
    context->thread_count = 1;
    av.defaultLayout(&context->ch_layout, channels);
    if (bitsPerSecond > 0)
        context->bit_rate = bitsPerSecond;
    const bool opened = av.openCodec(context, &encoder, nullptr) >= 0;
    av.freeContext(&context);
    return opened;
}

} // namespace

bool encoderTakes(const FfmpegLibraries& av, const AVCodec& encoder, int rate, int channels,
                  long bitsPerSecond)
{
    // Opening an encoder costs as much as encoding a second of audio (Vorbis builds its whole
    // psychoacoustic model), and a worker asks the same few questions for file after file. The
    // answer depends only on the libraries loaded in this process, so it is remembered here.
    using Question = std::tuple<const AVCodec*, int, int, long>;
    static std::mutex lock;
    static std::map<Question, bool> answers;
    const Question question{&encoder, rate, channels, bitsPerSecond};
    {
        const std::lock_guard<std::mutex> guard(lock);
        if (const auto known = answers.find(question); known != answers.end())
            return known->second;
    }
    const bool opened = opensFor(av, encoder, rate, channels, bitsPerSecond);
    const std::lock_guard<std::mutex> guard(lock);
    answers.emplace(question, opened);
    return opened;
}

bool takesEveryUsualRate(const FfmpegLibraries& av, const AVCodec& encoder)
{
    for (const int rate : CommonRates) {
        if (!encoderTakes(av, encoder, rate, 2, 0))
            return false;
    }
    return true;
}

std::optional<AudioShape> fitToEncoder(const FfmpegLibraries& av, const AVCodec& encoder,
                                       AudioShape source, bool rateFree, bool channelsFree,
                                       long bitsPerSecond)
{
    if (source.rate <= 0 || source.channels <= 0)
        return std::nullopt;
    const auto takes = [&](int rate, int channels) {
        return encoderTakes(av, encoder, rate, channels, bitsPerSecond);
    };
    if (takes(source.rate, source.channels))
        return source;

    AudioShape fit = source;
    if (channelsFree) {
        // Fewer channels are tried at the source's rate and at the two usual high rates, since the
        // rate may be what the encoder refused.
        while (fit.channels > 1 && !takes(fit.rate, fit.channels) && !takes(48000, fit.channels) &&
               !takes(44100, fit.channels))
            --fit.channels;
    }
    if (takes(fit.rate, fit.channels))
        return fit;
    if (!rateFree)
        return std::nullopt;
    std::vector<int> candidates;
    if (encoder.supported_samplerates != nullptr) {
        for (const int* rate = encoder.supported_samplerates; *rate != 0; ++rate)
            candidates.push_back(*rate);
    } else {
        candidates.assign(std::begin(CommonRates), std::end(CommonRates));
    }
    std::vector<int> taken;
    for (const int rate : candidates) {
        if (takes(rate, fit.channels))
            taken.push_back(rate);
    }
    if (taken.empty())
        return std::nullopt;
    fit.rate = nearestRate(source.rate, taken);
    return fit;
}
