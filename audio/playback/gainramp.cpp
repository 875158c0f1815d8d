#include "audio/playback/gainramp.h"

#include <algorithm>

namespace zuna {

namespace {
// Volume and mute changes glide over this long, so they never click.
constexpr double kRampSeconds = 0.010;
}  // namespace

GainRamp::GainRamp(int rate, int channelCount)
    : channels(channelCount), step(float(1.0 / (kRampSeconds * rate)))
{
}

void GainRamp::apply(float *samples, size_t frames)
{
    if (deviceGain.load())
        return;
    const float wanted = target();
    if (!primed) {
        gain = wanted;
        primed = true;
    }
    for (size_t i = 0; i < frames; ++i) {
        if (gain < wanted)
            gain = std::min(wanted, gain + step);
        else if (gain > wanted)
            gain = std::max(wanted, gain - step);
        for (int c = 0; c < channels; ++c)
            *samples++ *= gain;
    }
}

}  // namespace zuna
