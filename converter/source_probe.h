#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVIOInterruptCB;

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
    double seconds = -1;     // the file's length, -1 when unknown
    int pictureStream = -1;  // an attached cover picture that tags can carry
    std::string pictureMime; // its type, such as "image/jpeg"
    // The source left open as read, for a conversion in this process to read on (only when the
    // probe was asked to keep it).
    std::shared_ptr<AVFormatContext> opened;
};

// A cover picture as tags hold it.
struct CoverPicture
{
    std::string mime;
    std::string data;
    int width = 0;
    int height = 0;
};

// Reads only a regular file (or says why there is none): a pipe or device is left to ffmpeg alone.
// With `keepOpen`, the file is opened with that interrupt callback (which ends a read that waits
// once it says so) and is kept open in `opened`.
SourceInfo probeSource(const std::string& path, const AVIOInterruptCB* keepOpen = nullptr);

// What the tag writer takes from a source: its attached cover picture, and the tags that some
// muxers put where players do not look. Empty when the source has none (or the libraries cannot
// tell).
struct SourceTags
{
    std::optional<CoverPicture> cover;
    std::string date;
    std::string comment;
};
SourceTags readSourceTags(const std::string& path);

// Whether a finished output holds any audio; true when the libraries cannot tell.
bool holdsAudio(const std::string& path);
