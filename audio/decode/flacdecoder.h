#pragma once

#include <FLAC/stream_decoder.h>

#include <memory>
#include <vector>

#include "audio/decode/decoder.h"

namespace zuna {

// FLAC through libFLAC's stream decoder, reading via our FileReader. The length is the
// sample count of STREAMINFO, which every valid FLAC stream starts with.
class FlacDecoder : public Decoder {
public:
    static AudioResult open(FileReader &file, std::unique_ptr<Decoder> *decoder);
    ~FlacDecoder() override;

    AudioFormat format() const override { return pcmFormat; }
    int64_t lengthFrames() const override { return length; }
    AudioResult read(float *out, long frames, long *decoded) override;
    AudioResult seek(int64_t frame) override;

private:
    struct DecoderDeleter {
        void operator()(FLAC__StreamDecoder *unused) const { FLAC__stream_decoder_delete(unused); }
    };

    explicit FlacDecoder(FileReader &input);
    bool decodeNextFrame();

    static FLAC__StreamDecoderReadStatus onRead(const FLAC__StreamDecoder *, FLAC__byte buffer[],
                                                size_t *bytes, void *self);
    static FLAC__StreamDecoderSeekStatus onSeek(const FLAC__StreamDecoder *, FLAC__uint64 offset,
                                                void *self);
    static FLAC__StreamDecoderTellStatus onTell(const FLAC__StreamDecoder *, FLAC__uint64 *offset,
                                                void *self);
    static FLAC__StreamDecoderLengthStatus onLength(const FLAC__StreamDecoder *,
                                                    FLAC__uint64 *length, void *self);
    static FLAC__bool onEof(const FLAC__StreamDecoder *, void *self);
    static FLAC__StreamDecoderWriteStatus onWrite(const FLAC__StreamDecoder *,
                                                  const FLAC__Frame *frame,
                                                  const FLAC__int32 *const channels[], void *self);
    static void onMetadata(const FLAC__StreamDecoder *, const FLAC__StreamMetadata *metadata,
                           void *self);
    static void onError(const FLAC__StreamDecoder *, FLAC__StreamDecoderErrorStatus, void *) {}

    FileReader &file;
    std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter> decoder;
    AudioFormat pcmFormat;
    int64_t length = 0;
    bool sawStreamInfo = false;
    bool atEnd = false;
    std::vector<float> pending;  // decoded samples not handed out yet, interleaved
    size_t pendingRead = 0;      // samples of `pending` already handed out
};

}  // namespace zuna
