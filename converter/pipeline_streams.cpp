#include "converter/pipeline_streams.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <unistd.h>

void say(const std::string& line)
{
    const std::string text = line + '\n';
    (void)!write(STDERR_FILENO, text.data(), text.size());
}

std::string errorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

std::string clockText(std::int64_t microseconds)
{
    if (microseconds < 0)
        microseconds = 0;
    const std::int64_t seconds = microseconds / AV_TIME_BASE;
    char text[64];
    std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%02" PRId64,
                  seconds / 3600, seconds / 60 % 60, seconds % 60,
                  microseconds % AV_TIME_BASE * 100 / AV_TIME_BASE);
    return text;
}

int streamFfmpegPicks(const AVFormatContext& context)
{
    long bestScore = 0;
    int best = -1;
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVStream* stream = context.streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        const long score =
            stream->codecpar->ch_layout.nb_channels +
            100000000L * ((stream->event_flags & AVSTREAM_EVENT_FLAG_NEW_PACKETS) != 0) +
            5000000L * ((stream->disposition & AV_DISPOSITION_DEFAULT) != 0);
        if (score > bestScore) {
            bestScore = score;
            best = static_cast<int>(i);
        }
    }
    return best;
}

std::vector<int> mappedStreams(const AVFormatContext& context, const StreamMap& map)
{
    const auto ofType = [&](AVMediaType type) {
        std::vector<int> streams;
        for (unsigned i = 0; i < context.nb_streams; ++i) {
            if (context.streams[i]->codecpar->codec_type == type)
                streams.push_back(static_cast<int>(i));
        }
        return streams;
    };
    switch (map.kind) {
    case StreamMap::Kind::Audio:
        return ofType(AVMEDIA_TYPE_AUDIO);
    case StreamMap::Kind::Video:
        return ofType(AVMEDIA_TYPE_VIDEO);
    case StreamMap::Kind::NthAudio: {
        const auto audio = ofType(AVMEDIA_TYPE_AUDIO);
        if (static_cast<std::size_t>(map.number) < audio.size())
            return {audio[static_cast<std::size_t>(map.number)]};
        return {};
    }
    case StreamMap::Kind::Stream:
        break;
    }
    if (static_cast<unsigned>(map.number) < context.nb_streams)
        return {map.number};
    return {};
}

std::string progressLine(double kilobytes, double seconds, double elapsed, bool last)
{
    char text[160];
    std::snprintf(text, sizeof text, "size=%8.0fkB time=%s bitrate=%6.1fkbits/s speed=%4.3gx    %c",
                  kilobytes, clockText(static_cast<std::int64_t>(seconds * AV_TIME_BASE)).c_str(),
                  seconds > 0 ? kilobytes * 8.192 / seconds : 0.0,
                  elapsed > 0 ? seconds / elapsed : 0.0, last ? '\n' : '\r');
    return text;
}

void copyChapters(const AVFormatContext& in, AVFormatContext& out, std::optional<double> start,
                  std::optional<double> length, std::int64_t offset)
{
    const std::int64_t first = start ? static_cast<std::int64_t>(*start * AV_TIME_BASE) : 0;
    for (unsigned i = 0; i < in.nb_chapters; ++i) {
        const AVChapter* chapter = in.chapters[i];
        const std::int64_t shift = av_rescale_q(first - offset, AV_TIME_BASE_Q, chapter->time_base);
        const std::int64_t limit =
            length ? av_rescale_q(static_cast<std::int64_t>(*length * AV_TIME_BASE), AV_TIME_BASE_Q,
                                  chapter->time_base)
                   : INT64_MAX;
        if (chapter->end < shift)
            continue;
        if (limit != INT64_MAX && shift > chapter->start - limit)
            break;
        AVChapter* copy = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (copy == nullptr)
            return;
        copy->id = chapter->id;
        copy->time_base = chapter->time_base;
        copy->start = std::max<std::int64_t>(0, chapter->start - shift);
        copy->end = std::min(limit, chapter->end - shift);
        av_dict_copy(&copy->metadata, chapter->metadata, 0);
        av_dynarray_add(&out.chapters, reinterpret_cast<int*>(&out.nb_chapters), copy);
    }
}

std::string inputReport(const AVFormatContext& in, const std::string& input)
{
    std::string line =
        "Input #0, " + std::string(in.iformat->name) + ", from '" + input + "':\n  Duration: ";
    if (in.duration != AV_NOPTS_VALUE)
        line += clockText(in.duration + 5000);
    else
        line += "N/A";
    if (in.bit_rate > 0)
        line += ", bitrate: " + std::to_string(in.bit_rate / 1000) + " kb/s";
    return line;
}

void copyGlobalTags(const AVFormatContext& in, AVFormatContext& out, bool cut)
{
    av_dict_copy(&out.metadata, in.metadata, AV_DICT_DONT_OVERWRITE);
    if (cut)
        av_dict_set(&out.metadata, "duration", nullptr, 0);
    for (const char* stale : {"creation_time", "company_name", "product_name", "product_version"})
        av_dict_set(&out.metadata, stale, nullptr, 0);
}

AVStream* addOutputStream(AVFormatContext& out, const AVStream& in, const AVCodecContext* encoder,
                          const std::string& encoderName)
{
    AVStream* stream = avformat_new_stream(&out, nullptr);
    if (stream == nullptr)
        return nullptr;
    if (encoder != nullptr) {
        avcodec_parameters_from_context(stream->codecpar, encoder);
        stream->time_base = encoder->time_base;
    } else {
        avcodec_parameters_copy(stream->codecpar, in.codecpar);
        stream->codecpar->codec_tag = 0;
        stream->time_base = in.time_base;
    }
    stream->disposition = in.disposition;
    av_dict_copy(&stream->metadata, in.metadata, AV_DICT_DONT_OVERWRITE);
    if (encoder != nullptr)
        av_dict_set(&stream->metadata, "encoder",
                    (std::string(LIBAVCODEC_IDENT) + ' ' + encoderName).c_str(), 0);
    return stream;
}
