#pragma once

#include <functional>
#include <memory>
#include <string>

#include "audio/audiochannel.h"
#include "audio/audioresult.h"
#include "audio/audiostream.h"
#include "audio/output/output.h"

namespace zuna {

class ChannelCore;

// The entry to the audio layer: opens streams from files and plays them on its one
// channel. Creating a system or opening a stream costs microseconds and touches no sound
// device; the device is opened by play(). A system and its streams belong to one thread;
// separate systems are independent.
class AudioSystem {
public:
    // Plays through `outputs`; without them, through the real sound device (SDL2).
    explicit AudioSystem(std::unique_ptr<OutputDriver> outputs = nullptr);
    ~AudioSystem();
    AudioSystem(const AudioSystem &) = delete;
    AudioSystem &operator=(const AudioSystem &) = delete;

    // Opens the file at `path` (bytes in the platform's file-name encoding, as
    // QFile::encodeName gives them). MP3 and FLAC are told apart by content. Results: Ok;
    // CannotOpen, NotAFile, Unsupported, Corrupt (see AudioResult).
    AudioResult openStream(const std::string &path, std::unique_ptr<AudioStream> *stream);

    // Plays `stream` from its start on the system's channel, taking the channel from any
    // stream that had it. With `paused`, the channel waits for setPaused(false), so that
    // volume and mute can be set before the first sample is heard. Results: Ok; NoDevice;
    // Corrupt when a stream played before cannot be rewound.
    AudioResult play(AudioStream &stream, bool paused, AudioChannel *channel);

    // Called each time a stream played on the system's channel has been heard to its end,
    // as soon as its last frame has been (whether a queued one follows or not), and never
    // for one ended by its release or by play(). It runs on a thread of the layer's own,
    // never the caller's: keep it short, and hand the news to the thread that owns the
    // streams. Set it before playing.
    void setTrackEndListener(std::function<void()> listener);

private:
    std::unique_ptr<OutputDriver> driver;
    std::function<void()> onTrackEnd;
    std::weak_ptr<ChannelCore> current;
};

}  // namespace zuna
