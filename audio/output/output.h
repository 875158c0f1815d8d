#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "audio/audioformat.h"
#include "audio/audioresult.h"

namespace zuna {

// What an output pulls sound from. Both calls come on the output's own thread (the sound
// card's callback for a real device) and must not block on I/O.
class RenderSource {
public:
    virtual ~RenderSource() = default;

    // Writes up to `frames` frames of interleaved float PCM to `out` and returns how many
    // are real audio; the output fills the rest with silence. `ended` becomes true once
    // the source has nothing more to give, ever.
    virtual size_t render(float *out, size_t frames, bool *ended) = 0;

    // `frames` real frames rendered earlier have now reached the listener, in the order
    // they were rendered.
    virtual void played(size_t frames) = 0;
};

// One open sound output playing one source. It opens paused.
class Output {
public:
    virtual ~Output() = default;  // stops pulling before it returns

    virtual void setPaused(bool paused) = 0;

    // Throws away what the device holds and has not played yet (a seek starts at once).
    // `forget` runs meanwhile, while nothing can be rendered, so nothing rendered before it
    // is heard after it. A device holding no more than it is playing has nothing to drop.
    virtual void discard(const std::function<void()> &forget) { forget(); }

    // Plays at `gain` (linear, 0 for silence) from now on, what the device holds already
    // included. False when it cannot: then the source applies the gain as it renders.
    virtual bool setGain(float gain)
    {
        (void)gain;
        return false;
    }

    // True once the device is gone (unplugged, its sound server died): it will never pull
    // again, so whatever plays on it has ended. Called from any thread; must not block.
    virtual bool failed() const = 0;
};

// A kind of sound device that opens outputs. Creating one must not touch any device;
// only openOutput() does.
class OutputDriver {
public:
    virtual ~OutputDriver() = default;

    // Opens an output for `format`, paused, pulling from `source`, which must outlive it.
    // Results: Ok; NoDevice when no device can be opened for it.
    virtual AudioResult openOutput(const AudioFormat &format, RenderSource &source,
                                   std::unique_ptr<Output> *output) = 0;
};

}  // namespace zuna
