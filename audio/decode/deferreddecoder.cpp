#include "audio/decode/deferreddecoder.h"

#include <algorithm>
#include <utility>

namespace zuna {

DeferredDecoder::DeferredDecoder(const StatedLength &length, Opener opener)
    : stated(length), open(std::move(opener))
{
}

DeferredDecoder::~DeferredDecoder() = default;

Decoder *DeferredDecoder::opened()
{
    if (!tried) {
        tried = true;
        if (open(&decoder) == AudioResult::Ok && decoder) {
            const AudioFormat f = decoder->format();
            if (f.rate != stated.format.rate || f.channels != stated.format.channels)
                decoder.reset();  // not what the player was told: nothing rather than noise
        } else {
            decoder.reset();
        }
    }
    return decoder.get();
}

AudioResult DeferredDecoder::read(float *out, long frames, long *decoded)
{
    *decoded = 0;
    Decoder *d = opened();
    const long wanted = long(std::min<int64_t>(frames, stated.frames - position));
    if (!d || wanted <= 0)
        return AudioResult::Ok;
    const AudioResult result = d->read(out, wanted, decoded);
    position += *decoded;
    return result;
}

AudioResult DeferredDecoder::seek(int64_t frame)
{
    if (frame < 0 || frame > stated.frames)
        return AudioResult::InvalidArgument;
    Decoder *d = opened();
    if (!d)
        return AudioResult::Corrupt;
    const AudioResult result = d->seek(std::min(frame, d->lengthFrames()));
    if (result == AudioResult::Ok)
        position = frame;
    return result;
}

}  // namespace zuna
