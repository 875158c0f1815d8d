#pragma once

// Marks a handoff between threads that Qt makes out of ThreadSanitizer's sight (see
// qthandoff.cpp): everything done before a release is visible after the matching acquire.
// Nothing at all outside ThreadSanitizer builds.
#if defined(__SANITIZE_THREAD__)
void tsanHandoffRelease();
void tsanHandoffAcquire();
#else
inline void tsanHandoffRelease() {}
inline void tsanHandoffAcquire() {}
#endif
