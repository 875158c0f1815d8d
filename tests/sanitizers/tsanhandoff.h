#pragma once

// What was done before a release on an object is seen after an acquire on it (qthandoff.cpp).
#if defined(__SANITIZE_THREAD__)
void tsanHandoffRelease(const void *on);
void tsanHandoffAcquire(const void *on);
#else
inline void tsanHandoffRelease(const void *) {}
inline void tsanHandoffAcquire(const void *) {}
#endif
