#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace zuna {

// What a stretch of recorded sound is, on one channel: a sine's frequency (from its rising
// zero crossings) and its peak.
struct ToneStats {
    double frequency = 0;
    double peak = 0;
};

inline ToneStats analyseTone(const std::vector<float> &interleaved, int channels, int rate,
                             int channel = 0)
{
    ToneStats stats;
    const size_t frames = interleaved.size() / size_t(channels);
    double first = -1, last = -1, before = 0, x = 0;
    int crossings = 0;
    for (size_t i = 0; i < frames; ++i, before = x) {
        x = interleaved[i * size_t(channels) + size_t(channel)];
        stats.peak = std::max(stats.peak, std::fabs(x));
        if (before < 0 && x >= 0) {  // interpolated between the samples, for sub-sample accuracy
            last = double(i - 1) - before / (x - before);
            first = first < 0 ? last : first;
            ++crossings;
        }
    }
    if (crossings >= 2 && last > first)
        stats.frequency = double(crossings - 1) * rate / (last - first);
    return stats;
}

// The frames [from, to) of an interleaved buffer.
inline std::vector<float> sliceFrames(const std::vector<float> &interleaved, int channels,
                                      size_t from, size_t to)
{
    to = std::min(to, interleaved.size() / size_t(channels));
    from = std::min(from, to);
    return std::vector<float>(interleaved.begin() + long(from * size_t(channels)),
                              interleaved.begin() + long(to * size_t(channels)));
}

inline double peakOf(const std::vector<float> &samples)
{
    return analyseTone(samples, 1, 1).peak;
}

}  // namespace zuna
