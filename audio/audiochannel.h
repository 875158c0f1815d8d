#pragma once

#include <cstdint>
#include <memory>

#include "audio/audioresult.h"

namespace zuna {

class AudioStream;
class ChannelCore;

// A handle to the channel a stream plays on. Positions are milliseconds here, frames
// inside the layer, and refer to the stream heard now. The handle stays safe to use after
// its stream was released or the channel reached its end: calls then fail with
// InvalidHandle and queries read not playing, not paused, not muted, position 0. A
// default-constructed handle is such a channel from the start.
class AudioChannel {
public:
    AudioChannel() = default;

    bool isPlaying() const;  // also true while paused; false once the last frame was heard

    uint32_t position() const;  // what the listener hears now, in ms
    AudioResult setPosition(uint32_t ms);

    bool paused() const;
    AudioResult setPaused(bool paused);

    bool muted() const;  // a muted channel plays silence while its position runs on
    AudioResult setMuted(bool muted);

    float volume() const;  // gain from 0.0 to 1.0
    AudioResult setVolume(float volume);

    // Queues `next` to follow the stream heard now, with not a frame between them, in place
    // of what was queued before. When its turn comes, plays() tells, and the system's
    // track-end listener has been called for the one before. Results: Ok; Unsupported when
    // its PCM format is not that of the stream playing (it must be played on its own);
    // InvalidHandle when the channel has nothing more to play.
    AudioResult queue(AudioStream &next);
    // Whether the listener hears `stream` now.
    bool plays(const AudioStream &stream) const;

private:
    friend class AudioSystem;
    explicit AudioChannel(std::weak_ptr<ChannelCore> playing) : core(std::move(playing)) {}
    std::shared_ptr<ChannelCore> live() const;

    std::weak_ptr<ChannelCore> core;
};

}  // namespace zuna
