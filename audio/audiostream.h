#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "audio/audioformat.h"
#include "audio/tagreader.h"

class ChannelCore;
class Decoder;
class FileReader;

// One opened audio file: its kind, PCM format, exact length and tags. Opening reads
// headers only; audio is decoded once the stream is played. Destroying the stream (the
// "release") ends its playback at once.
class AudioStream {
public:
    ~AudioStream();
    AudioStream(const AudioStream &) = delete;
    AudioStream &operator=(const AudioStream &) = delete;

    SoundType type() const { return soundType; }
    AudioFormat format() const;
    int64_t lengthFrames() const;
    uint32_t lengthMs() const;

    // Tags are read on first use, so playback never pays for them.
    int tagCount();
    const Tag *tag(int index);  // nullptr for an index out of range

private:
    friend class AudioSystem;
    AudioStream(SoundType type, std::unique_ptr<FileReader> file, std::unique_ptr<Decoder> decoder);

    SoundType soundType;
    std::unique_ptr<FileReader> file;
    std::unique_ptr<Decoder> decoder;      // reads through `file`
    std::shared_ptr<ChannelCore> channel;  // decodes through `decoder`; goes first
    std::optional<std::vector<Tag>> tags;
    bool played = false;  // a second play() must rewind the decoder first
};
