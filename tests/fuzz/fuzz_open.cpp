// libFuzzer target: arbitrary bytes opened as a stream, as the playlist reads a file.

#include <cstdio>
#include <cstdlib>

#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string problem = openAndDescribe(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "open: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
