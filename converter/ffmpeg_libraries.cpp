#include "converter/ffmpeg_libraries.h"

#include <dlfcn.h>
#include <link.h>

namespace {

template <typename Function> bool load(void* library, const char* name, Function*& function)
{
    function = library != nullptr ? reinterpret_cast<Function*>(dlsym(library, name)) : nullptr;
    return function != nullptr;
}

void noteFile(void* library, FfmpegLibraries& f)
{
    link_map* map = nullptr;
    if (library != nullptr && dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr &&
        map->l_name != nullptr)
        f.files.emplace_back(map->l_name);
}

bool loadAll(FfmpegLibraries& f)
{
    void* format =
        dlopen("libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR), RTLD_LAZY | RTLD_LOCAL);
    void* codec =
        dlopen("libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR), RTLD_LAZY | RTLD_LOCAL);
    void* util =
        dlopen("libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR), RTLD_LAZY | RTLD_LOCAL);
    for (void* library : {format, codec, util})
        noteFile(library, f);
    return load(format, "av_guess_format", f.guessFormat) &&
           load(format, "av_guess_codec", f.guessCodec) &&
           load(format, "avformat_alloc_context", f.allocFormat) &&
           load(format, "avformat_open_input", f.openInput) &&
           load(format, "avformat_find_stream_info", f.findStreamInfo) &&
           load(format, "avformat_close_input", f.closeInput) &&
           load(format, "av_read_frame", f.readFrame) &&
           load(codec, "av_packet_alloc", f.allocPacket) &&
           load(codec, "av_packet_unref", f.unrefPacket) &&
           load(codec, "av_packet_free", f.freePacket) &&
           load(codec, "avcodec_find_encoder", f.findEncoder) &&
           load(codec, "avcodec_find_encoder_by_name", f.findEncoderByName) &&
           load(codec, "avcodec_descriptor_get_by_name", f.descriptorByName) &&
           load(codec, "avcodec_alloc_context3", f.allocContext) &&
           load(codec, "avcodec_open2", f.openCodec) &&
           load(codec, "avcodec_free_context", f.freeContext) &&
           load(util, "av_channel_layout_default", f.defaultLayout) &&
           load(util, "av_strerror", f.errorText) && load(util, "av_dict_get", f.dictionaryGet) &&
           load(util, "av_log_set_level", f.setLogLevel);
}

} // namespace

const FfmpegLibraries* ffmpegLibraries()
{
    static const FfmpegLibraries* loaded = [] {
        static FfmpegLibraries libraries;
        if (!loadAll(libraries))
            return static_cast<const FfmpegLibraries*>(nullptr);
        libraries.setLogLevel(AV_LOG_QUIET);
        return static_cast<const FfmpegLibraries*>(&libraries);
    }();
    return loaded;
}
