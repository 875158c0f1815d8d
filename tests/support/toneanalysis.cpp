#include "support/toneanalysis.h"

#include <algorithm>
#include <cmath>

ToneStats analyseTone(const std::vector<float> &interleaved, int channels, int rate, int channel)
{
    ToneStats stats;
    const size_t frames = interleaved.size() / size_t(channels);
    const auto at = [&](size_t i) {
        return double(interleaved[i * size_t(channels) + size_t(channel)]);
    };
    double sumSquares = 0;
    double firstCrossing = -1;
    double lastCrossing = -1;
    int crossings = 0;
    for (size_t i = 0; i < frames; ++i) {
        const double x = at(i);
        stats.peak = std::max(stats.peak, std::fabs(x));
        sumSquares += x * x;
        if (i > 0 && at(i - 1) < 0 && x >= 0) {
            // Interpolated between the samples, for sub-sample accuracy.
            lastCrossing = double(i - 1) - at(i - 1) / (x - at(i - 1));
            if (firstCrossing < 0)
                firstCrossing = lastCrossing;
            ++crossings;
        }
    }
    stats.rms = frames > 0 ? std::sqrt(sumSquares / double(frames)) : 0;
    if (crossings >= 2 && lastCrossing > firstCrossing)
        stats.frequency = double(crossings - 1) * rate / (lastCrossing - firstCrossing);
    return stats;
}

std::vector<float> sliceFrames(const std::vector<float> &interleaved, int channels, size_t from,
                               size_t to)
{
    to = std::min(to, interleaved.size() / size_t(channels));
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
