#include "audio/output/streamclock.h"

#include <algorithm>
#include <utility>

namespace zuna {

void StreamClock::wrote(int64_t frames)
{
    written += frames;
    draining = false;
}

void StreamClock::discard()
{
    written = heard = taken = 0;
    draining = false;
}

void StreamClock::hear(int64_t frames)
{
    // Heard only grows, and never past what was written: a late or rough report cannot
    // take back what was told already.
    heard = std::clamp(frames, heard, written);
}

void StreamClock::ahead(int64_t aheadUs, int64_t nowUs)
{
    if (draining) {
        hear(drainedFrames(nowUs));
        return;
    }
    const int64_t aheadFrames = std::max<int64_t>(0, aheadUs) * sampleRate / 1000000;
    hear(written - aheadFrames);
}

int64_t StreamClock::drainedFrames(int64_t nowUs) const
{
    if (paused)
        return drainHeard;
    return drainHeard + std::max<int64_t>(0, nowUs - drainSinceUs) * sampleRate / 1000000;
}

void StreamClock::drained(int64_t nowUs)
{
    if (draining)
        return;
    draining = true;
    drainHeard = heard;
    drainSinceUs = nowUs;
}

void StreamClock::setPaused(bool pause, int64_t nowUs)
{
    if (pause == paused)
        return;
    if (draining) {
        hear(drainedFrames(nowUs));
        drainHeard = heard;
        drainSinceUs = nowUs;
    }
    paused = pause;
}

int64_t StreamClock::takeHeard(int64_t nowUs)
{
    if (draining)
        hear(drainedFrames(nowUs));
    return heard - std::exchange(taken, heard);
}

}  // namespace zuna
