#include "audio/playback/timeline.h"

#include <algorithm>
#include <utility>

namespace zuna {

bool Timeline::restart(int64_t at)
{
    base = at;
    pushedFrames = renderedFrames = heardFrames = 0;
    boundary = queuedEnd = kUnknown;
    lastEnd = false;
    return std::exchange(intoQueued, false);
}

Timeline::Passed Timeline::played(int64_t frames)
{
    heardFrames = std::min(renderedFrames, heardFrames + frames);
    return passBoundaries();
}

Timeline::Passed Timeline::decodedToEnd(bool queuedFollows)
{
    if (intoQueued) {
        queuedEnd = pushedFrames;
        return {};
    }
    boundary = pushedFrames;
    intoQueued = queuedFollows;
    // The output may have played all of it already, while the end was not yet known.
    return passBoundaries();
}

int64_t Timeline::withdrawQueued()
{
    queuedEnd = kUnknown;
    const int64_t inRing = pushedFrames - renderedFrames;
    if (!std::exchange(intoQueued, false))
        return inRing;
    const int64_t keep = std::clamp<int64_t>(boundary - renderedFrames, 0, inRing);
    pushedFrames = renderedFrames + keep;
    return keep;
}

Timeline::Passed Timeline::passBoundaries()
{
    Passed passed;
    while (heardFrames >= boundary) {
        if (!intoQueued) {
            if (!std::exchange(lastEnd, true))
                ++passed.ends;
            break;
        }
        // The listener is into the queued track: the counts start from its first frame,
        // its end (when already decoded) too.
        const int64_t ended = boundary;
        heardFrames -= ended;
        renderedFrames -= ended;
        pushedFrames -= ended;
        base = 0;
        boundary = queuedEnd == kUnknown ? kUnknown : queuedEnd - ended;
        queuedEnd = kUnknown;
        intoQueued = false;
        passed.wentOn = true;
        ++passed.ends;
    }
    return passed;
}

}  // namespace zuna
