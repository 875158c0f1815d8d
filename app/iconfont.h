#pragma once

namespace zuna {

// Registers the embedded icon font "Corvane Lite" that draws the transport, settings and
// new-playlist buttons. Call once before the first window is built. Returns false if the
// font could not be loaded (the buttons then show plain characters).
bool registerIconFont();

}  // namespace zuna
