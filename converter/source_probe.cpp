#include "converter/source_probe.h"

#include "converter/ffmpeg_libraries.h"
#include "converter/keep_alive.h"
#include "converter/pipeline_streams.h"

#include <cerrno>
#include <sys/stat.h>

namespace {

// The picture codecs that tags name by a MIME type; empty for any other.
std::string pictureMime(AVCodecID codec)
{
    switch (codec) {
    case AV_CODEC_ID_MJPEG:
        return "image/jpeg";
    case AV_CODEC_ID_PNG:
        return "image/png";
    case AV_CODEC_ID_BMP:
        return "image/bmp";
    case AV_CODEC_ID_GIF:
        return "image/gif";
    case AV_CODEC_ID_TIFF:
        return "image/tiff";
    default:
        return {};
    }
}

const AVStream* coverStream(const AVFormatContext& context)
{
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVStream* stream = context.streams[i];
        if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
            stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !pictureMime(stream->codecpar->codec_id).empty() && stream->attached_pic.size > 0)
            return stream;
    }
    return nullptr;
}

} // namespace

SourceInfo probeSource(const std::string& path, const AVIOInterruptCB* keepOpen)
{
    SourceInfo info;
    const FfmpegLibraries* av = ffmpegLibraries();
    if (av == nullptr)
        return info;
    // Only a regular file is read: what conv read from a pipe or a device would be lost to ffmpeg.
    struct stat file;
    const bool exists = stat(path.c_str(), &file) == 0;
    if (exists && !S_ISREG(file.st_mode))
        return info;
    info.loaded = true;
    AVFormatContext* context = nullptr;
    if (exists && keepOpen != nullptr && (context = av->allocFormat()) != nullptr)
        context->interrupt_callback = *keepOpen;
    int error = exists ? av->openInput(&context, path.c_str(), nullptr, nullptr) : AVERROR(errno);
    if (error >= 0)
        error = av->findStreamInfo(context, nullptr);
    if (error < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av->errorText(error, text, sizeof text);
        info.openError = error;
        info.errorText = text;
        av->closeInput(&context);
        return info;
    }
    if (context->duration != AV_NOPTS_VALUE && context->duration >= 0)
        info.seconds = static_cast<double>(context->duration) / AV_TIME_BASE;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVCodecParameters* audio = context->streams[i]->codecpar;
        if (audio->codec_type == AVMEDIA_TYPE_AUDIO)
            info.audio.push_back(
                {static_cast<int>(i), audio->sample_rate, audio->ch_layout.nb_channels});
    }
    info.audioStream = streamFfmpegPicks(*context);
    for (const AudioStream& stream : info.audio) {
        if (stream.index == info.audioStream) {
            info.sampleRate = stream.sampleRate;
            info.channels = stream.channels;
        }
    }
    if (const AVStream* cover = coverStream(*context)) {
        info.pictureStream = cover->index;
        info.pictureMime = pictureMime(cover->codecpar->codec_id);
    }
    if (keepOpen != nullptr)
        info.opened.reset(context, [close = av->closeInput](AVFormatContext* opened) {
            close(&opened);
        });
    else
        av->closeInput(&context);
    return info;
}

SourceTags readSourceTags(const std::string& path)
{
    SourceTags tags;
    const FfmpegLibraries* av = ffmpegLibraries();
    struct stat file;
    if (av == nullptr || stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return tags;
    // Demuxers hand over the tags and an attached picture while reading the header; no stream
    // needs decoding.
    AVFormatContext* context = nullptr;
    if (av->openInput(&context, path.c_str(), nullptr, nullptr) < 0)
        return tags;
    if (const AVStream* cover = coverStream(*context)) {
        tags.cover =
            CoverPicture{pictureMime(cover->codecpar->codec_id),
                         std::string(reinterpret_cast<const char*>(cover->attached_pic.data),
                                     static_cast<std::size_t>(cover->attached_pic.size)),
                         cover->codecpar->width, cover->codecpar->height};
    }
    // ffmpeg carries the container's tags, or else those of the audio stream (Ogg keeps them
    // there).
    int audio = -1;
    for (unsigned i = 0; i < context->nb_streams && audio < 0; ++i) {
        if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            audio = static_cast<int>(i);
    }
    const auto tag = [&](const char* key) {
        const AVDictionaryEntry* entry = av->dictionaryGet(context->metadata, key, nullptr, 0);
        if (entry == nullptr && audio >= 0)
            entry = av->dictionaryGet(context->streams[audio]->metadata, key, nullptr, 0);
        return entry != nullptr ? std::string(entry->value) : std::string();
    };
    tags.date = tag("date");
    tags.comment = tag("comment");
    av->closeInput(&context);
    return tags;
}

bool holdsAudio(const std::string& path)
{
    struct stat file;
    if (stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return true;
    const FfmpegLibraries* av = ffmpegLibraries();
    AVFormatContext* context = nullptr;
    if (av == nullptr || av->openInput(&context, path.c_str(), nullptr, nullptr) < 0)
        return true;
    bool audio = false;
    AVPacket* packet = av->allocPacket();
    while (packet != nullptr && !audio && av->readFrame(context, packet) >= 0) {
        audio = packet->size > 0 &&
                context->streams[packet->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
        av->unrefPacket(packet);
        keep_alive::jobMoved();
    }
    av->freePacket(&packet);
    av->closeInput(&context);
    return audio;
}
