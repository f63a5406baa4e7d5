#include "converter/output_check.h"

#include "converter/child_process.h"
#include "converter/ffmpeg_libraries.h"
#include "converter/output_audio.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <set>

namespace {

// How much a lossy output's length may differ from its source's: the encoders' priming and
// padding (an AAC frame at a low rate is a quarter of a second), never a lost piece of the audio.
constexpr double LengthSlackSeconds = 0.5;
constexpr double LengthSlackShare = 0.001;

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

// One full decode: the MD5 of the PCM and how long it lasted, as ffmpeg's progress report tells.
struct Decode
{
    ChildResult child;
    std::string md5;
    double seconds = -1;
};

} // namespace

CheckResult checkFailed(const std::string& why)
{
    return CheckResult{"verify failed: " + why, 0};
}

CheckResult compareDecodes(const DecodedSum& output, const DecodedSum& source, bool compareSamples)
{
    if (compareSamples && output.md5 == source.md5)
        return {};
    // Equal samples last equally long; a lossy output only nearly so.
    const double slack =
        compareSamples ? 0.001 : LengthSlackSeconds + LengthSlackShare * source.seconds;
    if (std::fabs(output.seconds - source.seconds) > slack)
        return checkFailed("the output lasts " + secondsText(output.seconds) + ", the source " +
                           secondsText(source.seconds));
    if (compareSamples)
        return checkFailed("the output's samples differ from the source's");
    return {};
}

OutputAudio readOutputAudio(const std::string& path)
{
    OutputAudio audio;
    const FfmpegLibraries* av = ffmpegLibraries();
    AVFormatContext* context = nullptr;
    if (av == nullptr || av->openInput(&context, path.c_str(), nullptr, nullptr) < 0)
        return audio;
    if (av->findStreamInfo(context, nullptr) >= 0) {
        for (unsigned i = 0; i < context->nb_streams && !audio.read; ++i) {
            const AVCodecParameters* stream = context->streams[i]->codecpar;
            if (stream->codec_type != AVMEDIA_TYPE_AUDIO)
                continue;
            audio.read = true;
            audio.sampleRate = stream->sample_rate;
            audio.channels = stream->ch_layout.nb_channels;
            static const std::set<AVCodecID> losslessCodecs = {
                AV_CODEC_ID_FLAC,      AV_CODEC_ID_ALAC,      AV_CODEC_ID_PCM_S16LE,
                AV_CODEC_ID_PCM_S16BE, AV_CODEC_ID_PCM_S24LE, AV_CODEC_ID_PCM_S24BE,
                AV_CODEC_ID_PCM_S32LE, AV_CODEC_ID_PCM_S32BE};
            const auto format = static_cast<AVSampleFormat>(stream->format);
            const bool s16 = format == AV_SAMPLE_FMT_S16 || format == AV_SAMPLE_FMT_S16P;
            const bool s32 = format == AV_SAMPLE_FMT_S32 || format == AV_SAMPLE_FMT_S32P;
            audio.lossless = losslessCodecs.count(stream->codec_id) != 0 && (s16 || s32) &&
                             audio.sampleRate > 0 && audio.channels > 0;
            audio.sampleFormat = s16 ? "s16" : "s32";
            // A 24-bit output keeps the top 24 bits of the 32 it was given; hashed as 24-bit PCM,
            // the source's 32 bits are cut the same way.
            const int bits = stream->bits_per_raw_sample;
            audio.pcmCodec = s16                         ? "pcm_s16le"
                             : (bits > 0 && bits <= 24) ? "pcm_s24le"
                                                         : "pcm_s32le";
        }
    }
    av->closeInput(&context);
    return audio;
}

namespace {

Decode decode(ChildProcess& process, const std::string& ffmpeg, Arguments arguments)
{
    for (const char* argument : {"-f", "md5", "-progress", "pipe:1", "pipe:1"})
        arguments.emplace_back(argument);
    Decode result;
    std::string text;
    result.child = process.run(ffmpeg, arguments, [&text](const char* data, std::size_t size) {
        text.append(data, size);
        return true;
    });
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        if (line.rfind("MD5=", 0) == 0)
            result.md5 = line.substr(4);
        else if (line.rfind("out_time_us=", 0) == 0 && line.size() > 12 && line[12] != '-')
            result.seconds = std::strtod(line.c_str() + 12, nullptr) / 1e6;
        start = end + 1;
    }
    return result;
}

const Arguments QuietStart = {"-nostdin", "-hide_banner", "-v", "error", "-nostats"};

// The source decoded as the conversion read it: its input options and input, then what shapes
// the audio on the way (the cut, filters, the audio stream chosen), without the encoding.
Arguments sourceDecodeArguments(const Arguments& arguments, const OutputAudio& output,
                                bool compareSamples)
{
    static const std::set<std::string> encodingSwitches = {
        "-ab", "-b:a", "-ar", "-ar:a", "-ac", "-ac:a", "-acodec", "-c:a", "-codec:a", "-c",
        "-codec", "-c:v", "-f", "-q:a", "-qscale:a", "-sample_fmt", "-compression_level", "-map"};
    static const std::set<std::string> encodingFlags = {"-y", "-n", "-vn"};
    Arguments decode = QuietStart;
    const std::size_t input = lastOptionValue(arguments, {"-i"})->index;
    std::string audioMap;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (i > input + 1 && encodingFlags.count(arguments[i]) != 0)
            continue;
        if (i > input + 1 && encodingSwitches.count(arguments[i]) != 0 &&
            i + 2 < arguments.size()) {
            if (arguments[i] == "-map" && arguments[i + 1].rfind("0:a", 0) == 0)
                audioMap = arguments[i + 1];
            ++i;
            continue;
        }
        decode.push_back(arguments[i]);
    }
    // Without a map of its audio, ffmpeg's own pick is the stream that was converted.
    if (audioMap.empty())
        decode.insert(decode.end(), {"-vn", "-sn", "-dn"});
    else
        decode.insert(decode.end(), {"-map", audioMap});
    if (compareSamples) {
        decode.insert(decode.end(), {"-ar", std::to_string(output.sampleRate), "-ac",
                                     std::to_string(output.channels), "-sample_fmt",
                                     output.sampleFormat, "-c:a", output.pcmCodec});
    } else {
        decode.insert(decode.end(), {"-c:a", "pcm_s16le"});
    }
    return decode;
}

CheckResult stopped(const Decode& run)
{
    CheckResult result;
    result.stopSignal = run.child.stopSignal;
    return result;
}

} // namespace

CheckRequest takeCheckSwitch(Arguments& arguments)
{
    CheckRequest request;
    std::size_t i = 0;
    while (i < arguments.size()) {
        if (arguments[i] == "-verify") {
            request.verify = true;
            arguments.erase(arguments.begin() + static_cast<long>(i));
        } else if (arguments[i] == "-loudness" && i + 1 < arguments.size()) {
            if (arguments[i + 1] == "apply")
                request.compareSamples = false;
            i += 2;
        } else {
            break;
        }
    }
    return request;
}

CheckResult checkOutput(ChildProcess& process, const std::string& ffmpeg,
                        const Arguments& arguments, const std::string& written,
                        const CheckRequest& request)
{
    if (ffmpegLibraries() == nullptr)
        return checkFailed("the FFmpeg libraries that read the output cannot be loaded");
    const OutputAudio output = readOutputAudio(written);
    if (!output.read)
        return checkFailed("the output cannot be read as audio");
    const bool compareSamples = request.compareSamples && output.lossless;

    // The whole output, where any damaged frame ends the decode.
    Arguments outputDecode = QuietStart;
    outputDecode.insert(outputDecode.end(),
                        {"-xerror", "-err_detect", "crccheck", "-i", written, "-map", "0:a:0",
                         "-c:a", compareSamples ? output.pcmCodec : std::string("pcm_s16le")});
    const Decode decoded = decode(process, ffmpeg, outputDecode);
    if (decoded.child.stopSignal != 0)
        return stopped(decoded);
    if (!decoded.child.succeeded() || decoded.md5.empty() || decoded.seconds < 0)
        return checkFailed("the output cannot be decoded to its end");

    const Decode source =
        decode(process, ffmpeg, sourceDecodeArguments(arguments, output, compareSamples));
    if (source.child.stopSignal != 0)
        return stopped(source);
    if (!source.child.succeeded() || source.md5.empty() || source.seconds < 0)
        return checkFailed("the source cannot be decoded again to compare the output with it");

    return compareDecodes({decoded.md5, decoded.seconds}, {source.md5, source.seconds},
                          compareSamples);
}
