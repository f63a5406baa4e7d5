#pragma once

#include <string>

// The loudness tags players read, written into a finished file with TagLib: ReplayGain 2.0 values
// against -18 LUFS (MP3: ID3v2 TXXX frames; FLAC, OGG: Vorbis comments; M4A, ALAC: iTunes
// freeform atoms), and for Opus the integer Q7.8 R128 gains against -23 LUFS instead, its header
// gain left at 0. Shared by conv (track values) and the program (album values).

enum class LoudnessScope { Track, Album };

inline constexpr double ReplayGainReference = -18.0;
inline constexpr double OpusReference = -23.0;

// Whether the file's format has a place for loudness tags, by its name.
bool holdsLoudnessTags(const std::string& path);

// "-6.52 dB": the gain that brings the loudness to the reference.
std::string replayGainText(double loudness);
// The Q7.8 R128 gain, rounded and held to what 16 bits carry.
int opusGain(double loudness);

// Writes the gain and the linear sample peak of the scope, replacing earlier values of the scope;
// false, with the reason in `error`, when the file cannot be tagged.
bool writeLoudnessTags(const std::string& path, LoudnessScope scope, double loudness, double peak,
                       std::string& error);
