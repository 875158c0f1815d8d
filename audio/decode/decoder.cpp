#include "audio/decode/decoder.h"

#include "audio/decode/flacdecoder.h"
#include "audio/decode/formatsniffer.h"
#include "audio/decode/mpegdecoder.h"

AudioResult openDecoder(const SniffedFormat &format, FileReader &file,
                        std::unique_ptr<Decoder> *decoder)
{
    decoder->reset();
    switch (format.type) {
        case SoundType::Mpeg:
            return MpegDecoder::open(file, format.audioStart, decoder);
        case SoundType::Flac:
            return FlacDecoder::open(file, decoder);
        case SoundType::Other:
            break;
    }
    return AudioResult::Unsupported;
}
