#pragma once

#include <atomic>
#include <cstddef>

namespace zuna {

// The level a channel plays at: the volume and mute settings, any thread may change them,
// and the gain the output's thread applies to each frame as it renders, which glides toward
// the setting so that a change never clicks. When the device sets the level itself (to
// what it holds already, too), the sound goes out unscaled.
class GainRamp {
public:
    GainRamp(int rate, int channels);

    void setVolume(float volume) { volumeSetting.store(volume); }
    float volume() const { return volumeSetting.load(); }
    void setMuted(bool muted) { isMuted.store(muted); }
    bool muted() const { return isMuted.load(); }
    // What the settings ask for: 0 when muted, the volume otherwise.
    float target() const { return isMuted.load() ? 0.0f : volumeSetting.load(); }
    void setDeviceGain(bool device) { deviceGain.store(device); }

    // Scales `frames` interleaved frames in place; the output's thread only. The first call
    // starts at the setting, later ones move toward it by a step per frame.
    void apply(float *samples, size_t frames);

private:
    const int channels;
    const float step;  // per frame
    std::atomic<float> volumeSetting{1.0f};
    std::atomic<bool> isMuted{false};
    std::atomic<bool> deviceGain{false};
    float gain = 0.0f;  // applied to the last frame
    bool primed = false;
};

}  // namespace zuna
