#pragma once

#include <cstdlib>

namespace zuna {

// Every wall-clock limit in the tests goes through this: sanitizer builds run the same code
// several times slower and set ZUNA_TEST_TIME_SCALE to say how much.
template <typename Duration>
Duration scaled(Duration limit)
{
    const char *scale = std::getenv("ZUNA_TEST_TIME_SCALE");
    return limit * (scale && std::atoi(scale) > 1 ? std::atoi(scale) : 1);
}

inline int scaledMs(int ms)
{
    return scaled(ms);
}

}  // namespace zuna
