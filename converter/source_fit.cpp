#include "converter/source_fit.h"

#include "converter/encoder_fit.h"
#include "converter/encoder_rates.h"
#include "converter/ffmpeg_libraries.h"
#include "converter/stream_map.h"

#include <algorithm>
#include <cstdlib>

namespace {

int positiveNumber(const std::optional<OptionValue>& option)
{
    if (!option)
        return 0;
    char* end = nullptr;
    const long value = std::strtol(option->value.c_str(), &end, 10);
    return end != option->value.c_str() && *end == '\0' && value > 0 && value <= 1000000
               ? static_cast<int>(value)
               : 0;
}

// The containers whose muxer writes a copied cover picture into the tags: an ID3 APIC frame, a
// FLAC PICTURE block, an MP4 "covr" atom (which names JPEG, PNG and BMP pictures only). Ogg and
// ASF outputs get theirs from the tag writer after the conversion instead.
enum class CoverPlace
{
    None,
    AnyPicture,
    Mp4
};

CoverPlace coverPlace(const Arguments& arguments, const std::string& output)
{
    const auto format = outputOption(arguments, {"-f"});
    const auto named = [&](std::initializer_list<const char*> formats,
                           std::initializer_list<const char*> extensions) {
        if (format)
            return std::find(formats.begin(), formats.end(), format->value) != formats.end();
        return std::any_of(extensions.begin(), extensions.end(), [&](const char* extension) {
            return endsWithIgnoringCase(output, extension);
        });
    };
    if (named({"mp3", "flac"}, {".mp3", ".flac"}))
        return CoverPlace::AnyPicture;
    if (named({"ipod", "mp4"}, {".m4a", ".mp4"}))
        return CoverPlace::Mp4;
    return CoverPlace::None;
}

bool placeTakes(CoverPlace place, const std::string& mime)
{
    return place == CoverPlace::AnyPicture ||
           (place == CoverPlace::Mp4 &&
            (mime == "image/jpeg" || mime == "image/png" || mime == "image/bmp"));
}

void insertBeforeOutput(Arguments& arguments, std::initializer_list<std::string> items)
{
    arguments.insert(arguments.end() - 1, items);
}

// The audio stream the output gets: ffmpeg's own pick, or the one a "-map" names. Nothing when a
// map says otherwise.
std::optional<AudioStream> convertedStream(const Arguments& arguments, const SourceInfo& source)
{
    const auto given = outputOption(arguments, {"-map"});
    const auto map = given ? readStreamMap(given->value) : std::nullopt;
    int index = given ? -1 : source.audioStream;
    if (map && map->kind == StreamMap::Kind::Audio && !source.audio.empty())
        index = source.audio.front().index;
    else if (map && map->kind == StreamMap::Kind::NthAudio &&
             map->number < static_cast<int>(source.audio.size()))
        index = source.audio[static_cast<std::size_t>(map->number)].index;
    else if (map && map->kind == StreamMap::Kind::Stream)
        index = map->number;
    for (const AudioStream& stream : source.audio) {
        if (stream.index == index)
            return stream;
    }
    return std::nullopt;
}

void fitShape(Arguments& arguments, const SourceInfo& source, const std::string& codec,
              const std::string& format, const std::function<void(const std::string&)>& report)
{
    const FfmpegLibraries* av = ffmpegLibraries();
    const AVCodec* encoder =
        av != nullptr ? findOutputEncoder(*av, codec, format, arguments.back()) : nullptr;
    if (encoder == nullptr)
        return;
    const int givenRate = positiveNumber(outputOption(arguments, {"-ar", "-ar:a"}));
    const int givenChannels = positiveNumber(outputOption(arguments, {"-ac", "-ac:a"}));
    const auto bitrate = outputOption(arguments, {"-ab", "-b:a"});
    const auto converted = convertedStream(arguments, source);
    if (!converted)
        return;
    const AudioShape wanted{givenRate > 0 ? givenRate : converted->sampleRate,
                            givenChannels > 0 ? givenChannels : converted->channels};
    const auto fit = fitToEncoder(*av, *encoder, wanted, givenRate == 0, givenChannels == 0,
                                  bitrate ? bitrateBitsPerSecond(bitrate->value) : 0);
    if (!fit)
        return;
    if (fit->channels != wanted.channels) {
        insertBeforeOutput(arguments, {"-ac", std::to_string(fit->channels)});
        report(std::string(encoder->name) + " takes at most " + std::to_string(fit->channels) +
               " channels; mixing the source's " + std::to_string(wanted.channels) + " down to " +
               std::to_string(fit->channels));
    }
    if (fit->rate != wanted.rate) {
        insertBeforeOutput(arguments, {"-ar", std::to_string(fit->rate)});
        report(std::string(encoder->name) + " does not support " + std::to_string(wanted.rate) +
               " Hz; using " + std::to_string(fit->rate) + " Hz");
    }
}

// A time in seconds as the program writes it: digits with at most one decimal point.
bool plainSeconds(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos &&
           std::count(text.begin(), text.end(), '.') <= 1 && text != ".";
}

// Maps the audio and the cover picture instead of dropping every picture with -vn. ffmpeg drops
// a copied picture that a cut after the input starts past, so the cut becomes the audio trim
// that ffmpeg makes of such a cut itself; a cut it cannot be sure to rewrite keeps no cover.
void keepCover(Arguments& arguments, const SourceInfo& source)
{
    const std::size_t input = lastOptionValue(arguments, {"-i"})->index;
    const auto start = outputOption(arguments, {"-ss"});
    const auto length = outputOption(arguments, {"-t"});
    std::string trim;
    if (start || length) {
        if ((start && !plainSeconds(start->value)) || (length && !plainSeconds(length->value)) ||
            outputOption(arguments, {"-af", "-filter:a", "-filter_complex", "-lavfi"}))
            return;
        trim = "atrim=" + (start ? "start=" + start->value : std::string()) +
               (start && length ? ":" : "") +
               (length ? "duration=" + length->value : std::string()) + ",asetpts=PTS-STARTPTS";
    }
    for (std::size_t i = input + 2; i + 1 < arguments.size();) {
        if (arguments[i] == "-vn") {
            arguments.erase(arguments.begin() + static_cast<long>(i));
        } else if ((arguments[i] == "-ss" || arguments[i] == "-t") && i + 2 < arguments.size()) {
            arguments.erase(arguments.begin() + static_cast<long>(i),
                            arguments.begin() + static_cast<long>(i) + 2);
        } else {
            ++i;
        }
    }
    insertBeforeOutput(arguments, {"-map", "0:" + std::to_string(source.audioStream), "-map",
                                   "0:" + std::to_string(source.pictureStream), "-c:v", "copy"});
    if (!trim.empty())
        insertBeforeOutput(arguments, {"-af", trim});
}

} // namespace

void fitToSource(Arguments& arguments, const std::string& ffmpegPath, SourceInfo& source,
                 const std::function<void(const std::string&)>& report,
                 const AVIOInterruptCB* keepOpen)
{
    const std::string output = outputPathOf(arguments);
    if (output.empty())
        return;
    const auto codecOption =
        outputOption(arguments, {"-acodec", "-c:a", "-codec:a", "-c", "-codec"});
    const std::string codec = codecOption ? codecOption->value : std::string();
    if (codec == "copy")
        return;
    const auto formatOption = outputOption(arguments, {"-f"});
    const std::string format = formatOption ? formatOption->value : std::string();

    // Most encoders suit any source; only the others need it read.
    const auto encoder = lookUpEncoderRates(ffmpegPath, codec, format, output);
    const bool rateFree = !outputOption(arguments, {"-ar", "-ar:a"});
    const bool channelsFree = !outputOption(arguments, {"-ac", "-ac:a"});
    const bool mayNeedShape =
        encoder && ((rateFree && !encoder->anyRate) || (channelsFree && !encoder->anyChannels));
    const CoverPlace place = coverPlace(arguments, output);
    const bool mayKeepCover =
        place != CoverPlace::None && !outputOption(arguments, {"-map", "-an"});
    if (!mayNeedShape && !mayKeepCover)
        return;

    source = probeSource(lastOptionValue(arguments, {"-i"})->value, keepOpen);
    if (source.openError != 0 || source.audioStream < 0 || !source.loaded)
        return;
    if (mayNeedShape)
        fitShape(arguments, source, codec, format, report);
    if (mayKeepCover && source.pictureStream >= 0 && placeTakes(place, source.pictureMime))
        keepCover(arguments, source);
}
