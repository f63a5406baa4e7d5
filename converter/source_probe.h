#pragma once

#include <string>

#include <vector>

struct AudioStream
{
    int index = -1;
    int sampleRate = 0;
    int channels = 0;
};

// What the FFmpeg libraries read in a source file: the audio stream ffmpeg would convert, and an
// attached cover picture.
struct SourceInfo
{
    bool loaded = false;   // the FFmpeg libraries could be asked at all
    int openError = 0;     // FFmpeg's error code when the file cannot be read as media
    std::string errorText; // FFmpeg's own words for it, such as "Invalid data found when ..."
    int audioStream = -1;  // the audio stream ffmpeg picks, -1 when there is none
    int sampleRate = 0;    // that stream's
    int channels = 0;
    std::vector<AudioStream> audio; // every audio stream, for a command line that maps one
    double seconds = -1;    // the file's length, -1 when unknown
    int pictureStream = -1; // an attached cover picture the MP3 and FLAC tags can carry
};

// Reads only a regular file (or says why there is none): a pipe or device is left to ffmpeg alone.
SourceInfo probeSource(const std::string& path);

// Whether a finished output holds any audio; true when the libraries cannot tell.
bool holdsAudio(const std::string& path);
