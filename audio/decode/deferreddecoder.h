#pragma once

#include <functional>
#include <memory>

#include "audio/decode/decoder.h"
#include "audio/decode/statedlength.h"

namespace zuna {

// A file whose format and length its headers stated (read by our own parsers), with the
// decoder that plays it (FFmpeg, libmpg123) opened only when it is first decoded or sought:
// reading a playlist's files never pays for that decoder's opening. What it then decodes is
// held to the stated length; should it open nothing, or another format, the stream is empty.
class DeferredDecoder : public Decoder {
public:
    // Opens the decoder that plays the file; anything but Ok leaves the stream empty.
    using Opener = std::function<AudioResult(std::unique_ptr<Decoder> *)>;

    DeferredDecoder(const StatedLength &stated, Opener open);
    ~DeferredDecoder() override;

    AudioFormat format() const override { return stated.format; }
    int64_t lengthFrames() const override { return stated.frames; }
    AudioResult read(float *out, long frames, long *decoded) override;
    AudioResult seek(int64_t frame) override;
    void prepare() override { opened(); }

private:
    Decoder *opened();  // nullptr if the decoder cannot decode the file after all

    const StatedLength stated;
    Opener open;
    std::unique_ptr<Decoder> decoder;
    bool tried = false;
    int64_t position = 0;
};

}  // namespace zuna
