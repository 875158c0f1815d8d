#pragma once

#include <memory>

#include "audio/output/output.h"

namespace zuna {

// The real sound device, through SDL2 (PulseAudio, PipeWire, ALSA, or whatever driver
// SDL_AUDIODRIVER names). SDL2 itself is loaded when the first output opens.
std::unique_ptr<OutputDriver> makeSdlOutputDriver();

}  // namespace zuna
