#include "converter/encoder_rates.h"

#include "converter/encoder_cache.h"
#include "converter/encoder_fit.h"
#include "converter/ffmpeg_libraries.h"

#include <cctype>
#include <map>
#include <mutex>

namespace {

std::string extensionOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// Asks the FFmpeg libraries the way ffmpeg itself chooses: a named encoder, or a codec of that
// name, or the container's default audio codec.
std::optional<EncoderRates> askLibraries(const std::string& codecName,
                                         const std::string& formatName,
                                         const std::string& outputPath)
{
    const FfmpegLibraries* av = ffmpegLibraries();
    if (av == nullptr)
        return std::nullopt;
    const AVCodec* encoder = findOutputEncoder(*av, codecName, formatName, outputPath);
    if (encoder == nullptr)
        return std::nullopt;
    EncoderRates rates{encoder->name,
                       {},
                       encoder->supported_samplerates != nullptr,
                       encoder->ch_layouts != nullptr};
    for (const int* rate = encoder->supported_samplerates; rate != nullptr && *rate != 0; ++rate)
        rates.rates.push_back(*rate);
    if (!rates.anyRate)
        rates.anyRate = takesEveryUsualRate(*av, *encoder);
    if (!rates.anyChannels)
        rates.anyChannels = encoderTakes(*av, *encoder, 48000, ManyChannels, 0);
    return rates;
}

} // namespace

const AVCodec* findOutputEncoder(const FfmpegLibraries& av, const std::string& codecName,
                                 const std::string& formatName, const std::string& outputPath)
{
    const AVCodec* encoder = nullptr;
    if (!codecName.empty()) {
        encoder = av.findEncoderByName(codecName.c_str());
        if (encoder == nullptr) {
            const AVCodecDescriptor* descriptor = av.descriptorByName(codecName.c_str());
            if (descriptor != nullptr)
                encoder = av.findEncoder(descriptor->id);
        }
    } else {
        const AVOutputFormat* container = av.guessFormat(
            formatName.empty() ? nullptr : formatName.c_str(), outputPath.c_str(), nullptr);
        if (container != nullptr)
            encoder = av.findEncoder(
                av.guessCodec(container, nullptr, outputPath.c_str(), nullptr, AVMEDIA_TYPE_AUDIO));
    }
    return encoder;
}

std::optional<EncoderRates> lookUpEncoderRates(const std::string& ffmpegPath,
                                               const std::string& codecName,
                                               const std::string& formatName,
                                               const std::string& outputPath)
{
    const std::string identity = programIdentity(ffmpegPath);
    const std::string selector = !codecName.empty()
                                     ? "codec=" + codecName
                                     : "format=" + formatName + ";ext=" + extensionOf(outputPath);
    const std::string key = identity + '\t' + selector;
    // A worker asks for every file; within one process the answer cannot change (the libraries it
    // would be asked of are those loaded here), so it is read from the cache file once.
    static std::mutex lock;
    static std::map<std::string, std::optional<EncoderRates>> known;
    const std::lock_guard<std::mutex> guard(lock);
    if (const auto answer = known.find(key); answer != known.end() && !identity.empty())
        return answer->second;
    std::optional<EncoderRates> rates;
    if (!identity.empty())
        rates = readCachedRates(key);
    if (!rates) {
        rates = askLibraries(codecName, formatName, outputPath);
        if (rates && !identity.empty())
            cacheRates(key, *rates, ffmpegLibraries()->files);
    }
    if (!identity.empty())
        known.emplace(key, rates);
    return rates;
}
