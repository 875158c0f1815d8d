#pragma once

#include <cstdint>
#include <memory>

#include "audio/audioformat.h"
#include "audio/audioresult.h"

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

    // Decodes up to `frames` frames into `out` (room for frames × channels floats).
    // Returns the number of frames written, 0 at the end of the stream, or -1 when the
    // data is damaged beyond repair (the stream is then over too).
    virtual long read(float *out, long frames) = 0;

    // Moves to `frame` (0 ≤ frame ≤ length) so that the next read() starts there.
    // Returns false if the decoder could not get there; reading may then end early.
    virtual bool seek(int64_t frame) = 0;
};

// Opens the decoder that fits the sniffed format on `file`. Fails with Unsupported for
// SoundType::Other and with Corrupt when the decoder cannot make sense of the data.
AudioResult openDecoder(const SniffedFormat &format, FileReader &file,
                        std::unique_ptr<Decoder> *decoder);
