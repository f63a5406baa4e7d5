#include "converter/loudness_tags.h"

#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

bool endsWithIgnoringCase(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

enum class Kind { None, Mp3, Flac, Vorbis, Opus, Mp4 };

Kind kindOf(const std::string& path)
{
    if (endsWithIgnoringCase(path, ".mp3"))
        return Kind::Mp3;
    if (endsWithIgnoringCase(path, ".flac"))
        return Kind::Flac;
    if (endsWithIgnoringCase(path, ".ogg") || endsWithIgnoringCase(path, ".oga"))
        return Kind::Vorbis;
    if (endsWithIgnoringCase(path, ".opus"))
        return Kind::Opus;
    if (endsWithIgnoringCase(path, ".m4a") || endsWithIgnoringCase(path, ".mp4"))
        return Kind::Mp4;
    return Kind::None;
}

struct Texts
{
    std::string gainKey;
    std::string peakKey;
    std::string gain;
    std::string peak;
};

Texts textsFor(LoudnessScope scope, double loudness, double peak)
{
    const std::string name = scope == LoudnessScope::Track ? "TRACK" : "ALBUM";
    char peakText[32];
    std::snprintf(peakText, sizeof peakText, "%.6f", peak);
    return {"REPLAYGAIN_" + name + "_GAIN", "REPLAYGAIN_" + name + "_PEAK",
            replayGainText(loudness), peakText};
}

TagLib::String utf8(const std::string& text)
{
    return TagLib::String(text, TagLib::String::UTF8);
}

void setUserText(TagLib::ID3v2::Tag& tag, const std::string& key, const std::string& value)
{
    while (auto* frame = TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, utf8(key)))
        tag.removeFrame(frame);
    auto* frame = new TagLib::ID3v2::UserTextIdentificationFrame(TagLib::String::UTF8);
    frame->setDescription(utf8(key));
    frame->setText(utf8(value));
    tag.addFrame(frame); // the tag owns it from here
}

void setFreeform(TagLib::MP4::Tag& tag, const std::string& key, const std::string& value)
{
    tag.setItem(utf8("----:com.apple.iTunes:" + key), TagLib::MP4::Item(TagLib::StringList(utf8(value))));
}

bool fill(TagLib::Ogg::XiphComment* comment, const Texts& texts)
{
    if (comment == nullptr)
        return false;
    comment->addField(utf8(texts.gainKey), utf8(texts.gain), true);
    comment->addField(utf8(texts.peakKey), utf8(texts.peak), true);
    return true;
}

bool fillOpus(TagLib::Ogg::XiphComment* comment, LoudnessScope scope, double loudness)
{
    if (comment == nullptr)
        return false;
    const std::string name = scope == LoudnessScope::Track ? "TRACK" : "ALBUM";
    // Opus players take the R128 gains; ReplayGain fields copied from a source would contradict them.
    comment->removeFields(utf8("REPLAYGAIN_" + name + "_GAIN"));
    comment->removeFields(utf8("REPLAYGAIN_" + name + "_PEAK"));
    comment->addField(utf8("R128_" + name + "_GAIN"), utf8(std::to_string(opusGain(loudness))), true);
    return true;
}

} // namespace

bool holdsLoudnessTags(const std::string& path)
{
    return kindOf(path) != Kind::None;
}

std::string replayGainText(double loudness)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dB", ReplayGainReference - loudness);
    // "-0.00 dB" reads as a fault to some players.
    return std::string(text) == "-0.00 dB" ? "0.00 dB" : text;
}

int opusGain(double loudness)
{
    const long gain = std::lround((OpusReference - loudness) * 256.0);
    return static_cast<int>(std::clamp(gain, -32768L, 32767L));
}

bool writeLoudnessTags(const std::string& path, LoudnessScope scope, double loudness, double peak,
                       std::string& error)
{
    const Texts texts = textsFor(scope, loudness, peak);
    const auto failed = [&](const char* what) {
        error = std::string(what) + " '" + path + "'";
        return false;
    };
    bool placed = false;
    std::unique_ptr<TagLib::File> file;
    switch (kindOf(path)) {
    case Kind::Mp3: {
        auto* mpeg = new TagLib::MPEG::File(path.c_str(), false);
        file.reset(mpeg);
        if (mpeg->isValid()) {
            setUserText(*mpeg->ID3v2Tag(true), texts.gainKey, texts.gain);
            setUserText(*mpeg->ID3v2Tag(true), texts.peakKey, texts.peak);
            placed = true;
        }
        break;
    }
    case Kind::Flac: {
        auto* flac = new TagLib::FLAC::File(path.c_str(), false);
        file.reset(flac);
        placed = flac->isValid() && fill(flac->xiphComment(true), texts);
        break;
    }
    case Kind::Vorbis: {
        auto* vorbis = new TagLib::Ogg::Vorbis::File(path.c_str(), false);
        file.reset(vorbis);
        placed = vorbis->isValid() && fill(vorbis->tag(), texts);
        break;
    }
    case Kind::Opus: {
        auto* opus = new TagLib::Ogg::Opus::File(path.c_str(), false);
        file.reset(opus);
        placed = opus->isValid() && fillOpus(opus->tag(), scope, loudness);
        break;
    }
    case Kind::Mp4: {
        auto* mp4 = new TagLib::MP4::File(path.c_str(), false);
        file.reset(mp4);
        if (mp4->isValid() && mp4->tag() != nullptr) {
            setFreeform(*mp4->tag(), texts.gainKey, texts.gain);
            setFreeform(*mp4->tag(), texts.peakKey, texts.peak);
            placed = true;
        }
        break;
    }
    case Kind::None:
        return failed("there is no place for loudness tags in");
    }
    if (!placed)
        return failed("cannot read the tags of");
    if (!file->save())
        return failed("cannot write the loudness tags of");
    return true;
}
