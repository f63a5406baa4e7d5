#include "converter/pipeline.h"

#include "converter/audio_graph.h"
#include "converter/decode_route.h"
#include "converter/keep_alive.h"
#include "converter/pipeline_streams.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/time.h>
}

#include <algorithm>
#include <unistd.h>
#include <vector>

namespace {

class Conversion
{
public:
    Conversion(const Job& job, const std::string& path, const StopCheck& stop, const PcmSink& pcm,
               const EncoderAudio& encoded, const DecodeRoute* route = nullptr)
        : m_job(job), m_path(path), m_stop(stop), m_pcm(pcm), m_encoderAudio(encoded),
          m_route(route)
    {
    }

    ~Conversion()
    {
        av_packet_free(&m_packet);
        av_packet_free(&m_encoded);
        av_frame_free(&m_decoded);
        av_frame_free(&m_filtered);
        avcodec_free_context(&m_decoder);
        avcodec_free_context(&m_encoder);
        if (m_out != nullptr && !(m_out->oformat->flags & AVFMT_NOFILE))
            avio_closep(&m_out->pb);
        avformat_free_context(m_out);
        if (!m_job.opened)
            avformat_close_input(&m_in);
        else if (m_in != nullptr)
            m_in->interrupt_callback = AVIOInterruptCB{}; // the job's holder closes it, later
    }

    PipelineResult run()
    {
        m_packet = av_packet_alloc();
        m_decoded = av_frame_alloc();
        m_filtered = av_frame_alloc();
        if (!openInput() || !pickStreams() || (!m_job.copy && !openDecoding()) ||
            (!m_pcm && !openOutput()))
            return fail();
        m_started = av_gettime_relative();
        while (true) {
            if (const int signal = m_stop ? m_stop() : 0) {
                m_result.stopSignal = signal;
                return fail();
            }
            const int read = av_read_frame(m_in, m_packet);
            if (read == AVERROR(EAGAIN))
                continue;
            if (read < 0) {
                if (m_stop && m_stop() != 0)
                    return fail();
                if (read != AVERROR_EOF) {
                    say(m_job.input + ": " + errorText(read));
                    if (m_route != nullptr && m_route->strict)
                        return fail();
                }
                break;
            }
            keep_alive::jobMoved();
            const bool ok = handlePacket();
            av_packet_unref(m_packet);
            if (!ok)
                return fail();
        }
        // The decoder's and the filters' last frames.
        if (!m_job.copy && !(decode(nullptr) && filter(nullptr)))
            return fail();
        if (m_out != nullptr) {
            if (const int error = av_write_trailer(m_out); error < 0) {
                say("Error writing trailer of " + m_path + ": " + errorText(error));
                return fail();
            }
        }
        report(true);
        if (!m_result.gaveAudio && m_route == nullptr) {
            say("Output file is empty, nothing was encoded");
            m_result.nothingDecoded = true;
            return fail();
        }
        return m_result;
    }

private:
    PipelineResult fail()
    {
        m_result.status = 1;
        if (m_result.stopSignal == 0 && m_stop)
            m_result.stopSignal = m_stop();
        return m_result;
    }

    // Ends a read or write that waits (a slow disk, a pipe) once a stop is asked for.
    static int interrupted(void* conversion)
    {
        const Conversion* self = static_cast<const Conversion*>(conversion);
        return self->m_stop && self->m_stop() != 0;
    }

    bool openInput()
    {
        if (m_job.opened) {
            // Opened and read as far as its stream information by the fit's probe: read on.
            m_in = m_job.opened.get();
            m_in->interrupt_callback = AVIOInterruptCB{&Conversion::interrupted, this};
        } else if (!openSource()) {
            return false;
        }
        if (m_in->start_time != AV_NOPTS_VALUE)
            m_offset = -m_in->start_time;
        if (m_route == nullptr)
            say(inputReport(*m_in, m_job.input));
        return true;
    }

    bool openSource()
    {
        m_in = avformat_alloc_context();
        if (m_in == nullptr)
            return false;
        m_in->interrupt_callback = AVIOInterruptCB{&Conversion::interrupted, this};
        int error = avformat_open_input(&m_in, m_job.input.c_str(), nullptr, nullptr);
        if (error < 0) {
            say(m_job.input + ": " + errorText(error));
            return false;
        }
        if ((error = avformat_find_stream_info(m_in, nullptr)) < 0) {
            say(m_job.input + ": could not find codec parameters");
            return false;
        }
        return true;
    }

    bool pickStreams()
    {
        m_streamTarget.assign(m_in->nb_streams, -1);
        if (m_job.maps.empty()) {
            m_audio = streamFfmpegPicks(*m_in);
        } else {
            for (const StreamMap& map : m_job.maps) {
                const std::vector<int> mapped = mappedStreams(*m_in, map);
                for (const int index : mapped) {
                    const AVMediaType type = m_in->streams[index]->codecpar->codec_type;
                    if (type == AVMEDIA_TYPE_AUDIO && m_audio < 0)
                        m_audio = index;
                    else if (type == AVMEDIA_TYPE_VIDEO && (m_job.copy || m_job.copyPictures))
                        m_pictures.push_back(index);
                }
                if (mapped.empty() && !map.optional) {
                    say("Stream map '" + map.text + "' matches no streams.");
                    return false;
                }
            }
        }
        if (m_audio < 0) {
            say("Output file does not contain any stream");
            return false;
        }
        if (m_pcm)
            m_pictures.clear();
        return true;
    }

    bool openDecoding()
    {
        const AVStream* stream = m_in->streams[m_audio];
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        if (decoder == nullptr) {
            say("Decoder not found for the audio of " + m_job.input);
            return false;
        }
        m_decoder = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(m_decoder, stream->codecpar);
        m_decoder->pkt_timebase = stream->time_base;
        m_decoder->thread_count = 1;
        if (m_route != nullptr && m_route->strict)
            m_decoder->err_recognition |= AV_EF_CRCCHECK;
        if (const int error = avcodec_open2(m_decoder, decoder, nullptr); error < 0) {
            say("Error while opening decoder for " + m_job.input + ": " + errorText(error));
            return false;
        }
        const AVCodec* encoder = nullptr;
        AudioGraph::Shape shape;
        if (m_route != nullptr) {
            shape = m_route->shape;
        } else if (m_pcm) {
            shape = {"s16", "8000", "mono"};
        } else {
            const AVOutputFormat* format = av_guess_format(
                m_job.format.empty() ? nullptr : m_job.format.c_str(), m_path.c_str(), nullptr);
            if (!m_job.codec.empty())
                encoder = avcodec_find_encoder_by_name(m_job.codec.c_str());
            else if (format != nullptr)
                encoder = avcodec_find_encoder(
                    av_guess_codec(format, nullptr, m_path.c_str(), nullptr, AVMEDIA_TYPE_AUDIO));
            if (encoder == nullptr) {
                say("Unknown encoder '" + (m_job.codec.empty() ? m_path : m_job.codec) + "'");
                return false;
            }
            shape = encoderShape(*encoder, m_job.rate, m_job.channels);
        }
        if (const int error =
                m_graph.open(*m_decoder, m_job.start, m_job.length, shape, m_job.filters);
            error < 0) {
            say("Error configuring the audio filters: " + errorText(error));
            return false;
        }
        if (m_pcm)
            return true;

        m_encoder = avcodec_alloc_context3(encoder);
        m_encoder->sample_fmt = m_graph.format();
        m_encoder->sample_rate = m_graph.rate();
        m_graph.layout(&m_encoder->ch_layout);
        m_encoder->time_base = AVRational{1, m_encoder->sample_rate};
        if (m_encoder->sample_fmt == m_decoder->sample_fmt &&
            m_encoder->sample_rate == m_decoder->sample_rate && !m_job.start && !m_job.length)
            m_encoder->bits_per_raw_sample = std::min(
                m_decoder->bits_per_raw_sample, av_get_bytes_per_sample(m_encoder->sample_fmt) * 8);
        if (m_job.bitrate > 0)
            m_encoder->bit_rate = m_job.bitrate;
        if (m_job.quality) {
            m_encoder->flags |= AV_CODEC_FLAG_QSCALE;
            m_encoder->global_quality = FF_QP2LAMBDA * *m_job.quality;
        }
        m_encoderName = encoder->name;
        m_encoderCodec = encoder;
        m_fixedFrames = !(encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
        return true;
    }

    bool openOutput()
    {
        int error = avformat_alloc_output_context2(
            &m_out, nullptr, m_job.format.empty() ? nullptr : m_job.format.c_str(), m_path.c_str());
        if (error < 0 || m_out == nullptr) {
            say("Unable to choose an output format for '" + m_path + "'");
            return false;
        }
        m_out->interrupt_callback = AVIOInterruptCB{&Conversion::interrupted, this};
        if (m_encoder != nullptr) {
            if (m_out->oformat->flags & AVFMT_GLOBALHEADER)
                m_encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            if ((error = avcodec_open2(m_encoder, m_encoderCodec, nullptr)) < 0) {
                say("Error while opening encoder " + m_encoderName + ": " + errorText(error));
                return false;
            }
            if (m_fixedFrames && m_encoder->frame_size > 0)
                m_graph.setFrameSize(m_encoder->frame_size);
        }
        copyGlobalTags(*m_in, *m_out, m_job.length.has_value());
        std::vector<int> streams{m_audio};
        streams.insert(streams.end(), m_pictures.begin(), m_pictures.end());
        for (const int index : streams) {
            const bool encoded = index == m_audio && m_encoder != nullptr;
            const AVStream* out = addOutputStream(*m_out, *m_in->streams[index],
                                                  encoded ? m_encoder : nullptr, m_encoderName);
            if (out == nullptr)
                return false;
            m_streamTarget[static_cast<std::size_t>(index)] = out->index;
        }
        copyChapters(*m_in, *m_out, m_job.start, m_job.length, m_offset);
        if (!(m_out->oformat->flags & AVFMT_NOFILE) &&
            (error = avio_open2(&m_out->pb, m_path.c_str(), AVIO_FLAG_WRITE,
                                &m_out->interrupt_callback, nullptr)) < 0) {
            say(m_path + ": " + errorText(error));
            return false;
        }
        if ((error = avformat_write_header(m_out, nullptr)) < 0) {
            say("Could not write header for output file '" + m_path + "': " + errorText(error));
            return false;
        }
        return true;
    }

    bool handlePacket()
    {
        const int index = m_packet->stream_index;
        const AVStream* in = m_in->streams[index];
        const std::int64_t offset = av_rescale_q(m_offset, AV_TIME_BASE_Q, in->time_base);
        if (m_packet->pts != AV_NOPTS_VALUE)
            m_packet->pts += offset;
        if (m_packet->dts != AV_NOPTS_VALUE)
            m_packet->dts += offset;
        if (index == m_audio && !m_job.copy)
            return decode(m_packet);
        const int target = m_streamTarget[static_cast<std::size_t>(index)];
        if (target < 0 || m_out == nullptr)
            return true;
        if (index == m_audio) {
            m_result.gaveAudio = true;
            if (m_packet->pts != AV_NOPTS_VALUE)
                m_seconds =
                    static_cast<double>(m_packet->pts + m_packet->duration) * av_q2d(in->time_base);
        }
        av_packet_rescale_ts(m_packet, in->time_base, m_out->streams[target]->time_base);
        m_packet->stream_index = target;
        m_packet->pos = -1;
        return writePacket(m_packet);
    }

    bool writePacket(AVPacket* packet)
    {
        if (const int error = av_interleaved_write_frame(m_out, packet); error < 0) {
            say("Error muxing a packet into " + m_path + ": " + errorText(error));
            return false;
        }
        report(false);
        return true;
    }

    bool decode(const AVPacket* packet)
    {
        int error = avcodec_send_packet(m_decoder, packet);
        // A damaged packet is passed over, as ffmpeg does, unless the decode is a strict one.
        const bool strict = m_route != nullptr && m_route->strict;
        if (error < 0 && error != AVERROR_EOF && (error != AVERROR_INVALIDDATA || strict)) {
            say("Error while decoding " + m_job.input + ": " + errorText(error));
            return false;
        }
        while ((error = avcodec_receive_frame(m_decoder, m_decoded)) >= 0 ||
               error == AVERROR_INVALIDDATA) {
            if (error < 0 && strict) {
                say("Error while decoding " + m_job.input + ": " + errorText(error));
                return false;
            }
            if (error < 0)
                continue;
            // Timestamps in samples, continuous where the source gives none.
            std::int64_t pts = m_decoded->best_effort_timestamp;
            AVRational base = m_in->streams[m_audio]->time_base;
            if (pts == AV_NOPTS_VALUE) {
                pts = m_nextPts;
                base = AVRational{1, m_decoded->sample_rate};
            }
            m_decoded->pts = av_rescale_delta(base, pts, AVRational{1, m_decoded->sample_rate},
                                              m_decoded->nb_samples, &m_rescaleLast,
                                              AVRational{1, m_decoded->sample_rate});
            m_nextPts = m_decoded->pts + m_decoded->nb_samples;
            const bool ok = filter(m_decoded);
            av_frame_unref(m_decoded);
            if (!ok)
                return false;
        }
        return error == AVERROR(EAGAIN) || error == AVERROR_EOF;
    }

    bool filter(AVFrame* frame)
    {
        if (const int error = m_graph.push(frame); error < 0) {
            say("Error while filtering the audio: " + errorText(error));
            return false;
        }
        int error;
        while ((error = m_graph.pull(m_filtered)) >= 0) {
            const bool ok = (!m_encoderAudio || m_encoderAudio(*m_filtered)) &&
                            (m_pcm ? takePcm(m_filtered) : encode(m_filtered));
            av_frame_unref(m_filtered);
            if (!ok)
                return false;
        }
        if (error == AVERROR_EOF && !m_pcm)
            return encode(nullptr);
        return error == AVERROR(EAGAIN) || error == AVERROR_EOF;
    }

    bool takePcm(const AVFrame* frame)
    {
        if (frame->nb_samples <= 0)
            return true;
        m_result.gaveAudio = true;
        m_samples += frame->nb_samples;
        m_seconds = static_cast<double>(m_samples) / frame->sample_rate;
        if (m_route != nullptr)
            return m_route->take(*frame);
        if (!m_pcm(reinterpret_cast<const char*>(frame->data[0]),
                   static_cast<std::size_t>(frame->nb_samples) * 2))
            return false;
        report(false);
        return true;
    }

    bool encode(AVFrame* frame)
    {
        if (frame != nullptr) {
            frame->pts = av_rescale_q(frame->pts, m_graph.timeBase(), m_encoder->time_base);
            m_samples += frame->nb_samples;
        }
        int error = avcodec_send_frame(m_encoder, frame);
        if (error < 0 && error != AVERROR_EOF) {
            say("Error while encoding with " + m_encoderName + ": " + errorText(error));
            return false;
        }
        AVStream* out = m_out->streams[m_streamTarget[static_cast<std::size_t>(m_audio)]];
        while ((error = avcodec_receive_packet(m_encoder, m_packetOut())) >= 0) {
            AVPacket* packet = m_encoded;
            m_result.gaveAudio = m_samples > 0;
            if (packet->pts != AV_NOPTS_VALUE)
                m_seconds =
                    static_cast<double>(packet->pts + packet->duration) / m_encoder->sample_rate;
            av_packet_rescale_ts(packet, m_encoder->time_base, out->time_base);
            packet->stream_index = out->index;
            if (!writePacket(packet))
                return false;
        }
        return error == AVERROR(EAGAIN) || error == AVERROR_EOF;
    }

    AVPacket* m_packetOut()
    {
        if (m_encoded == nullptr)
            m_encoded = av_packet_alloc();
        return m_encoded;
    }

    // ffmpeg's progress line, at most twice a second and once at the end.
    void report(bool last)
    {
        if (m_route != nullptr)
            return;
        const std::int64_t now = av_gettime_relative();
        if (!last && now - m_lastReport < 500000)
            return;
        m_lastReport = now;
        const double kilobytes = m_out != nullptr && m_out->pb != nullptr
                                     ? avio_tell(m_out->pb) / 1024.0
                                     : m_samples * 2 / 1024.0;
        const std::string line = progressLine(kilobytes, m_seconds, (now - m_started) / 1e6, last);
        (void)!write(STDERR_FILENO, line.data(), line.size());
    }

    const Job& m_job;
    const std::string m_path;
    const StopCheck& m_stop;
    const PcmSink& m_pcm;
    const EncoderAudio& m_encoderAudio;
    const DecodeRoute* m_route; // a decode only, without an encoder
    PipelineResult m_result;

    AVFormatContext* m_in = nullptr;
    AVFormatContext* m_out = nullptr;
    AVCodecContext* m_decoder = nullptr;
    AVCodecContext* m_encoder = nullptr;
    const AVCodec* m_encoderCodec = nullptr;
    std::string m_encoderName;
    bool m_fixedFrames = false;
    AudioGraph m_graph;
    AVPacket* m_packet = nullptr;
    AVPacket* m_encoded = nullptr;
    AVFrame* m_decoded = nullptr;
    AVFrame* m_filtered = nullptr;

    int m_audio = -1;
    std::vector<int> m_pictures;
    std::vector<int> m_streamTarget; // output stream of each source stream, -1 for none
    std::int64_t m_offset = 0;       // moves the source's first timestamp to zero
    std::int64_t m_nextPts = 0;
    std::int64_t m_rescaleLast = AV_NOPTS_VALUE;
    std::int64_t m_samples = 0;
    double m_seconds = 0;
    std::int64_t m_started = 0;
    std::int64_t m_lastReport = 0;
};

} // namespace

PipelineResult runPipeline(const Job& job, const std::string& path, const StopCheck& stop,
                           const PcmSink& pcm, const EncoderAudio& encoded)
{
    return Conversion(job, path, stop, pcm, encoded).run();
}

PipelineResult decodeAudio(const Job& job, const StopCheck& stop, const DecodeRoute& route)
{
    Job decoding = job;
    decoding.copy = false;
    decoding.copyPictures = false;
    // The PCM branch is the one without an encoder and a container; the route takes its frames.
    const PcmSink unused = [](const char*, std::size_t) { return true; };
    return Conversion(decoding, std::string(), stop, unused, {}, &route).run();
}
