#pragma once

#include <memory>

#include "audio/audioresult.h"
#include "audio/decode/taglayout.h"

struct AVFormatContext;
struct AVIOContext;
struct AVStream;
struct AVInputFormat;

namespace zuna {

class ByteSource;

// A file opened by FFmpeg's demuxers, reading through a ByteSource, and the audio stream
// chosen in it. Only demuxers of audio and of the containers music comes in are allowed,
// and a demuxer may open nothing further (a playlist or a reference to another file):
// every byte read is one of the file's.
class AvInput {
public:
    // Opens `source` with the demuxer named `demuxer` if it takes the bytes, otherwise
    // with the one FFmpeg's probe finds. Results: Ok; Unsupported when no allowed demuxer
    // recognises the bytes or the file holds no audio stream (a video without sound);
    // Corrupt when the stream's format is not one a player can output.
    static AudioResult open(ByteSource &source, const char *demuxer,
                            std::unique_ptr<AvInput> *input);
    ~AvInput();
    AvInput(const AvInput &) = delete;
    AvInput &operator=(const AvInput &) = delete;

    AVFormatContext *context() const { return format.get(); }
    AVStream *stream() const { return audio; }
    int64_t fileSize() const;
    // Where the demuxer stood once it had read the headers: the start of the audio data
    // in files that keep it in one piece (WAV, AIFF).
    int64_t dataStart() const { return headerEnd; }
    // Whether the audio is PCM in one piece from dataStart() on, a fixed size per frame.
    bool pcmInOnePiece() const;
    // Which tag parser fits, from the demuxer and the codec.
    TagLayout tagLayout() const;

private:
    struct IoDeleter {
        void operator()(AVIOContext *io) const;
    };
    struct FormatDeleter {
        void operator()(AVFormatContext *context) const;
    };

    explicit AvInput(ByteSource &input) : source(input) {}
    AudioResult openWith(const AVInputFormat *demuxer);

    ByteSource &source;
    std::unique_ptr<AVIOContext, IoDeleter> io;
    std::unique_ptr<AVFormatContext, FormatDeleter> format;  // reads through `io`
    AVStream *audio = nullptr;
    int64_t headerEnd = 0;
};

}  // namespace zuna
