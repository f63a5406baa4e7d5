#pragma once

#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

// The FFmpeg library functions conv asks about sources and encoders. The libraries the system's
// ffmpeg uses are opened at run time, the first time a conversion needs them, so a conversion that
// needs no answer costs no library loading.
struct FfmpegLibraries
{
    decltype(av_guess_format)* guessFormat = nullptr;
    decltype(av_guess_codec)* guessCodec = nullptr;
    decltype(avformat_alloc_context)* allocFormat = nullptr;
    decltype(avformat_open_input)* openInput = nullptr;
    decltype(avformat_find_stream_info)* findStreamInfo = nullptr;
    decltype(avformat_close_input)* closeInput = nullptr;
    decltype(av_read_frame)* readFrame = nullptr;
    decltype(av_packet_alloc)* allocPacket = nullptr;
    decltype(av_packet_unref)* unrefPacket = nullptr;
    decltype(av_packet_free)* freePacket = nullptr;
    decltype(avcodec_find_encoder)* findEncoder = nullptr;
    decltype(avcodec_find_encoder_by_name)* findEncoderByName = nullptr;
    decltype(avcodec_descriptor_get_by_name)* descriptorByName = nullptr;
    decltype(avcodec_alloc_context3)* allocContext = nullptr;
    decltype(avcodec_open2)* openCodec = nullptr;
    decltype(avcodec_free_context)* freeContext = nullptr;
    decltype(av_channel_layout_default)* defaultLayout = nullptr;
    decltype(av_strerror)* errorText = nullptr;
    decltype(av_dict_get)* dictionaryGet = nullptr;
    decltype(av_log_set_level)* setLogLevel = nullptr;

    std::vector<std::string> files; // where the libraries were loaded from
};

// The loaded libraries (symbols bound lazily: a conversion calls few of them), or nullptr when they
// or one of the functions cannot be found. Their own log output is silenced: conv's console is
// ffmpeg's.
const FfmpegLibraries* ffmpegLibraries();
