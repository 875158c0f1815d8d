#pragma once

#include <optional>

#include "audio/decode/statedlength.h"

namespace zuna {

class FileReader;

// A WavPack file's length from its first audio block's header, which states the total sample
// count of the file, as FFmpeg's demuxer takes it. Only mono and stereo PCM at a rate of the
// header's table, from the file's first byte, is taken; multichannel, DSD, custom rates, an
// unknown total or one past 32 bits are left to FFmpeg.
std::optional<StatedLength> wavpackStatedLength(FileReader &file);

}  // namespace zuna
