#pragma once

#include "converter/source_probe.h"

#include <string>

// Completes the tags of an output where ffmpeg's muxer cannot write them right: an Ogg output
// (OGG, OPUS) gets the source's cover as a METADATA_BLOCK_PICTURE comment; a WMA output gets it as
// a WM/Picture attribute, and its year and comment where players read them. Every other tag, and
// every other format, keeps what ffmpeg wrote. True when there was nothing to do or the tags were
// written; false, with the reason in `error`, when the output could not be tagged. `probed`, when
// the conversion read the source already, spares reading it again for an Ogg output when it showed
// no cover.
bool writeTags(const std::string& source, const std::string& output, std::string& error,
               const SourceInfo& probed = {});
