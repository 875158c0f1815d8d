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

namespace zuna {

class TrackFile;

// The playing state behind an AudioChannel: a feeder thread decodes ahead into a ring
// buffer, and the output's thread renders from it, applying volume and mute. The output
// thread never waits on disk I/O; it only takes the ring's lock for a copy.
//
// A second track may be queued behind the one heard: once the first is decoded to its end
// the feeder goes straight on into the second, so its first frame follows the last frame of
// the first in the ring, with no gap. The channel counts what the listener has heard and
// tells its end listener, from the feeder's thread, each time a track has been heard to its
// end, whether another follows or not.
//
// Threads: the controlling thread (the engine's) calls everything but render() and
// played(); the output's thread calls those two; the feeder thread is private. The channel
// shares ownership of its tracks, so nothing it decodes from can go away under it.
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
    // (its audio leaves the ring).
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
    bool muted() const { return isMuted.load(); }
    void setVolume(float volume);
    float volume() const { return gainSetting.load(); }

private:
    static constexpr int64_t kUnknown = INT64_MAX;

    void feed();
    void restartAt(int64_t frame);  // the ring and the counts of a run that begins at `frame`
    void decodeChunk(std::vector<float> &chunk, std::unique_lock<std::mutex> &lock);
    void trackDecoded();
    bool passedBoundaries();  // whether the listener has heard a track to its end since last asked
    void push(const float *samples, size_t count);
    void dropQueuedAudio();
    void applyGain(float *samples, size_t frames);
    void gainChanged();

    const int channels;
    const int sampleRate;
    const EndListener onTrackEnd;
    std::unique_ptr<Output> output;
    std::thread feeder;

    // Times below are in frames of the run that began at the last seek (or the start):
    // `rendered` went to the output, `heard` of those reached the listener, `pushed` went
    // into the ring, and the track heard now ends at `boundary` (once known).
    mutable std::mutex mutex;            // guards the block below
    std::condition_variable wake;        // tells the feeder there is room, a seek, an end or a stop
    std::shared_ptr<TrackFile> current;  // heard now
    std::shared_ptr<TrackFile> next;     // queued after it
    std::shared_ptr<TrackFile> retired;  // heard to its end; let go on the feeder's thread
    bool feedingNext = false;            // the feeder has gone on into `next`
    bool rewindNext = false;
    std::vector<float> ring;
    size_t ringRead = 0;       // in samples
    size_t ringFill = 0;       // in samples
    bool decoderDone = false;  // nothing more will come into the ring
    bool stopping = false;
    bool seekPending = false;
    int64_t seekTarget = 0;
    uint64_t generation = 0;  // bumped by every seek or withdrawal: stale audio is dropped
    int64_t base = 0;         // frame of the current track where the run began
    int64_t rendered = 0;
    int64_t heard = 0;
    int64_t pushed = 0;
    int64_t boundary = kUnknown;  // where the current track ends
    int64_t nextEnd = kUnknown;   // where the queued one ends, once the feeder is through it
    int endsToReport = 0;
    bool lastEndReported = false;
    bool stopped = false;

    std::atomic<bool> isPaused{false};
    std::atomic<bool> isMuted{false};
    std::atomic<float> gainSetting{1.0f};
    // The device applies the gain (to what it holds already, too), and render() does not.
    std::atomic<bool> deviceGain{false};
    float gain = 0.0f;  // the gain applied right now; output thread only
    bool gainPrimed = false;
};

}  // namespace zuna
