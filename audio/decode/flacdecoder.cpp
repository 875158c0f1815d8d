#include "audio/decode/flacdecoder.h"

#include <algorithm>
#include <cstring>

#include "audio/decode/filereader.h"

namespace zuna {

namespace {
constexpr int kMaxChannels = 8;
// Damaged data can make libFLAC hunt for a frame sync for a while; bound the number of
// frameless steps so that a hostile file ends instead of spinning.
constexpr int kMaxEmptySteps = 4096;

FlacDecoder *self(void *client)
{
    return static_cast<FlacDecoder *>(client);
}
}  // namespace

FlacDecoder::FlacDecoder(FileReader &input) : file(input) {}

FlacDecoder::~FlacDecoder() = default;

AudioResult FlacDecoder::open(FileReader &file, std::unique_ptr<Decoder> *decoder)
{
    std::unique_ptr<FlacDecoder> result(new FlacDecoder(file));
    result->decoder.reset(FLAC__stream_decoder_new());
    FLAC__StreamDecoder *d = result->decoder.get();
    if (!d)
        return AudioResult::Corrupt;
    FLAC__stream_decoder_set_md5_checking(d, false);
    if (FLAC__stream_decoder_init_stream(d, onRead, onSeek, onTell, onLength, onEof, onWrite,
                                         onMetadata, onError,
                                         result.get()) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        return AudioResult::Corrupt;
    // libFLAC can report success on data that is no FLAC at all; only a STREAMINFO block
    // with sane values proves it is. It is always the first block, and all we need: the
    // blocks after it (pictures, padding) are read on the way to the first frame, by
    // read() or seek(), so that opening a stream does not read through cover art.
    for (;;) {
        const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(d);
        if (result->sawStreamInfo || (state != FLAC__STREAM_DECODER_SEARCH_FOR_METADATA &&
                                      state != FLAC__STREAM_DECODER_READ_METADATA))
            break;
        if (!FLAC__stream_decoder_process_single(d))
            break;
    }
    const AudioFormat &f = result->pcmFormat;
    if (!result->sawStreamInfo || f.rate <= 0 || f.channels < 1 || f.channels > kMaxChannels)
        return AudioResult::Corrupt;
    *decoder = std::move(result);
    return AudioResult::Ok;
}

bool FlacDecoder::decodeNextFrame()
{
    pending.clear();
    pendingRead = 0;
    // open() stopped after STREAMINFO; the other metadata blocks go before the first frame.
    const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder.get());
    if (state == FLAC__STREAM_DECODER_SEARCH_FOR_METADATA ||
        state == FLAC__STREAM_DECODER_READ_METADATA)
        FLAC__stream_decoder_process_until_end_of_metadata(decoder.get());
    for (int step = 0; step < kMaxEmptySteps && pending.empty(); ++step) {
        if (FLAC__stream_decoder_get_state(decoder.get()) == FLAC__STREAM_DECODER_END_OF_STREAM ||
            !FLAC__stream_decoder_process_single(decoder.get()))
            return !pending.empty();
    }
    return !pending.empty();
}

AudioResult FlacDecoder::read(float *out, long frames, long *decoded)
{
    const size_t channels = size_t(pcmFormat.channels);
    long produced = 0;
    while (produced < frames && !atEnd) {
        if (pendingRead == pending.size() && !decodeNextFrame()) {
            atEnd = true;
            break;
        }
        const size_t available = (pending.size() - pendingRead) / channels;
        const size_t take = std::min(available, size_t(frames - produced));
        std::memcpy(out + size_t(produced) * channels, pending.data() + pendingRead,
                    take * channels * sizeof(float));
        pendingRead += take * channels;
        produced += long(take);
    }
    // Damaged frames are skipped by libFLAC itself; what cannot be decoded ends the stream.
    *decoded = produced;
    return AudioResult::Ok;
}

AudioResult FlacDecoder::seek(int64_t frame)
{
    if (frame < 0 || (length > 0 && frame > length))
        return AudioResult::InvalidArgument;
    pending.clear();
    pendingRead = 0;
    atEnd = false;
    if (length > 0 && frame == length) {
        atEnd = true;
        return AudioResult::Ok;
    }
    // The frame that holds the target arrives through onWrite during the seek, already
    // trimmed to start at the target; it stays in `pending` for the next read().
    if (FLAC__stream_decoder_seek_absolute(decoder.get(), FLAC__uint64(frame)))
        return AudioResult::Ok;
    if (FLAC__stream_decoder_get_state(decoder.get()) == FLAC__STREAM_DECODER_SEEK_ERROR)
        FLAC__stream_decoder_flush(decoder.get());
    pending.clear();
    return AudioResult::Corrupt;
}

FLAC__StreamDecoderReadStatus FlacDecoder::onRead(const FLAC__StreamDecoder *, FLAC__byte buffer[],
                                                  size_t *bytes, void *client)
{
    const long got = self(client)->file.read(buffer, *bytes);
    if (got < 0) {
        *bytes = 0;
        return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    *bytes = size_t(got);
    return got == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                    : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderSeekStatus FlacDecoder::onSeek(const FLAC__StreamDecoder *, FLAC__uint64 offset,
                                                  void *client)
{
    return self(client)->file.seek(int64_t(offset), SEEK_SET) < 0
               ? FLAC__STREAM_DECODER_SEEK_STATUS_ERROR
               : FLAC__STREAM_DECODER_SEEK_STATUS_OK;
}

FLAC__StreamDecoderTellStatus FlacDecoder::onTell(const FLAC__StreamDecoder *, FLAC__uint64 *offset,
                                                  void *client)
{
    *offset = FLAC__uint64(self(client)->file.tell());
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderLengthStatus FlacDecoder::onLength(const FLAC__StreamDecoder *,
                                                      FLAC__uint64 *length, void *client)
{
    *length = FLAC__uint64(self(client)->file.size());
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__bool FlacDecoder::onEof(const FLAC__StreamDecoder *, void *client)
{
    const FileReader &file = self(client)->file;
    return file.tell() >= file.size();
}

FLAC__StreamDecoderWriteStatus FlacDecoder::onWrite(const FLAC__StreamDecoder *,
                                                    const FLAC__Frame *frame,
                                                    const FLAC__int32 *const channels[],
                                                    void *client)
{
    FlacDecoder *d = self(client);
    const unsigned count = frame->header.channels;
    const unsigned bits = frame->header.bits_per_sample;
    if (int(count) != d->pcmFormat.channels || bits < 4 || bits > 32)
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    const float scale = 1.0f / float(int64_t(1) << (bits - 1));
    const size_t blocksize = frame->header.blocksize;
    const size_t start = d->pending.size();
    d->pending.resize(start + blocksize * count);
    float *out = d->pending.data() + start;
    for (size_t i = 0; i < blocksize; ++i)
        for (unsigned c = 0; c < count; ++c)
            *out++ = float(channels[c][i]) * scale;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void FlacDecoder::onMetadata(const FLAC__StreamDecoder *, const FLAC__StreamMetadata *metadata,
                             void *client)
{
    FlacDecoder *d = self(client);
    // Only the first STREAMINFO counts: a damaged file can carry another one further on,
    // and the format must not change under a reader that has sized its buffers by it.
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO || d->sawStreamInfo)
        return;
    const FLAC__StreamMetadata_StreamInfo &info = metadata->data.stream_info;
    d->sawStreamInfo = true;
    d->pcmFormat = AudioFormat{int(info.sample_rate), int(info.channels)};
    d->length = int64_t(info.total_samples);
}

}  // namespace zuna
