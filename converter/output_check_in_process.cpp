// The output check with both decodes done in this process, through the pipeline's decode route,
// the PCM hashed with libavutil's MD5 as ffmpeg's md5 muxer hashes it.
#include "converter/decode_route.h"
#include "converter/output_audio.h"
#include "converter/output_check.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/md5.h>
#include <libavutil/mem.h>
}

#include <cstdint>
#include <vector>

namespace {

struct Hashed
{
    PipelineResult run;
    DecodedSum sum;
};

// Decodes to the end, hashing the samples as `pcmCodec` stores them (24-bit PCM keeps the top
// three bytes of each 32-bit sample).
Hashed hashDecode(const Job& job, const AudioGraph::Shape& shape, const std::string& pcmCodec,
                  bool strict, const StopCheck& stop)
{
    AVMD5* md5 = av_md5_alloc();
    Hashed hashed;
    if (md5 == nullptr) {
        hashed.run.status = 1;
        return hashed;
    }
    av_md5_init(md5);
    std::int64_t samples = 0;
    int rate = 0;
    std::vector<std::uint8_t> packed;
    DecodeRoute route{shape, [&](const AVFrame& frame) {
                          const int bytes = av_get_bytes_per_sample(
                              static_cast<AVSampleFormat>(frame.format));
                          const std::size_t count = static_cast<std::size_t>(frame.nb_samples) *
                                                    static_cast<std::size_t>(
                                                        frame.ch_layout.nb_channels);
                          const std::uint8_t* data = frame.data[0];
                          if (pcmCodec == "pcm_s24le" && bytes == 4) {
                              packed.resize(count * 3);
                              for (std::size_t i = 0; i < count; ++i) {
                                  // Little-endian: the top three bytes of each sample.
                                  const auto value = static_cast<std::uint32_t>(
                                      reinterpret_cast<const std::int32_t*>(data)[i]);
                                  packed[3 * i] = static_cast<std::uint8_t>(value >> 8);
                                  packed[3 * i + 1] = static_cast<std::uint8_t>(value >> 16);
                                  packed[3 * i + 2] = static_cast<std::uint8_t>(value >> 24);
                              }
                              av_md5_update(md5, packed.data(), packed.size());
                          } else {
                              av_md5_update(md5, data, count * static_cast<std::size_t>(bytes));
                          }
                          samples += frame.nb_samples;
                          rate = frame.sample_rate;
                          return true;
                      },
                      strict};
    hashed.run = decodeAudio(job, stop, route);
    std::uint8_t digest[16];
    av_md5_final(md5, digest);
    av_free(md5);
    static const char hex[] = "0123456789abcdef";
    for (const std::uint8_t byte : digest) {
        hashed.sum.md5 += hex[byte >> 4];
        hashed.sum.md5 += hex[byte & 15];
    }
    hashed.sum.seconds = rate > 0 ? static_cast<double>(samples) / rate : 0;
    return hashed;
}

std::string defaultLayout(int channels)
{
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    char name[128];
    const bool named = av_channel_layout_describe(&layout, name, sizeof name) >= 0;
    av_channel_layout_uninit(&layout);
    return named ? name : std::string();
}

} // namespace

CheckResult checkOutputInProcess(const Job& job, const std::string& written,
                                 const CheckRequest& request, const StopCheck& stop)
{
    const OutputAudio output = readOutputAudio(written);
    if (!output.read)
        return checkFailed("the output cannot be read as audio");
    const bool compareSamples = request.compareSamples && output.lossless;
    const std::string pcm = compareSamples ? output.pcmCodec : std::string("pcm_s16le");

    // The whole output, where any damaged frame ends the decode.
    Job outputJob;
    outputJob.input = written;
    outputJob.maps = {*readStreamMap("0:a:0")};
    const std::string format = compareSamples ? output.sampleFormat : std::string("s16");
    const Hashed decoded = hashDecode(outputJob, {format, "", ""}, pcm, true, stop);
    if (decoded.run.stopSignal != 0)
        return CheckResult{{}, decoded.run.stopSignal};
    if (decoded.run.status != 0)
        return checkFailed("the output cannot be decoded to its end");

    // The source as the conversion read it (its stream, cut and filters), brought to the output's
    // sample format, rate and channels where the samples are compared.
    AudioGraph::Shape shape{format, "", ""};
    if (compareSamples)
        shape = {format, std::to_string(output.sampleRate), defaultLayout(output.channels)};
    const Hashed source = hashDecode(job, shape, pcm, false, stop);
    if (source.run.stopSignal != 0)
        return CheckResult{{}, source.run.stopSignal};
    if (source.run.status != 0)
        return checkFailed("the source cannot be decoded again to compare the output with it");
    return compareDecodes(decoded.sum, source.sum, compareSamples);
}
