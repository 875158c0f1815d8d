#pragma once

#include "audio/decode/taglayout.h"

namespace zuna {

class ByteSource;
class Decoder;

// The one entry point of the FFmpeg decoder module (zuna-ffmpeg.so), which the audio layer
// loads the first time a file is neither MP3 nor FLAC, so that FFmpeg and its many
// libraries are not mapped before. The module reads through `source` and hands back a
// `Decoder` built in the module; both are used only through their virtual functions.
//
// Opens a decoder on `source`, trying the demuxer named `demuxer` (unless nullptr) before
// FFmpeg's probe: returns 0 and sets `*decoder` (owned by the caller, to be deleted before
// `source`) and `*tags`; otherwise nonzero (see AudioResult) and nothing set.
// The name carries the interface's version: a module built for another one is not found.
#define ZUNA_FFMPEG_ENTRY "zuna_ffmpeg_open_decoder_v1"
using FfmpegOpenDecoder = int (*)(ByteSource *source, const char *demuxer, Decoder **decoder,
                                  TagLayout *tags);

}  // namespace zuna
