#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/output/output.h"
#include "audio/playback/gainramp.h"
#include "audio/playback/spscring.h"
#include "audio/playback/timeline.h"

namespace zuna {

class TrackFile;

// The playing state behind an AudioChannel: a feeder thread decodes ahead into a ring
// buffer, and the output's thread renders from it, applying volume and mute. The output
// thread never waits on disk I/O or on a copy of the feeder's; it takes the channel's lock
// for a little bookkeeping only.
//
// A second track may be queued behind the one heard: once the first is decoded to its end
// the feeder goes straight on into the second, so its first frame follows the last frame of
// the first in the ring, with no gap. The channel counts what the listener has heard and
// tells its end listener, from the feeder's thread, each time a track has been heard to its
// end, whether another follows or not.
//
// Threads: the controlling thread (the engine's) calls everything but render() and
// played(); the output's thread calls those two; the feeder thread is private. The channel
// shares ownership of its tracks, so nothing it decodes from can go away under it, and a
// track's decoder is the feeder's only while the channel holds the track: release() returns
// once the feeder has left it.
class ChannelCore : public RenderSource {
public:
    using EndListener = std::function<void()>;

    ChannelCore(std::shared_ptr<TrackFile> first, EndListener onTrackEnd);
    ~ChannelCore() override;

    // Decodes the first audio from where the track's decoder stands, opens an output on
    // `driver` and, unless `paused`, lets it pull. Results: Ok; NoDevice (from the driver).
    AudioResult start(OutputDriver &driver, bool paused);

    // Ends playback at once: the output stops pulling and the feeder stops. Idempotent.
    void stop();

    // Queues `next` to follow the track heard now, replacing what was queued; `rewind`: its
    // decoder was used before and must go back to the start first. Results: Ok;
    // Unsupported when its PCM format is not the output's; InvalidHandle once the channel
    // has stopped or played its last track out.
    AudioResult queue(std::shared_ptr<TrackFile> next, bool rewind);
    // Ends what `track` has to do with this channel: the channel stops if it is the track
    // heard now; if it is queued it is taken back, even once the feeder has gone on into it
    // (its audio leaves the ring). Either way no read of its decoder is under way once this
    // returns, and none follows: the caller may use the decoder.
    void release(const TrackFile &track);
    // Whether `track` is the one the listener hears now.
    bool hears(const TrackFile &track) const;

    size_t render(float *out, size_t frames, bool *ended) override;
    void played(size_t frames) override;

    // False once the last frame has been heard, after stop(), or once the output failed.
    bool isPlaying() const;
    int64_t positionFrames() const;  // within the track heard now
    // False for a frame outside the track heard now or a channel that has stopped.
    bool seek(int64_t frame);
    int rate() const { return sampleRate; }

    void setPaused(bool paused);
    bool paused() const { return isPaused.load(); }
    void setMuted(bool muted);
    bool muted() const { return gain.muted(); }
    void setVolume(float volume);
    float volume() const { return gain.volume(); }

private:
    // How far the channel has come. Stopped is for good: the feeder leaves, and calls that
    // would play on refuse.
    enum class Phase {
        Opening,  // start() decodes the first audio on the caller's thread; no feeder yet
        Playing,  // the feeder runs and the output pulls (or waits, paused)
        Stopped,  // by stop(), or because no output could be opened
    };

    void feed();
    void restartAt(int64_t frame);  // the ring and the counts of a run that begins at `frame`
    void decodeChunk(std::vector<float> &chunk, std::unique_lock<std::mutex> &lock);
    void trackDecoded();
    void takeNote(Timeline::Passed passed);
    void withdrawQueued();
    void leftDecoder();
    void gainChanged();

    const int channels;
    const int sampleRate;
    const EndListener onTrackEnd;
    std::unique_ptr<Output> output;
    std::thread feeder;
    SpscRing ring;  // its copies in and out run outside the lock
    GainRamp gain;
    std::atomic<bool> isPaused{false};

    mutable std::mutex mutex;          // guards the block below, and the ring's index moves
    std::condition_variable wake;      // tells the feeder there is room, a seek, an end or a stop
    std::condition_variable leftRead;  // tells release() the feeder has left a decoder
    Phase phase = Phase::Opening;
    Timeline timeline;
    std::shared_ptr<TrackFile> current;  // heard now
    std::shared_ptr<TrackFile> next;     // queued after it
    std::shared_ptr<TrackFile> retired;  // heard to its end; let go on the feeder's thread
    const TrackFile *reading = nullptr;  // whose decoder the feeder uses outside the lock now
    bool rewindNext = false;
    bool decoderDone = false;  // nothing more will come into the ring
    bool seekPending = false;
    int64_t seekTarget = 0;
    uint64_t generation = 0;  // bumped by every seek or withdrawal: stale audio is dropped
    int endsToReport = 0;
};

}  // namespace zuna
