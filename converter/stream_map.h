#pragma once

#include <optional>
#include <string>

// A "-map" of the shapes the program writes: "0:N" (the source's stream N), "0:a" (every audio
// stream), "0:a:N" (the Nth audio stream, from 0), "0:v" (every picture stream), each possibly
// ending in "?", which makes a map that matches nothing no error. Read in one place for the job,
// the fit and the pipeline.
struct StreamMap
{
    enum class Kind
    {
        Stream,
        Audio,
        NthAudio,
        Video
    };

    Kind kind = Kind::Stream;
    int number = 0;        // the stream's index (Stream) or its place among the audio (NthAudio)
    bool optional = false; // the trailing "?"
    std::string text;      // as given, for the messages
};

// Nothing for any other text.
std::optional<StreamMap> readStreamMap(const std::string& text);
