#pragma once

#include "converter/encoder_rates.h"

#include <optional>
#include <string>
#include <vector>

// What conv learnt about encoders, kept in the user's cache folder (conv-encoder-rates) so that a
// conversion that needs no other answer does not load the FFmpeg libraries (a few tens of
// milliseconds a file). The answers hold only for the library files they came from: the file
// names those files and their identities (device, inode, size, time), with the dynamic linker's
// cache and LD_LIBRARY_PATH, and is not used once any of them differs, as after an upgrade of the
// libraries or a switch to another build of them. Checking costs a few stat calls.

// The cached answer for the key; nothing when there is none or the libraries have changed.
std::optional<EncoderRates> readCachedRates(const std::string& key);

// The identity of the program whose encoders an answer is about (the converter itself, or the
// system's ffmpeg): its path, inode, size and time of change; empty when it cannot be read.
std::string programIdentity(const std::string& path);

// Adds an answer the libraries loaded from these files gave; answers of other files are dropped,
// as are those of a program that has since changed or gone.
void cacheRates(const std::string& key, const EncoderRates& rates,
                const std::vector<std::string>& libraryFiles);
