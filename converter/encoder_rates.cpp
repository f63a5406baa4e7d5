#include "converter/encoder_rates.h"

#include "converter/encoder_fit.h"
#include "converter/ffmpeg_libraries.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string cacheFilePath()
{
    const char* cacheHome = std::getenv("XDG_CACHE_HOME");
    if (cacheHome != nullptr && cacheHome[0] == '/')
        return std::string(cacheHome) + "/trevalon/conv-encoder-rates";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return std::string(home) + "/.cache/trevalon/conv-encoder-rates";
    return {};
}

std::string ffmpegIdentity(const std::string& ffmpegPath)
{
    struct stat info;
    if (stat(ffmpegPath.c_str(), &info) != 0)
        return {};
    std::ostringstream identity;
    identity << ffmpegPath << ':' << info.st_ino << ':' << info.st_size << ':'
             << info.st_mtim.tv_sec << '.' << info.st_mtim.tv_nsec;
    return identity.str();
}

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

std::string formatRates(const EncoderRates& rates)
{
    std::string text;
    for (const int rate : rates.rates) {
        if (!text.empty())
            text += ',';
        text += std::to_string(rate);
    }
    return text.empty() ? "*" : text;
}

std::optional<EncoderRates> parseRates(const std::string& encoder, const std::string& text,
                                       const std::string& roomy)
{
    if (roomy.size() != 2 || (roomy[0] != '0' && roomy[0] != '1') ||
        (roomy[1] != '0' && roomy[1] != '1'))
        return std::nullopt;
    EncoderRates rates{encoder, {}, roomy[0] == '1', roomy[1] == '1'};
    if (text == "*")
        return rates;
    std::istringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        char* end = nullptr;
        const long rate = std::strtol(item.c_str(), &end, 10);
        if (end == item.c_str() || *end != '\0' || rate <= 0)
            return std::nullopt;
        rates.rates.push_back(static_cast<int>(rate));
    }
    return rates;
}

std::optional<EncoderRates> readCache(const std::string& key)
{
    std::ifstream file(cacheFilePath());
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string identity, selector, encoder, rates, channels;
        if (std::getline(fields, identity, '\t') && std::getline(fields, selector, '\t') &&
            std::getline(fields, encoder, '\t') && std::getline(fields, rates, '\t') &&
            std::getline(fields, channels) && identity + '\t' + selector == key) {
            if (auto parsed = parseRates(encoder, rates, channels))
                return parsed;
        }
    }
    return std::nullopt;
}

// Adds an entry by writing a complete new file and renaming it over the old one, so concurrent
// conversions never see a half-written cache.
void writeCache(const std::string& key, const EncoderRates& rates)
{
    const std::string path = cacheFilePath();
    if (path.empty())
        return;
    const std::string folder = path.substr(0, path.rfind('/'));
    mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0700);
    mkdir(folder.c_str(), 0700);
    // Entries of another ffmpeg (an older installation) are dropped on the way.
    const std::string identity = key.substr(0, key.find('\t') + 1);
    std::string previous;
    {
        std::ifstream file(path);
        std::string line;
        while (std::getline(file, line)) {
            if (line.rfind(identity, 0) == 0)
                previous += line + '\n';
        }
    }
    const std::string temporary = path + '.' + std::to_string(getpid());
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << previous << key << '\t' << rates.encoder << '\t' << formatRates(rates) << '\t'
             << (rates.anyRate ? '1' : '0') << (rates.anyChannels ? '1' : '0') << '\n';
        if (!file)
            return (void)unlink(temporary.c_str());
    }
    if (rename(temporary.c_str(), path.c_str()) != 0)
        unlink(temporary.c_str());
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
    const std::string identity = ffmpegIdentity(ffmpegPath);
    const std::string selector = !codecName.empty()
                                     ? "codec=" + codecName
                                     : "format=" + formatName + ";ext=" + extensionOf(outputPath);
    const std::string key = identity + '\t' + selector;
    if (!identity.empty()) {
        if (auto cached = readCache(key))
            return cached;
    }
    auto rates = askLibraries(codecName, formatName, outputPath);
    if (rates && !identity.empty())
        writeCache(key, *rates);
    return rates;
}
