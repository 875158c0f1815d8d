#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "audio/audioformat.h"
#include "audio/audioresult.h"
#include "audio/tag.h"

namespace zuna {

class ChannelCore;
class OutputDriver;
class TrackFile;

// One opened audio file: its kind, PCM format, exact length and tags. Opening reads
// headers only; audio is decoded once the stream is played. Destroying the stream (the
// "release") ends its playback at once, or takes it back from the queue it waits in.
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
    int64_t fileSize() const;  // in bytes, as the file system told at opening

    // Tags are read on first use, so playback never pays for them.
    int tagCount();
    const Tag *tag(int index);  // nullptr for an index out of range

private:
    friend class AudioSystem;   // opens streams and has them played
    friend class AudioChannel;  // queues them, and tells which one is heard
    explicit AudioStream(std::unique_ptr<TrackFile> opened);

    // Plays the stream from its start on a new channel of `driver`, ending whatever it had
    // to do with a channel before. Results: those of ChannelCore::start; Corrupt when the
    // stream cannot be rewound for a second play.
    AudioResult startOn(OutputDriver &driver, bool paused, const std::function<void()> &onTrackEnd,
                        std::shared_ptr<ChannelCore> *core);
    // Queues the stream behind what `core` plays. Results: those of ChannelCore::queue.
    AudioResult queueOn(const std::shared_ptr<ChannelCore> &core);
    void leaveChannel();

    std::shared_ptr<TrackFile> track;
    std::shared_ptr<ChannelCore> channel;  // playing this stream, or holding it queued
    bool rewindFirst = false;              // it was decoded before: start from the start again
    std::optional<std::vector<Tag>> tags;
};

}  // namespace zuna
