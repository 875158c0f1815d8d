#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/output/output.h"

class TrackFile;

// The playing state behind an AudioChannel: a feeder thread decodes ahead into a ring
// buffer, and the output's thread renders from it, applying volume and mute. The output
// thread never waits on disk I/O; it only takes the ring's lock for a copy.
//
// Threads: the controlling thread (the engine's) calls everything but render() and
// played(); the output's thread calls those two; the feeder thread is private. The channel
// shares ownership of its track, so nothing it decodes from can go away under it.
class ChannelCore : public RenderSource {
public:
    explicit ChannelCore(std::shared_ptr<TrackFile> playing);
    ~ChannelCore() override;

    // Decodes the first audio from where the track's decoder stands, opens an output on
    // `driver` and, unless `paused`, lets it pull. Results: Ok; NoDevice (from the driver).
    AudioResult start(OutputDriver &driver, bool paused);

    // Ends playback at once: the output stops pulling and the feeder stops. Idempotent.
    void stop();

    size_t render(float *out, size_t frames, bool *ended) override;
    void played(size_t frames) override;

    // False once the last frame has been heard, after stop(), or once the output failed.
    bool isPlaying() const;
    int64_t positionFrames() const;
    // False for a frame outside the track or a channel that has stopped.
    bool seek(int64_t frame);
    int rate() const { return sampleRate; }

    void setPaused(bool paused);
    bool paused() const { return isPaused.load(); }
    void setMuted(bool muted) { isMuted.store(muted); }
    bool muted() const { return isMuted.load(); }
    void setVolume(float volume) { gainSetting.store(volume); }
    float volume() const { return gainSetting.load(); }

private:
    void feed();
    void decodeChunk(std::vector<float> &chunk, std::unique_lock<std::mutex> &lock);
    void push(const float *samples, size_t count);
    void applyGain(float *samples, size_t frames);

    const std::shared_ptr<TrackFile> track;
    const int channels;
    const int sampleRate;
    const int64_t lengthFrames;
    std::unique_ptr<Output> output;
    std::thread feeder;

    mutable std::mutex mutex;      // guards the block below
    std::condition_variable wake;  // tells the feeder there is room, a seek, or the end
    std::vector<float> ring;
    size_t ringRead = 0;  // in samples
    size_t ringFill = 0;  // in samples
    bool decoderDone = false;
    bool stopping = false;
    bool seekPending = false;
    int64_t seekTarget = 0;
    uint64_t generation = 0;  // bumped by every seek, so stale decoded audio is dropped
    int64_t base = 0;         // track frame where the current run of rendering began
    int64_t rendered = 0;     // real frames rendered since `base`
    int64_t heard = 0;        // of those, the frames the listener has heard
    bool stopped = false;

    std::atomic<bool> isPaused{false};
    std::atomic<bool> isMuted{false};
    std::atomic<float> gainSetting{1.0f};
    float gain = 0.0f;  // the gain applied right now; output thread only
    bool gainPrimed = false;
};
