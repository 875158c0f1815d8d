#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zuna {

// A ring of float samples between one producer thread and one consumer thread. The copies
// in and out take no lock: the producer stages samples into free space and then publishes
// them; the consumer claims published samples, copies them out and so frees their space.
// Counts run on from the start (they never wrap), so "how much" is a subtraction.
//
// publish(), claim() and drain() need nothing among themselves. Taking audio back
// (truncate(), clear()) moves the published end under the consumer's feet, so the owner
// serializes those with publish() and claim(); the copies, stage() and drain(), never wait.
// A take-back never touches samples the consumer has claimed, and a publish() after one
// drops what was staged before it, so a seek or a withdrawal cannot race a copy.
class SpscRing {
public:
    explicit SpscRing(size_t capacity);

    size_t capacity() const { return cells.size(); }
    // Published samples the consumer has not claimed yet.
    size_t fill() const;

    // Producer: the room left, counting what is staged and what is claimed but not drained.
    size_t room() const;
    // Copies up to room() samples behind what is published and staged; returns how many.
    size_t stage(const float *samples, size_t count);
    // Hands what is staged to the consumer. False (and the staged samples are gone) when a
    // take-back came in since the first of them was staged.
    bool publish();
    // Forgets what is staged.
    void unstage();

    // Consumer: claims up to `most` published samples; drain() copies them to `out` and
    // frees their space. One claim is drained before the next.
    size_t claim(size_t most);
    void drain(float *out);

    // Owner: keeps the first `keep` published, unclaimed samples and drops the rest.
    void truncate(size_t keep);
    void clear() { truncate(0); }

private:
    void copyIn(uint64_t at, const float *samples, size_t count);

    std::vector<float> cells;
    std::atomic<uint64_t> published{0};  // end of what the consumer may claim
    std::atomic<uint64_t> claimed{0};    // end of what the consumer claimed
    std::atomic<uint64_t> drained{0};    // end of what the consumer copied out: free behind it
    // The producer's own: where its staging began and how much it staged.
    uint64_t stageStart = 0;
    size_t staged = 0;
};

}  // namespace zuna
