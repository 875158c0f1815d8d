#pragma once

// Marks a handoff between threads that Qt makes out of ThreadSanitizer's sight (see
// qthandoff.cpp): everything done before a release on an object is visible after an
// acquire on the same object. Nothing at all outside ThreadSanitizer builds.
#if defined(__SANITIZE_THREAD__)
void tsanHandoffRelease(const void *on);
void tsanHandoffAcquire(const void *on);
#else
inline void tsanHandoffRelease(const void *) {}
inline void tsanHandoffAcquire(const void *) {}
#endif
