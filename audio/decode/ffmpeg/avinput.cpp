#include "audio/decode/ffmpeg/avinput.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
}

#include <cstdio>
#include <cstring>
#include <string>

#include "audio/decode/bytesource.h"

namespace zuna {

namespace {
constexpr int kIoBufferSize = 64 * 1024;
constexpr int kMaxChannels = 8;
constexpr int kMaxRate = 768000;

// Audio files and the containers that carry music. Playlists (HLS, concat), raw guesses
// and image formats are left out: they would read other files or take any bytes for sound.
constexpr const char *kDemuxers =
    "ogg,mov,matroska,wav,w64,aiff,wv,ape,mp3,aac,flac,libopenmpt,caf,tta,mpc,mpc8";

int readPacket(void *opaque, uint8_t *buffer, int size)
{
    const long got = static_cast<ByteSource *>(opaque)->read(buffer, size_t(size));
    if (got < 0)
        return AVERROR(EIO);
    return got == 0 ? AVERROR_EOF : int(got);
}

int64_t seekTo(void *opaque, int64_t offset, int whence)
{
    auto *source = static_cast<ByteSource *>(opaque);
    if (whence & AVSEEK_SIZE)
        return source->size();
    const int64_t at = source->seek(offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(EINVAL) : at;
}

// A demuxer may ask to open another file or address (a playlist's entries, a reference
// movie's media): refused, so that nothing but the file itself is ever read.
int refuseNestedOpen(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **)
{
    return AVERROR(EPERM);
}

bool usable(const AVCodecParameters &p)
{
    return p.sample_rate > 0 && p.sample_rate <= kMaxRate && p.ch_layout.nb_channels >= 1 &&
           p.ch_layout.nb_channels <= kMaxChannels;
}

// Tracker modules keep their name where each format puts it; which format it is, their
// first bytes tell (TagLib has a parser for each).
TagLayout moduleLayout(ByteSource &source)
{
    unsigned char head[48] = {};
    const int64_t was = source.seek(0, SEEK_CUR);
    source.seek(0, SEEK_SET);
    const long got = source.read(head, sizeof head);
    source.seek(was, SEEK_SET);
    if (got >= 17 && std::memcmp(head, "Extended Module:", 16) == 0)
        return TagLayout::Xm;
    if (got >= 4 && std::memcmp(head, "IMPM", 4) == 0)
        return TagLayout::It;
    if (got >= 48 && std::memcmp(head + 44, "SCRM", 4) == 0)
        return TagLayout::S3m;
    return TagLayout::Mod;
}
}  // namespace

void AvInput::IoDeleter::operator()(AVIOContext *unused) const
{
    av_freep(&unused->buffer);
    avio_context_free(&unused);
}

void AvInput::FormatDeleter::operator()(AVFormatContext *unused) const
{
    avformat_close_input(&unused);
}

AvInput::~AvInput()
{
    format.reset();  // reads through io
}

AudioResult AvInput::open(ByteSource &source, const char *demuxer, std::unique_ptr<AvInput> *input)
{
    input->reset();
    const AVInputFormat *named = demuxer ? av_find_input_format(demuxer) : nullptr;
    std::unique_ptr<AvInput> opened(new AvInput(source));
    AudioResult result = opened->openWith(named);
    if (result != AudioResult::Ok && named) {
        // Not what its first bytes said: a new start, with FFmpeg's probe.
        opened.reset(new AvInput(source));
        result = opened->openWith(nullptr);
    }
    if (result == AudioResult::Ok)
        *input = std::move(opened);
    return result;
}

AudioResult AvInput::openWith(const AVInputFormat *demuxer)
{
    auto *buffer = static_cast<unsigned char *>(av_malloc(kIoBufferSize));
    if (!buffer)
        return AudioResult::Corrupt;
    io.reset(avio_alloc_context(buffer, kIoBufferSize, 0, &source, readPacket, nullptr, seekTo));
    if (!io) {
        av_free(buffer);
        return AudioResult::Corrupt;
    }
    source.seek(0, SEEK_SET);
    AVFormatContext *context = avformat_alloc_context();
    if (!context)
        return AudioResult::Corrupt;
    context->pb = io.get();
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    context->io_open = refuseNestedOpen;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "format_whitelist", kDemuxers, 0);
    // How much audio FFmpeg reads to make sure of a codec: by default 5 MB, which it reads
    // of every PCM WAV file before its first packet, in case it carries compressed audio
    // (S/PDIF). A few packets tell as much.
    av_dict_set(&options, "probesize", "32768", 0);
    // On failure avformat_open_input frees the context itself.
    const int status = avformat_open_input(&context, "", demuxer, &options);
    av_dict_free(&options);
    if (status < 0)
        return AudioResult::Unsupported;
    format.reset(context);
    headerEnd = avio_tell(context->pb);

    const int best = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (best < 0) {
        // Some containers (raw AAC, MPEG program streams) tell the format only from the
        // packets: read a few of them.
        if (avformat_find_stream_info(context, nullptr) < 0)
            return AudioResult::Unsupported;
    }
    const int index =
        best >= 0 ? best : av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return AudioResult::Unsupported;  // no sound in it: a video alone, a picture
    for (unsigned i = 0; i < context->nb_streams; ++i)
        context->streams[i]->discard = int(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    audio = context->streams[index];
    if (!usable(*audio->codecpar) && best >= 0 && avformat_find_stream_info(context, nullptr) < 0)
        return AudioResult::Corrupt;
    if (!usable(*audio->codecpar))
        return AudioResult::Corrupt;
    return AudioResult::Ok;
}

int64_t AvInput::fileSize() const
{
    return source.size();
}

bool AvInput::pcmInOnePiece() const
{
    const std::string demuxer = format->iformat->name;
    return (demuxer == "wav" || demuxer == "w64" || demuxer == "aiff") &&
           av_get_exact_bits_per_sample(audio->codecpar->codec_id) > 0;
}

TagLayout AvInput::tagLayout() const
{
    const std::string demuxer = format->iformat->name;
    const AVCodecID codec = audio->codecpar->codec_id;
    if (demuxer == "ogg") {
        switch (codec) {
            case AV_CODEC_ID_VORBIS:
                return TagLayout::OggVorbis;
            case AV_CODEC_ID_OPUS:
                return TagLayout::OggOpus;
            case AV_CODEC_ID_FLAC:
                return TagLayout::OggFlac;
            case AV_CODEC_ID_SPEEX:
                return TagLayout::OggSpeex;
            default:
                return TagLayout::None;
        }
    }
    if (demuxer.rfind("mov", 0) == 0)
        return TagLayout::Mp4;
    if (demuxer == "wav")
        return TagLayout::Wav;
    if (demuxer == "aiff")
        return TagLayout::Aiff;
    if (demuxer == "wv")
        return TagLayout::WavPack;
    if (demuxer == "ape")
        return TagLayout::Ape;
    if (demuxer == "libopenmpt")
        return moduleLayout(source);
    if (demuxer == "mp3" || demuxer == "aac")
        return TagLayout::Mpeg;
    if (demuxer == "flac")
        return TagLayout::Flac;
    return TagLayout::None;
}

}  // namespace zuna
