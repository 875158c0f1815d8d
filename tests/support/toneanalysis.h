#pragma once

#include <cstddef>
#include <vector>

// What a stretch of recorded sound is: a sine's frequency (from its rising zero
// crossings), its peak and its RMS level, measured on one channel.
struct ToneStats {
    double frequency = 0;
    double peak = 0;
    double rms = 0;
};

ToneStats analyseTone(const std::vector<float> &interleaved, int channels, int rate,
                      int channel = 0);

// The frames [from, to) of an interleaved buffer.
std::vector<float> sliceFrames(const std::vector<float> &interleaved, int channels, size_t from,
                               size_t to);

// Largest absolute sample value.
double peakOf(const std::vector<float> &samples);
