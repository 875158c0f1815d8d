#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/decode/decoder.h"
#include "audio/decode/ffmpeg/avinput.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace zuna {

// Everything that is neither MP3 nor FLAC, through FFmpeg's demuxers and decoders: Ogg
// Vorbis and Opus, AAC and ALAC in MP4, WAV, AIFF, WavPack, Monkey's Audio, tracker
// modules, the sound of a video.
//
// Lengths are exact where the container says them: the end of the stream (the last Ogg
// granule, the MP4 edit list, WAV and AIFF sample counts, a module's play time) less
// where its first sample lies once the codec's priming is dropped (Opus pre-skip, the AAC
// encoder delay), which is the first frame's time. A file cut short ends where its last
// whole packet does. read() yields exactly the length: what the codec adds past it (AAC
// padding) is dropped, and a codec that ends less than a frame short of it (a container
// that times in milliseconds) is made up with silence.
class FfmpegDecoder : public Decoder {
public:
    // Results: those of AvInput::open; Corrupt when the codec is unknown or decodes no
    // first frame.
    static AudioResult open(ByteSource &source, const char *demuxer,
                            std::unique_ptr<FfmpegDecoder> *decoder);
    ~FfmpegDecoder() override;

    AudioFormat format() const override { return pcmFormat; }
    int64_t lengthFrames() const override { return length; }
    AudioResult read(float *out, long frames, long *decoded) override;
    AudioResult seek(int64_t frame) override;

    TagLayout tagLayout() const { return input->tagLayout(); }

private:
    struct CodecDeleter {
        void operator()(AVCodecContext *codec) const;
    };
    struct FrameDeleter {
        void operator()(AVFrame *frame) const;
    };
    struct PacketDeleter {
        void operator()(AVPacket *packet) const;
    };

    explicit FfmpegDecoder(std::unique_ptr<AvInput> opened);
    AudioResult openCodec();
    bool decodeFrame();
    int64_t frameStart() const;  // of `frame`, in frames from the first; kNoTime if unknown
    int64_t lengthFromContainer() const;
    bool seekFrom(int64_t target, int64_t preroll);
    bool take(int first);

    static constexpr int64_t kNoTime = INT64_MIN;

    std::unique_ptr<AvInput> input;
    std::unique_ptr<AVCodecContext, CodecDeleter> codec;
    std::unique_ptr<AVFrame, FrameDeleter> frame;
    std::unique_ptr<AVPacket, PacketDeleter> packet;
    AudioFormat pcmFormat;
    int64_t length = 0;
    int64_t origin = 0;                 // time of the first frame, in the stream's time base
    int64_t firstPacketTime = kNoTime;  // of the stream, as the demuxer read it
    int64_t position = 0;               // frames handed out, or skipped by a seek
    int maxFrameSamples = 0;            // the largest codec frame seen
    bool sought = false;                // packets read since may not be the stream's first
    bool draining = false;              // the demuxer has ended: the codec gives out what it holds
    std::vector<float> pending;         // decoded, not handed out yet, interleaved
    size_t pendingRead = 0;             // samples of `pending` handed out
};

}  // namespace zuna
