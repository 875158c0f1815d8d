#include "audio/decode/ffmpeg/ffmpegdecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "audio/decode/bytesource.h"
#include "audio/decode/ffmpeg/pcmconvert.h"

namespace zuna {

namespace {
constexpr int kMaxChannels = 8;
// Damaged data can make a codec refuse packet after packet; bound the steps without a
// frame so that a hostile file ends instead of spinning.
constexpr int kMaxEmptySteps = 4096;

// PCM (and what libopenmpt renders, which reaches us as PCM), and the lossless codecs: what
// they decode starts at the stream's start, in the format the container states.
bool losslessWithoutPriming(AVCodecID codec)
{
    switch (codec) {
        case AV_CODEC_ID_WAVPACK:
        case AV_CODEC_ID_ALAC:
        case AV_CODEC_ID_APE:
        case AV_CODEC_ID_TTA:
        case AV_CODEC_ID_FLAC:
            return true;
        default:
            return av_get_exact_bits_per_sample(codec) > 0;
    }
}

// Whether the first sample decoded lies at the stream's start, in the format the container
// states: lossless codecs, and Vorbis and Opus in Ogg, whose headers state rate and channels
// and whose granules count from the first sample (Opus' pre-skip the codec drops).
bool startsWhereStated(const AvInput &input)
{
    const AVCodecID codec = input.stream()->codecpar->codec_id;
    return losslessWithoutPriming(codec) ||
           (std::string(input.context()->iformat->name) == "ogg" &&
            (codec == AV_CODEC_ID_VORBIS || codec == AV_CODEC_ID_OPUS));
}

bool sameFormat(const AVFrame &frame, const AudioFormat &format)
{
    return frame.sample_rate == format.rate && frame.ch_layout.nb_channels == format.channels;
}

// iTunes' gapless record, "0 PRIMING PADDING SAMPLES ..." in hexadecimal: the count of
// samples the encoder was given, which is the track's exact length. 0 if there is none.
int64_t itunesSampleCount(const AVDictionary *metadata)
{
    const AVDictionaryEntry *entry = av_dict_get(metadata, "iTunSMPB", nullptr, 0);
    unsigned priming = 0, padding = 0;
    unsigned long long samples = 0;
    if (!entry || std::sscanf(entry->value, "%*x %x %x %llx", &priming, &padding, &samples) != 3)
        return 0;
    return samples > 0 && samples < (1ull << 40) ? int64_t(samples) : 0;
}
}  // namespace

void FfmpegDecoder::CodecDeleter::operator()(AVCodecContext *unused) const
{
    avcodec_free_context(&unused);
}

void FfmpegDecoder::FrameDeleter::operator()(AVFrame *unused) const
{
    av_frame_free(&unused);
}

void FfmpegDecoder::PacketDeleter::operator()(AVPacket *unused) const
{
    av_packet_free(&unused);
}

FfmpegDecoder::FfmpegDecoder(std::unique_ptr<AvInput> opened)
    : input(std::move(opened)), frame(av_frame_alloc()), packet(av_packet_alloc())
{
}

FfmpegDecoder::~FfmpegDecoder()
{
    codec.reset();
    input.reset();
}

AudioResult FfmpegDecoder::open(ByteSource &source, const char *demuxer,
                                std::unique_ptr<FfmpegDecoder> *decoder)
{
    decoder->reset();
    std::unique_ptr<AvInput> input;
    AudioResult result = AvInput::open(source, demuxer, &input);
    if (result != AudioResult::Ok)
        return result;
    std::unique_ptr<FfmpegDecoder> d(new FfmpegDecoder(std::move(input)));
    const AVStream &stream = *d->input->stream();
    const AVCodecParameters &parameters = *stream.codecpar;
    if (!d->frame || !d->packet || !avcodec_find_decoder(parameters.codec_id))
        return AudioResult::Corrupt;  // out of memory, or a codec this FFmpeg lacks
    d->origin = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
    d->pcmFormat = AudioFormat{parameters.sample_rate, parameters.ch_layout.nb_channels};
    if (!startsWhereStated(*d->input)) {
        // Otherwise the first frame tells what the codec really gives (the container may
        // not: HE-AAC doubles the rate it states), and its time is where the track starts
        // once the codec's priming is dropped (Matroska states it to the millisecond).
        // Decoding it costs more than reading the headers, so it is done only where needed.
        d->pcmFormat = AudioFormat();
        if ((result = d->openCodec()) != AudioResult::Ok)
            return result;
        if (!d->decodeFrame())
            return AudioResult::Corrupt;
        const AVFrame &first = *d->frame;
        d->pcmFormat = AudioFormat{first.sample_rate, first.ch_layout.nb_channels};
        const int64_t pts = first.pts != AV_NOPTS_VALUE ? first.pts : first.best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE)
            d->origin = pts;
        if (!d->take(0))
            return AudioResult::Corrupt;
    }
    if (d->pcmFormat.rate <= 0 || d->pcmFormat.channels < 1 || d->pcmFormat.channels > kMaxChannels)
        return AudioResult::Corrupt;
    d->length = d->lengthFromContainer();
    *decoder = std::move(d);
    return AudioResult::Ok;
}

AudioResult FfmpegDecoder::openCodec()
{
    const AVCodecParameters &parameters = *input->stream()->codecpar;
    // Only an open codec is kept: FFmpeg's calls on a context that failed to open crash (a
    // damaged file may open at first and not again when a seek opens it anew).
    codec.reset();
    const AVCodec *found = avcodec_find_decoder(parameters.codec_id);
    if (!found)
        return AudioResult::Corrupt;  // a codec this FFmpeg was built without
    std::unique_ptr<AVCodecContext, CodecDeleter> opening(avcodec_alloc_context3(found));
    if (!opening || avcodec_parameters_to_context(opening.get(), &parameters) < 0)
        return AudioResult::Corrupt;
    // Timestamps of frames, trimmed of priming, are in the stream's time base.
    opening->pkt_timebase = input->stream()->time_base;
    opening->thread_count = 1;  // one decoder per track; the feeder is its only thread
    if (avcodec_open2(opening.get(), found, nullptr) < 0)
        return AudioResult::Corrupt;
    codec = std::move(opening);
    return AudioResult::Ok;
}

bool FfmpegDecoder::decodeFrame()
{
    if (!codec)
        return false;  // it could not be opened again after a seek: the stream is over
    AVFormatContext *context = input->context();
    const int index = input->stream()->index;
    for (int step = 0; step < kMaxEmptySteps; ++step) {
        const int received = avcodec_receive_frame(codec.get(), frame.get());
        if (received == 0) {
            if (frame->nb_samples <= 0)
                continue;
            // A chained Ogg stream or a damaged header can change the format; what the
            // player was told at opening holds, so the stream ends there.
            return !pcmFormat.isValid() || sameFormat(*frame, pcmFormat);
        }
        if (received == AVERROR_EOF || draining)
            return false;
        // Otherwise the codec wants a packet (or gave up on a damaged one: go on).
        if (av_read_frame(context, packet.get()) < 0) {
            draining = true;  // end of file or unreadable: what the codec holds, then the end
            avcodec_send_packet(codec.get(), nullptr);
            continue;
        }
        if (packet->stream_index == index) {
            if (firstPacketTime == kNoTime && !sought && packet->pts != AV_NOPTS_VALUE)
                firstPacketTime = packet->pts;
            avcodec_send_packet(codec.get(), packet.get());  // a damaged packet is skipped
        }
        av_packet_unref(packet.get());
    }
    return false;
}

int64_t FfmpegDecoder::frameStart() const
{
    const int64_t pts = frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        return kNoTime;
    return av_rescale_q(pts - origin, input->stream()->time_base, AVRational{1, pcmFormat.rate});
}

int64_t FfmpegDecoder::lengthFromContainer() const
{
    const AVFormatContext &context = *input->context();
    const AVStream &stream = *input->stream();
    const AVRational perFrame{1, pcmFormat.rate};
    const auto framesTo = [&](int64_t time) {
        return av_rescale_q(time - origin, stream.time_base, perFrame);
    };
    int64_t frames = 0;
    if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
        const int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
        frames = framesTo(start + stream.duration);
        // Ogg Opus granules count the pre-skip, which the codec drops.
        if (std::string(context.iformat->name) == "ogg" &&
            stream.codecpar->codec_id == AV_CODEC_ID_OPUS)
            frames -= av_rescale(stream.codecpar->initial_padding, pcmFormat.rate, 48000);
    } else if (context.duration != AV_NOPTS_VALUE && context.duration > 0) {
        // Only the whole file's length is known, from where its first packet lies (Matroska,
        // which times in milliseconds).
        const int64_t start = firstPacketTime != kNoTime ? firstPacketTime : 0;
        frames = framesTo(start + av_rescale_q(context.duration, AV_TIME_BASE_Q, stream.time_base));
    }
    if (const int64_t stated = itunesSampleCount(context.metadata); stated > 0)
        frames = stated;
    // Cut short: the stream ends where the last packet the file holds whole does. MP4 lists
    // every packet's place; PCM has a fixed size per frame from where the data starts.
    AVStream *indexed = input->stream();
    const int entries = avformat_index_get_entries_count(indexed);
    const AVIndexEntry *last =
        entries > 0 ? avformat_index_get_entry(indexed, entries - 1) : nullptr;
    if (last && last->size > 0 && last->pos + last->size > input->fileSize()) {
        for (int i = 0; i < entries; ++i) {
            const AVIndexEntry *e = avformat_index_get_entry(indexed, i);
            if (e->size > 0 && e->pos + e->size > input->fileSize()) {
                frames = std::min(frames, framesTo(e->timestamp));
                break;
            }
        }
    }
    const AVCodecParameters &p = *stream.codecpar;
    if (input->pcmInOnePiece() && p.block_align > 0) {
        // A size that says more than the file holds (a recorder that died before it wrote the
        // size, or a copy cut short) leaves the demuxer without a length: the file tells it.
        const int64_t held = (input->fileSize() - input->dataStart()) / p.block_align;
        frames = frames > 0 ? std::min(frames, held) : held;
    }
    return std::max<int64_t>(0, frames);
}

bool FfmpegDecoder::take(int first)
{
    maxFrameSamples = std::max(maxFrameSamples, frame->nb_samples);
    return appendInterleaved(*frame, first, pending);
}

AudioResult FfmpegDecoder::read(float *out, long frames, long *decoded)
{
    const auto channels = size_t(pcmFormat.channels);
    long produced = 0;
    *decoded = 0;
    if (!codec && openCodec() != AudioResult::Ok)
        return AudioResult::Ok;  // nothing can be decoded: the stream ends at once
    while (produced < frames && position < length) {
        if (pendingRead == pending.size()) {
            pending.clear();
            pendingRead = 0;
            if (!decodeFrame() || !take(0)) {
                // The codec has ended. Less than a frame short of the length (a container
                // timed coarser than samples), silence makes it up; more is a file cut
                // short, or damaged, which ends here.
                pending.clear();
                const int64_t missing = length - position;
                if (missing > maxFrameSamples)
                    break;
                pending.assign(size_t(missing) * channels, 0.0f);
            }
        }
        const int64_t available = int64_t((pending.size() - pendingRead) / channels);
        const int64_t n = std::min({available, int64_t(frames - produced), length - position});
        std::memcpy(out + size_t(produced) * channels, pending.data() + pendingRead,
                    size_t(n) * channels * sizeof(float));
        pendingRead += size_t(n) * channels;
        produced += long(n);
        position += n;
    }
    *decoded = produced;
    return AudioResult::Ok;
}

AudioResult FfmpegDecoder::seek(int64_t target)
{
    if (target < 0 || target > length)
        return AudioResult::InvalidArgument;
    pending.clear();
    pendingRead = 0;
    position = target;
    sought = true;
    if (target == length)
        return AudioResult::Ok;
    // Codecs need audio before the target to decode it as it sounds when played through
    // (MDCT overlap, Opus' pre-roll of 80 ms); a demuxer may also land after where it was
    // asked. Each try starts further back, the last from the start.
    for (int64_t preroll = std::max<int64_t>(pcmFormat.rate / 5, 4 * int64_t(maxFrameSamples));;
         preroll *= 8) {
        if (seekFrom(target, preroll))
            return AudioResult::Ok;
        if (preroll >= target)
            break;
    }
    pending.clear();
    pendingRead = 0;
    return AudioResult::Corrupt;
}

bool FfmpegDecoder::seekFrom(int64_t target, int64_t preroll)
{
    const AVStream &stream = *input->stream();
    // From the start, the first packet: the codec's priming is what the first frame needs
    // before it, as a pre-roll.
    const int64_t from = target - preroll;
    const int64_t time =
        from > 0 || firstPacketTime == kNoTime
            ? origin + av_rescale_q(std::max<int64_t>(0, from), AVRational{1, pcmFormat.rate},
                                    stream.time_base)
            : firstPacketTime;
    if (avformat_seek_file(input->context(), stream.index, INT64_MIN, time, time, 0) < 0)
        return false;
    // From the start, a codec as new, so that a track played again sounds the same to the
    // bit (the AAC decoder's noise substitution draws on state a flush keeps).
    if (from > 0 && codec)
        avcodec_flush_buffers(codec.get());
    else if (openCodec() != AudioResult::Ok)
        return false;
    draining = false;
    pending.clear();
    pendingRead = 0;
    // Some decoders time only the first of the frames a packet yields (Monkey's Audio cuts
    // its long packets in pieces): the others follow it.
    int64_t expected = kNoTime;
    while (decodeFrame()) {
        const int64_t stated = frameStart();
        const int64_t start = stated == kNoTime     ? expected
                              : expected == kNoTime ? stated
                                                    : std::max(stated, expected);
        if (start == kNoTime)
            continue;  // cannot be placed; the next frame with a time can
        expected = start + frame->nb_samples;
        if (start > target)
            return false;  // landed past the target
        if (start + frame->nb_samples > target)
            return take(int(target - start));
    }
    return false;
}

}  // namespace zuna
