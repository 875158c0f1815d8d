#include "audio/decode/deferreddecoder.h"

#include <algorithm>

#include "audio/decode/ffmpegloader.h"
#include "audio/decode/filereader.h"

namespace zuna {

DeferredDecoder::DeferredDecoder(FileReader &source, const char *name, const StatedLength &length)
    : file(source), demuxer(name), stated(length)
{
}

DeferredDecoder::~DeferredDecoder() = default;

Decoder *DeferredDecoder::opened()
{
    if (!tried) {
        tried = true;
        TagLayout tags = TagLayout::None;
        if (openFfmpegDecoder(file, demuxer, &ffmpeg, &tags) == AudioResult::Ok) {
            const AudioFormat f = ffmpeg->format();
            if (f.rate != stated.format.rate || f.channels != stated.format.channels)
                ffmpeg.reset();  // not what the player was told: nothing rather than noise
        }
    }
    return ffmpeg.get();
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
