#pragma once

#include <cstdint>
#include <optional>

#include "audio/audioformat.h"
#include "audio/decode/taglayout.h"

namespace zuna {

class FileReader;

// What a container states of its stream, read by a parser of our own instead of FFmpeg's
// demuxer, which costs several times a tag read to open: the PCM format FFmpeg will decode
// to, the exact length in frames as FFmpeg counts it, and how the file keeps its tags.
struct StatedLength {
    AudioFormat format;
    int64_t frames = 0;
    TagLayout tags = TagLayout::None;
};

// For a file whose first bytes named the FFmpeg demuxer `demuxer` (the sniffer's verdict):
// what its container states, when one of our parsers is sure it is what FFmpeg would find;
// nothing for any layout they do not follow to the letter (the file is then opened by FFmpeg).
// Reads are bounded and never trust a size before it is checked against the file.
std::optional<StatedLength> readStatedLength(FileReader &file, const char *demuxer);

}  // namespace zuna
