#include "audio/playback/spscring.h"

#include <algorithm>
#include <utility>

namespace zuna {

SpscRing::SpscRing(size_t capacity) : cells(capacity) {}

size_t SpscRing::fill() const
{
    return size_t(published.load(std::memory_order_acquire) -
                  claimed.load(std::memory_order_acquire));
}

size_t SpscRing::room() const
{
    // Free space starts where the consumer's last copy ended and ends where the producer
    // writes next (past a take-back, that is where its staging began).
    const uint64_t end =
        staged > 0 ? stageStart + staged : published.load(std::memory_order_acquire);
    const uint64_t used = end - drained.load(std::memory_order_acquire);
    return cells.size() - size_t(std::min<uint64_t>(used, cells.size()));
}

void SpscRing::copyIn(uint64_t at, const float *samples, size_t count)
{
    for (size_t done = 0; done < count;) {
        const size_t slot = size_t((at + done) % cells.size());
        const size_t n = std::min(count - done, cells.size() - slot);
        std::copy(samples + done, samples + done + n, cells.begin() + long(slot));
        done += n;
    }
}

size_t SpscRing::stage(const float *samples, size_t count)
{
    if (staged == 0)
        stageStart = published.load(std::memory_order_acquire);
    count = std::min(count, room());
    copyIn(stageStart + staged, samples, count);
    staged += count;
    return count;
}

bool SpscRing::publish()
{
    const size_t count = std::exchange(staged, 0);
    const uint64_t end = published.load(std::memory_order_relaxed);
    if (end != stageStart)
        return false;  // taken back meanwhile: the staged samples lie past the new end
    published.store(end + count, std::memory_order_release);
    return true;
}

size_t SpscRing::claim(size_t most)
{
    const uint64_t from = claimed.load(std::memory_order_relaxed);
    const size_t count = std::min(most, size_t(published.load(std::memory_order_acquire) - from));
    claimed.store(from + count, std::memory_order_release);
    return count;
}

void SpscRing::drain(float *out)
{
    const uint64_t from = drained.load(std::memory_order_relaxed);
    const uint64_t to = claimed.load(std::memory_order_relaxed);
    for (uint64_t at = from; at < to;) {
        const size_t slot = size_t(at % cells.size());
        const size_t n = size_t(std::min<uint64_t>(to - at, cells.size() - slot));
        std::copy(cells.begin() + long(slot), cells.begin() + long(slot + n), out);
        out += n;
        at += n;
    }
    drained.store(to, std::memory_order_release);
}

void SpscRing::unstage()
{
    staged = 0;
}

void SpscRing::truncate(size_t keep)
{
    const uint64_t from = claimed.load(std::memory_order_acquire);
    const uint64_t end = published.load(std::memory_order_relaxed);
    published.store(std::min<uint64_t>(end, from + keep), std::memory_order_release);
}

}  // namespace zuna
