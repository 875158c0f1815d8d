#include "audio/decode/decoder.h"

#include "audio/decode/deferreddecoder.h"
#include "audio/decode/ffmpegloader.h"
#include "audio/decode/filereader.h"
#include "audio/decode/flacdecoder.h"
#include "audio/decode/formatsniffer.h"
#include "audio/decode/mpegdecoder.h"
#include "audio/decode/statedlength.h"

namespace zuna {

AudioResult openDecoder(const SniffedFormat &format, FileReader &file,
                        std::unique_ptr<Decoder> *decoder, TagLayout *tags)
{
    decoder->reset();
    *tags = TagLayout::None;
    switch (format.type) {
        case SoundType::Mpeg:
            *tags = TagLayout::Mpeg;
            return MpegDecoder::open(file, format.audioStart, decoder);
        case SoundType::Flac:
            *tags = TagLayout::Flac;
            return FlacDecoder::open(file, decoder);
        case SoundType::Other:
            break;
    }
    // Where the container states format and length, FFmpeg waits until the file is played.
    if (const auto stated = readStatedLength(file, format.demuxer)) {
        *tags = stated->tags;
        decoder->reset(new DeferredDecoder(file, format.demuxer, *stated));
        return AudioResult::Ok;
    }
    return openFfmpegDecoder(file, format.demuxer, decoder, tags);
}

}  // namespace zuna
