#pragma once

#include <cstdint>

namespace zuna {

// What of the audio written to a sound server the listener has heard by now, worked out
// from what the server says is still ahead of the listener (its buffer and the device's).
// Times are microseconds of any steady clock; amounts are frames, counted from the last
// discard(). Not thread-safe: the output calls it under its own lock.
class StreamClock {
public:
    explicit StreamClock(int rate) : sampleRate(rate) {}

    // `frames` more real frames were written, after all written before.
    void wrote(int64_t frames);
    // The server threw away all it held: nothing written so far will be heard.
    void discard();
    // The server's word, as of `nowUs`: `aheadUs` of what was written is not heard yet.
    void ahead(int64_t aheadUs, int64_t nowUs);
    // The server has handed all that was written to the device. Its word stops moving then
    // (it no longer counts the device's own buffer down), so what was still ahead plays out
    // by the clock from `nowUs`, until more is written.
    void drained(int64_t nowUs);
    // Paused streams hear nothing more, also while draining.
    void setPaused(bool paused, int64_t nowUs);

    // Frames heard since the previous call, as of `nowUs`.
    int64_t takeHeard(int64_t nowUs);
    int64_t heardFrames() const { return heard; }
    int64_t writtenFrames() const { return written; }

private:
    void hear(int64_t frames);
    int64_t drainedFrames(int64_t nowUs) const;

    const int sampleRate;
    int64_t written = 0;
    int64_t heard = 0;
    int64_t taken = 0;
    bool paused = false;
    bool draining = false;
    int64_t drainHeard = 0;    // what had been heard when the draining (re)started
    int64_t drainSinceUs = 0;  // when it (re)started
};

}  // namespace zuna
