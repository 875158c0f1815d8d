#pragma once

#include <cstdint>
#include <memory>

#include "audio/audioformat.h"
#include "audio/audioresult.h"
#include "audio/decode/taglayout.h"

namespace zuna {

class FileReader;
struct SniffedFormat;

// Turns one audio file into interleaved float PCM. A decoder is used by one thread at a
// time; it reads through the FileReader it was opened on, which must outlive it.
class Decoder {
public:
    virtual ~Decoder() = default;

    virtual AudioFormat format() const = 0;

    // Exact length in frames: what read() yields from the start to the end.
    virtual int64_t lengthFrames() const = 0;

    // Decodes up to `frames` frames into `out` (room for frames × channels floats) and
    // sets `*decoded` to the number written. Results:
    //   Ok       frames were decoded; none means the end of the stream
    //   Corrupt  the data is damaged beyond repair: nothing was decoded, the stream is over
    virtual AudioResult read(float *out, long frames, long *decoded) = 0;

    // Moves to `frame` (0 ≤ frame ≤ length) so that the next read() starts there. Results:
    //   Ok               the next read() starts at `frame`
    //   InvalidArgument  `frame` lies outside the stream; nothing changed
    //   Corrupt          the decoder could not get there; where reading goes on is undefined
    virtual AudioResult seek(int64_t frame) = 0;

    // Does now what the first read() or seek() would do before decoding (a decoder opened
    // only when first used opens here), so that a track queued to follow another is ready
    // when the thread that decodes reaches it, rather than opened at the join.
    virtual void prepare() {}
};

// Opens the decoder that fits the sniffed format on `file`: MP3 and FLAC by their own
// decoders, anything else through FFmpeg, which probes it, opened only once it is decoded
// where our parsers read format and length from the container; `*tags` tells how the file
// keeps its tags. Results: Ok; Unsupported when no decoder finds sound in it; Corrupt when the
// decoder cannot make sense of the data.
AudioResult openDecoder(const SniffedFormat &format, FileReader &file,
                        std::unique_ptr<Decoder> *decoder, TagLayout *tags);

}  // namespace zuna
