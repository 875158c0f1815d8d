#pragma once

#include <cstddef>
#include <cstdint>

namespace zuna {

// The modes of a Vorbis stream, which tell each audio packet's window and so its duration,
// found as FFmpeg finds them: read backwards from the end of the setup header, where the
// mode entries are, without decoding the codebooks before them.
class VorbisModes {
public:
    // False for a setup header FFmpeg's parser refuses.
    bool read(const uint8_t *setup, size_t size);

    // Samples the packet starting with byte `first` adds, as FFmpeg's parser counts them
    // given the previous packet's window size (`*previous`, updated); 0 for a header packet,
    // -1 for a mode the stream does not have.
    int duration(uint8_t first, const int blockSizes[2], int *previous) const;

private:
    int count = 0;
    unsigned modeMask = 0;
    unsigned previousMask = 0;
    bool longWindow[64] = {};
};

}  // namespace zuna
