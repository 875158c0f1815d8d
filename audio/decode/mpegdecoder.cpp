#include "audio/decode/mpegdecoder.h"

#include <mpg123.h>

#include <mutex>
#include <vector>

#include "audio/decode/filereader.h"
#include "audio/decode/mpegheader.h"

namespace zuna {

namespace {
mpg123_ssize_t readCallback(void *reader, void *buffer, size_t count)
{
    return static_cast<FileReader *>(reader)->read(buffer, count);
}

off_t seekCallback(void *reader, off_t offset, int whence)
{
    return off_t(static_cast<FileReader *>(reader)->seek(offset, whence));
}

// Limits output to 32-bit float at any rate, with `channels` (or any count if 0).
void allowFloatOutput(mpg123_handle *handle, long rate, int channels)
{
    mpg123_format_none(handle);
    const int layout = channels == 1   ? MPG123_MONO
                       : channels == 2 ? MPG123_STEREO
                                       : MPG123_MONO | MPG123_STEREO;
    if (rate > 0) {
        mpg123_format(handle, rate, layout, MPG123_ENC_FLOAT_32);
        return;
    }
    const long *rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
        mpg123_format(handle, rates[i], layout, MPG123_ENC_FLOAT_32);
}

// mpg123_new() costs more than reading a file's headers (each handle builds its own
// decoding tables), and the metadata reader opens a stream per file; so handles are closed
// and kept for the next stream rather than deleted. A closed handle keeps nothing of the
// file it read (mpg123_close resets the frame state, as the mpg123 player relies on when it
// goes from track to track), and open() sets the same parameters on every handle.
class HandlePool {
public:
    mpg123_handle *take()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!idle.empty()) {
                mpg123_handle *handle = idle.back();
                idle.pop_back();
                return handle;
            }
        }
        int error = MPG123_OK;
        return mpg123_new(nullptr, &error);
    }

    void give(mpg123_handle *handle)
    {
        mpg123_close(handle);
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (idle.size() < kMaxIdle) {
                idle.push_back(handle);
                return;
            }
        }
        mpg123_delete(handle);
    }

private:
    static constexpr size_t kMaxIdle = 4;
    std::mutex mutex;
    std::vector<mpg123_handle *> idle;
};

// Never destroyed, so that a stream released during exit still finds it.
HandlePool &handlePool()
{
    static HandlePool *pool = new HandlePool;
    return *pool;
}

// Whether the first frame carries a header stating the stream's frame count. Without one,
// libmpg123 would estimate the length from the first frame's bitrate, far off for VBR
// files; every frame header is then read once to count them.
bool statesFrameCount(FileReader &file, int64_t audioStart)
{
    unsigned char frame[192];  // room for the side information and a Xing or VBRI header
    const long got = file.readAt(audioStart, frame, sizeof frame);
    MpegFrameHeader header;
    return got >= 4 && header.parse(frame) &&
           hasFrameCountHeader(header, frame, size_t(got), file.size() - audioStart);
}
}  // namespace

void MpegDecoder::HandleDeleter::operator()(mpg123_handle_struct *unused) const
{
    handlePool().give(unused);  // kept for the next stream, closed
}

MpegDecoder::MpegDecoder(Handle opened) : handle(std::move(opened)) {}

MpegDecoder::~MpegDecoder() = default;

AudioResult MpegDecoder::open(FileReader &file, int64_t audioStart,
                              std::unique_ptr<Decoder> *decoder)
{
    decoder->reset();
    const bool scanForLength = !statesFrameCount(file, audioStart);
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });

    Handle handle(handlePool().take());
    if (!handle)
        return AudioResult::Corrupt;
    mpg123_handle *h = handle.get();
    // Tags are TagLib's business; a fixed format per file keeps the output simple and
    // NO_FRANKENSTEIN stops at the length the header announced.
    mpg123_param(h, MPG123_ADD_FLAGS,
                 MPG123_QUIET | MPG123_GAPLESS | MPG123_SKIP_ID3V2 | MPG123_NO_FRANKENSTEIN, 0);
    // After a seek, decoding restarts this many frames early so that the bit reservoir is
    // full again; the default of 4 leaves silence after seeks in low-bitrate VBR files.
    mpg123_param(h, MPG123_PREFRAMES, 16, 0);
    allowFloatOutput(h, 0, 0);
    if (mpg123_replace_reader_handle(h, readCallback, seekCallback, nullptr) != MPG123_OK ||
        mpg123_open_handle(h, &file) != MPG123_OK)
        return AudioResult::Corrupt;

    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels < 1 || channels > 2 || encoding != MPG123_ENC_FLOAT_32)
        return AudioResult::Corrupt;
    allowFloatOutput(h, rate, channels);

    if (scanForLength && mpg123_scan(h) != MPG123_OK)
        return AudioResult::Corrupt;
    const off_t samples = mpg123_length(h);

    std::unique_ptr<MpegDecoder> result(new MpegDecoder(std::move(handle)));
    result->pcmFormat = AudioFormat{int(rate), channels};
    result->length = samples > 0 ? int64_t(samples) : 0;
    *decoder = std::move(result);
    return AudioResult::Ok;
}

AudioResult MpegDecoder::read(float *out, long frames, long *decoded)
{
    *decoded = 0;
    const size_t frameBytes = sizeof(float) * size_t(pcmFormat.channels);
    // A damaged stream can answer several times without output while it resyncs; give it
    // a bounded number of tries so a hostile file cannot spin us forever.
    for (int attempt = 0; attempt < 64; ++attempt) {
        size_t done = 0;
        const int status = mpg123_read(handle.get(), out, size_t(frames) * frameBytes, &done);
        if (done >= frameBytes) {
            *decoded = long(done / frameBytes);
            return AudioResult::Ok;
        }
        if (status == MPG123_DONE)
            return AudioResult::Ok;
        if (status != MPG123_OK && status != MPG123_NEW_FORMAT)
            return AudioResult::Corrupt;
    }
    return AudioResult::Corrupt;
}

AudioResult MpegDecoder::seek(int64_t frame)
{
    if (frame < 0 || frame > length)
        return AudioResult::InvalidArgument;
    return mpg123_seek(handle.get(), off_t(frame), SEEK_SET) >= 0 ? AudioResult::Ok
                                                                  : AudioResult::Corrupt;
}

}  // namespace zuna
