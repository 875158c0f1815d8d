#include "audio/decoder.h"

#include "audio/flacdecoder.h"
#include "audio/formatsniffer.h"
#include "audio/mpegdecoder.h"

AudioResult openDecoder(const SniffedFormat &format, FileReader &file,
                        std::unique_ptr<Decoder> *decoder)
{
    decoder->reset();
    switch (format.type) {
        case SoundType::Mpeg:
            return MpegDecoder::open(file, !format.mpegLengthHeader, decoder);
        case SoundType::Flac:
            return FlacDecoder::open(file, decoder);
        case SoundType::Other:
            break;
    }
    return AudioResult::Unsupported;
}
