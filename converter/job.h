#pragma once

#include "converter/arguments.h"
#include "converter/stream_map.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct AVFormatContext;

// One conversion as conv does it in-process, read from the argument vector. Only the shapes the
// program builds are taken:
//     [-threads N] -i SOURCE [-ss S] [-t T] [-y] [-vn] [-ab B | -q:a Q] [-ar R] [-ac C]
//         [-acodec NAME] [-f FORMAT] OUTPUT
//     [-threads N] -i SOURCE [-y] -map 0:a:0 [-map 0:v?] -c copy OUTPUT
// and what the fit to the source adds to them: a later -ar or -ac, and, for a kept cover, two
// "-map 0:N", "-c:v copy" and the cut as "-af atrim=start=S:duration=T,asetpts=PTS-STARTPTS".
struct Job
{
    std::string input;
    std::string output;
    std::optional<double> start;  // seconds cut from the beginning
    std::optional<double> length; // seconds kept
    bool overwrite = false;
    std::string codec;          // the audio encoder by name; empty: the container's default
    std::string format;         // the container by name; empty: by the output's extension
    long bitrate = 0;           // bits per second, 0 when not given
    std::optional<int> quality; // the encoder's VBR quality (-q:a)
    int rate = 0;               // 0: the source's, fitted to the encoder
    int channels = 0;
    bool copy = false;           // the packets are copied, not decoded and encoded again
    std::vector<StreamMap> maps; // "0:a:0", "0:v?", "0:3": in the order given
    bool copyPictures = false;   // -c:v copy
    // A libavfilter chain run on the audio after the cut, never read from the arguments: conv
    // adds it itself (the gain that levels the loudness).
    std::string filters;
    // The source as the fit's probe left it open (its stream information read), read on instead of
    // opening the file again; empty when there is none.
    std::shared_ptr<AVFormatContext> opened;
};

// The job, or nothing with the reason in `error` for an argument vector of any other shape.
std::optional<Job> parseJob(const Arguments& arguments, std::string& error);
