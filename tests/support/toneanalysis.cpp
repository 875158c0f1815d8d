#include "support/toneanalysis.h"

#include <algorithm>
#include <cmath>

ToneStats analyseTone(const std::vector<float> &interleaved, int channels, int rate, int channel)
{
    ToneStats stats;
    const size_t frames = interleaved.size() / size_t(channels);
    double sumSquares = 0;
    double firstCrossing = -1;
    double lastCrossing = -1;
    int crossings = 0;
    for (size_t i = 0; i < frames; ++i) {
        const double x = interleaved[i * size_t(channels) + size_t(channel)];
        stats.peak = std::max(stats.peak, std::fabs(x));
        sumSquares += x * x;
        if (i == 0)
            continue;
        const double previous = interleaved[(i - 1) * size_t(channels) + size_t(channel)];
        if (previous < 0 && x >= 0) {
            // Interpolate where the wave crosses zero, for sub-sample accuracy.
            const double at = double(i - 1) + (-previous) / (x - previous);
            if (firstCrossing < 0)
                firstCrossing = at;
            lastCrossing = at;
            ++crossings;
        }
    }
    if (frames > 0)
        stats.rms = std::sqrt(sumSquares / double(frames));
    if (crossings >= 2 && lastCrossing > firstCrossing)
        stats.frequency = double(crossings - 1) * rate / (lastCrossing - firstCrossing);
    return stats;
}

std::vector<float> sliceFrames(const std::vector<float> &interleaved, int channels, size_t from,
                               size_t to)
{
    const size_t frames = interleaved.size() / size_t(channels);
    to = std::min(to, frames);
    from = std::min(from, to);
    return std::vector<float>(interleaved.begin() + long(from * size_t(channels)),
                              interleaved.begin() + long(to * size_t(channels)));
}

double peakOf(const std::vector<float> &samples)
{
    double peak = 0;
    for (float s : samples)
        peak = std::max(peak, double(std::fabs(s)));
    return peak;
}
