#pragma once

#include <optional>

#include "audio/decode/statedlength.h"

namespace zuna {

class FileReader;

// An Ogg Vorbis or Opus file's length from its pages, as FFmpeg's Ogg demuxer works it out:
// the granule position of the last page (within the last 64 KiB, as FFmpeg looks) less the
// first sample's, which the packets of the first audio page give (their durations against
// that page's granule), and for Opus less the pre-skip. Only a single logical stream that
// starts at the file's first byte, with its headers on pages of their own and sound from
// its start, is taken: anything else (chained or multiplexed streams, a stream cut out of
// another, a damaged page where one is needed) is left to FFmpeg.
std::optional<StatedLength> oggStatedLength(FileReader &file);

}  // namespace zuna
