#pragma once

#include <memory>

#include "audio/output/output.h"

namespace zuna {

// The sound server (PulseAudio, or PipeWire through its PulseAudio service) through
// libpulse's asynchronous API, with a generous buffer on the server's side so that a busy
// machine never starves the sink. libpulse itself is loaded, and the server reached, when
// the first output opens; a driver that finds no server there opens nothing (NoDevice),
// and asks again at the next output.
std::unique_ptr<OutputDriver> makePulseOutputDriver();

}  // namespace zuna
