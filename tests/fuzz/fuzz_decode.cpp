// libFuzzer target: arbitrary bytes decoded to the end, with seeks, as playback does.

#include <cstdio>
#include <cstdlib>

#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string problem = decodeWithSeeks(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "decode: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
