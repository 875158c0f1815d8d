#include "audio/decode/decoder.h"

#include "audio/decode/deferreddecoder.h"
#include "audio/decode/ffmpegloader.h"
#include "audio/decode/filereader.h"
#include "audio/decode/flacdecoder.h"
#include "audio/decode/formatsniffer.h"
#include "audio/decode/mpegdecoder.h"
#include "audio/decode/mpeglength.h"
#include "audio/decode/statedlength.h"

namespace zuna {

AudioResult openDecoder(const SniffedFormat &format, FileReader &file,
                        std::unique_ptr<Decoder> *decoder, TagLayout *tags)
{
    decoder->reset();
    *tags = TagLayout::None;
    switch (format.type) {
        case SoundType::Mpeg: {
            *tags = TagLayout::Mpeg;
            const int64_t audioStart = format.audioStart;
            // Where the frame headers state format and length, libmpg123 waits until the file
            // is played: opening it costs several times what the rest of a metadata read does.
            if (const auto stated = mpegStatedLength(file, audioStart)) {
                decoder->reset(new DeferredDecoder(
                    *stated, [&file, audioStart](std::unique_ptr<Decoder> *mpeg) {
                        return MpegDecoder::open(file, audioStart, mpeg);
                    }));
                return AudioResult::Ok;
            }
            return MpegDecoder::open(file, audioStart, decoder);
        }
        case SoundType::Flac:
            *tags = TagLayout::Flac;
            return FlacDecoder::open(file, decoder);
        case SoundType::Other:
            break;
    }
    // Where the container states format and length, FFmpeg waits until the file is played.
    if (const auto stated = readStatedLength(file, format.demuxer)) {
        *tags = stated->tags;
        const char *demuxer = format.demuxer;  // a string literal of the sniffer's
        decoder->reset(
            new DeferredDecoder(*stated, [&file, demuxer](std::unique_ptr<Decoder> *ffmpeg) {
                TagLayout opened = TagLayout::None;
                return openFfmpegDecoder(file, demuxer, ffmpeg, &opened);
            }));
        return AudioResult::Ok;
    }
    return openFfmpegDecoder(file, format.demuxer, decoder, tags);
}

}  // namespace zuna
