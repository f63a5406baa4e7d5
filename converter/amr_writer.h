#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Encodes 8000 Hz mono 16-bit PCM into an AMR-NB file ("#!AMR\n" and one frame per 160 samples).
class AmrWriter
{
public:
    // The mode is the highest AMR-NB rate not above the requested bitrate (7400 gives 7.4 kbit/s).
    AmrWriter(long bitsPerSecond);
    ~AmrWriter();
    AmrWriter(const AmrWriter&) = delete;
    AmrWriter& operator=(const AmrWriter&) = delete;

    // Returns the errno of a failed open or write, 0 on success.
    int open(const std::string& path);
    int write(const char* data, std::size_t size);
    // Encodes the last, silence-padded frame and closes the file.
    int finish();

private:
    int encodeFrame(const short* samples);

    void* m_encoder = nullptr;
    int m_mode = 0;
    int m_fd = -1;
    std::vector<char> m_pending;
};
