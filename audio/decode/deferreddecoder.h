#pragma once

#include <memory>

#include "audio/decode/decoder.h"
#include "audio/decode/statedlength.h"

namespace zuna {

class FileReader;

// A file whose format and length its container stated (read by our own parsers), with
// FFmpeg opened only when it is first decoded or sought: reading a playlist's files never
// pays for FFmpeg's opening, nor maps it. What FFmpeg then decodes is held to the stated
// length; should it open nothing, the stream is empty.
class DeferredDecoder : public Decoder {
public:
    DeferredDecoder(FileReader &file, const char *demuxer, const StatedLength &stated);
    ~DeferredDecoder() override;

    AudioFormat format() const override { return stated.format; }
    int64_t lengthFrames() const override { return stated.frames; }
    AudioResult read(float *out, long frames, long *decoded) override;
    AudioResult seek(int64_t frame) override;

private:
    Decoder *opened();  // nullptr if FFmpeg cannot decode the file after all

    FileReader &file;
    const char *demuxer;  // a string literal of the sniffer's
    const StatedLength stated;
    std::unique_ptr<Decoder> ffmpeg;
    bool tried = false;
    int64_t position = 0;
};

}  // namespace zuna
