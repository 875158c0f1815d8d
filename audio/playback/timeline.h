#pragma once

#include <cstdint>

namespace zuna {

// Where a channel's listener is, in frames, and when a track has been heard to its end: pure
// arithmetic over what the feeder pushed, what the output rendered and what it says was
// heard. Counts run from the start of the current run (the start or the last seek): `pushed`
// went into the ring, `rendered` of those went to the output, `heard` of those reached the
// listener. The track heard now ends at `boundary`, once it is decoded to its end; the one
// queued behind it at `queuedEnd`, once the feeder went on into it and through it. When the
// listener passes a boundary into the queued track, that becomes the current one and the
// counts start again from its first frame. Not thread-safe: the channel calls it under its
// lock.
class Timeline {
public:
    static constexpr int64_t kUnknown = INT64_MAX;

    // What hearing more frames did: went on from the current track into the queued one, and
    // how many tracks were heard to their end (that one, or the last one, or none).
    struct Passed {
        bool wentOn = false;
        int ends = 0;
    };

    // A run that begins at frame `at` of the current track: nothing pushed, rendered or
    // heard, no end known. True when the feeder had gone on into the queued track, whose
    // audio is gone with the rest.
    bool restart(int64_t at);

    void pushed(int64_t frames) { pushedFrames += frames; }
    void rendered(int64_t frames) { renderedFrames += frames; }
    // Frames rendered before a seek may still arrive; they count no further than what was
    // rendered since.
    Passed played(int64_t frames);

    // The track the feeder decodes ends with what it pushed so far. For the current track,
    // `queuedFollows`: the feeder goes straight on into the queued one.
    Passed decodedToEnd(bool queuedFollows);
    // The feeder goes on from the current track into the queued one: its first frame comes
    // right after the last pushed.
    void goOnIntoQueued() { intoQueued = true; }
    bool feedingQueued() const { return intoQueued; }
    // The queued track is taken back. Returns how many frames the ring keeps: those of the
    // current track not rendered yet (what lies past its end goes).
    int64_t withdrawQueued();

    int64_t position() const { return base + heardFrames; }  // within the current track
    int64_t aheadOfHeard() const { return pushedFrames - heardFrames; }
    bool allHeard() const { return heardFrames >= renderedFrames; }
    // The last track was heard to its end; nothing can follow it any more.
    bool lastEnded() const { return lastEnd; }

private:
    Passed passBoundaries();

    int64_t base = 0;  // frame of the current track where the run began
    int64_t pushedFrames = 0;
    int64_t renderedFrames = 0;
    int64_t heardFrames = 0;
    int64_t boundary = kUnknown;
    int64_t queuedEnd = kUnknown;
    bool intoQueued = false;
    bool lastEnd = false;
};

}  // namespace zuna
