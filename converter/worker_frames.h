#pragma once

// The frames conv's worker mode ("conv --worker") reads and writes, one definition for the
// converter and the program that drives it. Plain C++ with no Qt, header only, pure.
//
// A frame is a kind letter, the payload's length in decimal, a newline, then the payload's bytes.
// The length comes first, so no byte of a payload (a file name with a newline in it) can end a
// frame early or start another:
//     J<length>\n<arguments>   to the worker: a job, its arguments joined by NUL bytes
//     E<length>\n<bytes>       from the worker: what the job wrote on its console (its reports)
//     X<length>\n<status>      from the worker: the job ended with this exit status
//     K0\n                     from the worker: the job moves, though it prints nothing now

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace worker_frames {

constexpr char Job = 'J';
constexpr char Console = 'E';
constexpr char Exit = 'X';
constexpr char KeepAlive = 'K';
// A frame longer than this is not one (a broken stream), so a reader never waits for gigabytes.
constexpr std::size_t LongestPayload = 16 * 1024 * 1024;

struct Frame
{
    char kind = 0;
    std::string payload;
};

inline std::string encode(char kind, const std::string& payload)
{
    return kind + std::to_string(payload.size()) + '\n' + payload;
}

inline std::string encodeJob(const std::vector<std::string>& arguments)
{
    std::string payload;
    for (std::size_t i = 0; i < arguments.size(); ++i)
        payload += (i > 0 ? std::string(1, '\0') : std::string()) + arguments[i];
    return encode(Job, payload);
}

inline std::vector<std::string> jobArguments(const std::string& payload)
{
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start <= payload.size()) {
        std::size_t end = payload.find('\0', start);
        if (end == std::string::npos)
            end = payload.size();
        arguments.push_back(payload.substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

// Takes bytes as they come and gives the whole frames among them.
class Reader
{
public:
    void add(const char* data, std::size_t size) { m_buffer.append(data, size); }

    // The next whole frame; nothing when more bytes are needed or the stream is broken.
    std::optional<Frame> next()
    {
        if (m_broken || m_buffer.empty())
            return std::nullopt;
        const std::size_t newline = m_buffer.find('\n');
        if (newline == std::string::npos) {
            m_broken = m_buffer.size() > 12;
            return std::nullopt;
        }
        const std::string length = m_buffer.substr(1, newline - 1);
        if (length.empty() || length.size() > 9 ||
            length.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(length) > LongestPayload) {
            m_broken = true;
            return std::nullopt;
        }
        const std::size_t size = std::stoul(length);
        if (m_buffer.size() < newline + 1 + size)
            return std::nullopt;
        Frame frame{m_buffer[0], m_buffer.substr(newline + 1, size)};
        m_buffer.erase(0, newline + 1 + size);
        return frame;
    }

    // The bytes cannot be frames: the other end is not speaking this protocol.
    bool broken() const { return m_broken; }

private:
    std::string m_buffer;
    bool m_broken = false;
};

} // namespace worker_frames
