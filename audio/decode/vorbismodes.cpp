#include "audio/decode/vorbismodes.h"

#include <cstring>

namespace zuna {

namespace {
// Reads the header's bits from its last one backwards, most significant first: each field
// then comes out with its value, as Vorbis packs fields from the least significant bit.
class BackwardBits {
public:
    BackwardBits(const uint8_t *bytes, size_t size) : data(bytes), total(size * 8) {}
    size_t left() const { return total - at; }
    size_t consumed() const { return at; }
    unsigned take(int count)
    {
        unsigned value = 0;
        for (int i = 0; i < count && at < total; ++i, ++at)
            value = value << 1 | ((data[(total - 1 - at) / 8] >> (7 - at % 8)) & 1u);
        return value;
    }
    void skip(size_t count) { at = count < left() ? at + count : total; }

private:
    const uint8_t *data;
    size_t total;
    size_t at = 0;
};

int log2Floor(unsigned v)
{
    int n = 0;
    while (v >>= 1)
        ++n;
    return n;
}
}  // namespace

bool VorbisModes::read(const uint8_t *setup, size_t size)
{
    count = 0;
    if (size < 7 || setup[0] != 5 || std::memcmp(setup + 1, "vorbis", 6) != 0)
        return false;
    BackwardBits bits(setup, size);
    size_t framing = 0;
    while (bits.left() > 97) {
        if (bits.take(1)) {
            framing = bits.consumed();
            break;
        }
    }
    if (framing == 0)
        return false;
    // Each entry backwards: mapping (8 bits, < 64), transform and window types (16 bits
    // each, zero), block flag; the count (6 bits) before them must match.
    int modes = 0, found = 0;
    while (bits.left() >= 97) {
        if (bits.take(8) > 63 || bits.take(16) || bits.take(16))
            break;
        bits.skip(1);
        if (++modes > 64)
            break;
        BackwardBits ahead = bits;
        if (int(ahead.take(6)) + 1 == modes)
            found = modes;
    }
    if (found == 0 || found > 63)
        return false;
    count = found;
    modeMask = ((1u << (log2Floor(unsigned(count - 1)) + 1)) - 1) << 1;
    previousMask = (modeMask | 1) + 1;
    BackwardBits flags(setup, size);
    flags.skip(framing);
    for (int i = count - 1; i >= 0; --i) {
        flags.skip(40);
        longWindow[i] = flags.take(1) != 0;
    }
    return true;
}

int VorbisModes::duration(uint8_t first, const int blockSizes[2], int *previous) const
{
    if (first & 1)
        return 0;
    const int mode = count == 1 ? 0 : int((first & modeMask) >> 1);
    if (mode >= count)
        return -1;
    int before = *previous;
    if (longWindow[mode])
        before = blockSizes[(first & previousMask) ? 1 : 0];
    const int current = blockSizes[longWindow[mode] ? 1 : 0];
    *previous = current;
    return (before + current) >> 2;
}

}  // namespace zuna
