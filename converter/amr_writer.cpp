#include "converter/amr_writer.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

extern "C" {
#include <opencore-amrnb/interf_enc.h>
}

namespace {

constexpr std::size_t SamplesPerFrame = 160;
constexpr std::size_t BytesPerFrame = SamplesPerFrame * sizeof(short);
constexpr std::array<long, 8> ModeBitrates = {4750, 5150, 5900, 6700, 7400, 7950, 10200, 12200};

int writeAll(int fd, const void* data, std::size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

} // namespace

AmrWriter::AmrWriter(long bitsPerSecond)
{
    // Without a readable bitrate, the highest mode, as ffmpeg's own AMR-NB encoders default to.
    m_mode = bitsPerSecond <= 0 ? MR122 : MR475;
    for (std::size_t mode = 0; mode < ModeBitrates.size(); ++mode) {
        if (ModeBitrates[mode] <= bitsPerSecond)
            m_mode = static_cast<int>(mode);
    }
    m_encoder = Encoder_Interface_init(0);
}

AmrWriter::~AmrWriter()
{
    if (m_fd >= 0)
        close(m_fd);
    if (m_encoder != nullptr)
        Encoder_Interface_exit(m_encoder);
}

int AmrWriter::open(const std::string& path)
{
    if (m_encoder == nullptr)
        return ENOMEM;
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return errno;
    static const char header[] = "#!AMR\n";
    return writeAll(m_fd, header, sizeof header - 1);
}

int AmrWriter::encodeFrame(const short* samples)
{
    unsigned char frame[64];
    const int size = Encoder_Interface_Encode(m_encoder, static_cast<Mode>(m_mode), samples, frame, 0);
    if (size <= 0)
        return EIO;
    return writeAll(m_fd, frame, static_cast<std::size_t>(size));
}

int AmrWriter::write(const char* data, std::size_t size)
{
    m_pending.insert(m_pending.end(), data, data + size);
    std::size_t offset = 0;
    short samples[SamplesPerFrame];
    for (; offset + BytesPerFrame <= m_pending.size(); offset += BytesPerFrame) {
        std::memcpy(samples, m_pending.data() + offset, BytesPerFrame);
        if (const int error = encodeFrame(samples))
            return error;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(offset));
    return 0;
}

int AmrWriter::finish()
{
    int error = 0;
    if (m_pending.size() >= sizeof(short)) {
        short samples[SamplesPerFrame] = {};
        std::memcpy(samples, m_pending.data(), m_pending.size() - m_pending.size() % sizeof(short));
        error = encodeFrame(samples);
    }
    m_pending.clear();
    if (close(m_fd) != 0 && error == 0)
        error = errno;
    m_fd = -1;
    return error;
}
