#pragma once

#include <chrono>
#include <cstdlib>

// Every wall-clock limit in the tests goes through this: sanitizer builds run the same code
// several times slower and set ZUNA_TEST_TIME_SCALE to say how much.
inline int timeScale()
{
    const char *scale = std::getenv("ZUNA_TEST_TIME_SCALE");
    const int value = scale ? std::atoi(scale) : 1;
    return value > 1 ? value : 1;
}

template <typename Duration>
Duration scaled(Duration limit)
{
    return limit * timeScale();
}

inline int scaledMs(int ms)
{
    return ms * timeScale();
}
