#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "audio/audioformat.h"
#include "audio/audioresult.h"
#include "audio/tag.h"

class ChannelCore;
class OutputDriver;
class TrackFile;

// One opened audio file: its kind, PCM format, exact length and tags. Opening reads
// headers only; audio is decoded once the stream is played. Destroying the stream (the
// "release") ends its playback at once.
class AudioStream {
public:
    ~AudioStream();
    AudioStream(const AudioStream &) = delete;
    AudioStream &operator=(const AudioStream &) = delete;

    // Known from opening: these read nothing and never wait for playback.
    SoundType type() const;
    AudioFormat format() const;
    int64_t lengthFrames() const;
    uint32_t lengthMs() const;

    // Tags are read on first use, so playback never pays for them.
    int tagCount();
    const Tag *tag(int index);  // nullptr for an index out of range

private:
    friend class AudioSystem;  // opens streams and has them played
    explicit AudioStream(std::unique_ptr<TrackFile> opened);

    // Plays the stream from its start on a new channel of `driver`, ending any playback of
    // it that came before. Results: those of ChannelCore::start; Corrupt when the stream
    // cannot be rewound for a second play.
    AudioResult startOn(OutputDriver &driver, bool paused, std::shared_ptr<ChannelCore> *core);
    void stopPlaying();

    std::shared_ptr<TrackFile> track;
    std::shared_ptr<ChannelCore> channel;  // playing this stream, if any
    bool rewindFirst = false;              // a second play must start from the start again
    std::optional<std::vector<Tag>> tags;
};
