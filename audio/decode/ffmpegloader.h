#pragma once

#include <memory>

#include "audio/audioresult.h"
#include "audio/decode/taglayout.h"

namespace zuna {

class ByteSource;
class Decoder;

// Opens a decoder through the FFmpeg module for what is neither MP3 nor FLAC. The module,
// and FFmpeg with it, is loaded the first time this is called, once per process: a player
// that only ever sees MP3 and FLAC never maps them. It is looked for next to the program,
// where it is installed, then where it was built. Results: Ok; Unsupported when FFmpeg
// finds no sound in the bytes, or the module cannot be loaded (said once on stderr);
// Corrupt when it finds sound it cannot decode. `demuxer` (or nullptr) names the FFmpeg
// demuxer to try before probing.
AudioResult openFfmpegDecoder(ByteSource &source, const char *demuxer,
                              std::unique_ptr<Decoder> *decoder, TagLayout *tags);

}  // namespace zuna
