#pragma once

#include <vector>

struct AVFrame;

namespace zuna {

// Appends the frames of `frame` from frame `first` on to `out`, as interleaved 32-bit
// float in [-1, 1], whatever sample format the codec gave (8 to 64-bit integers, float,
// double; planar or packed). Samples that are not finite numbers, which damaged data can
// make, become silence. Returns false, appending nothing, for a format it does not know.
bool appendInterleaved(const AVFrame &frame, int first, std::vector<float> &out);

}  // namespace zuna
