#pragma once

#include <cstdint>

namespace zuna {

// What kind of audio a stream holds, decided from its content, never its file name.
enum class SoundType { Other, Mpeg, Flac };

// The PCM shape a decoder produces and an output consumes: interleaved 32-bit float frames.
struct AudioFormat {
    int rate = 0;      // frames per second
    int channels = 0;  // samples per frame

    bool isValid() const { return rate > 0 && channels > 0; }
};

// Frames <-> milliseconds, truncating, in 64-bit so that long files cannot overflow.
inline int64_t framesToMs(int64_t frames, int rate)
{
    return rate > 0 ? frames * 1000 / rate : 0;
}
inline int64_t msToFrames(int64_t ms, int rate)
{
    return ms * rate / 1000;
}

}  // namespace zuna
