#pragma once

#include <memory>

#include "audio/decode/decoder.h"

struct mpg123_handle_struct;

namespace zuna {

// MPEG audio (MP1/MP2/MP3) through libmpg123, reading via our FileReader. Lengths are
// sample-exact: from the LAME/Xing gapless header when the file has one, otherwise from a
// scan of every frame header (an estimate from the first frame's bitrate would be far off
// for VBR files and would count a leading tag as audio).
class MpegDecoder : public Decoder {
public:
    // Opens the stream whose first frame starts at `audioStart` (past any ID3v2 tags).
    static AudioResult open(FileReader &file, int64_t audioStart,
                            std::unique_ptr<Decoder> *decoder);
    ~MpegDecoder() override;

    AudioFormat format() const override { return pcmFormat; }
    int64_t lengthFrames() const override { return length; }
    AudioResult read(float *out, long frames, long *decoded) override;
    AudioResult seek(int64_t frame) override;

private:
    struct HandleDeleter {
        void operator()(mpg123_handle_struct *handle) const;
    };
    using Handle = std::unique_ptr<mpg123_handle_struct, HandleDeleter>;

    explicit MpegDecoder(Handle opened);

    Handle handle;
    AudioFormat pcmFormat;
    int64_t length = 0;
};

}  // namespace zuna
