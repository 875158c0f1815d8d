#pragma once

#include <cstdint>
#include <optional>

#include "audio/decode/statedlength.h"

namespace zuna {

class FileReader;

// An MPEG audio layer III stream's format and length as libmpg123 reports them once opened
// (gapless, ID3v2 skipped, float output), read from the frame headers alone: from a
// Xing/Info header's frame count, less the LAME tag's encoder delay and padding as libmpg123
// applies them, or else from a walk over every frame header, as libmpg123's scan counts them.
// `audioStart` is the sniffer's first frame. Nothing unless the file is laid out so that
// libmpg123 cannot read it otherwise: the first frame right after the ID3v2 tags, a stream
// of layer III frames of one version, rate and channel count back to back, ending at the end
// of the file or at an ID3v1 tag; no VBRI header, no Xing header that libmpg123 would not
// believe. Reads are bounded, in large chunks, and allocate nothing by a size the file claims.
std::optional<StatedLength> mpegStatedLength(FileReader &file, int64_t audioStart);

}  // namespace zuna
