#pragma once

#include <memory>

#include "audio/output/output.h"

namespace zuna {

// The sound device of the desktop: the sound server when one answers, otherwise SDL2
// (plain ALSA and the like). When SDL_AUDIODRIVER names a driver, SDL2 alone plays, on it.
// Chosen for each output opened, so that a server that comes or goes is followed.
std::unique_ptr<OutputDriver> makeSystemOutputDriver();

}  // namespace zuna
