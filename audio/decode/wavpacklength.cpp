#include "audio/decode/wavpacklength.h"

#include <cstring>

#include "audio/decode/filereader.h"

namespace zuna {

namespace {
constexpr int kHeaderSize = 32;
constexpr uint32_t kMaxBlockSize = 1u << 20;
constexpr int kMaxEmptyBlocks = 64;  // blocks of metadata only, before the first audio
constexpr uint32_t kMono = 0x4, kFirstBlock = 0x800, kLastBlock = 0x1000, kDsd = 0x80000000u;
constexpr uint32_t kUnknownTotal = 0xFFFFFFFFu;
constexpr int kRates[16] = {6000,  8000,  9600,  11025, 12000, 16000, 22050,  24000,
                            32000, 44100, 48000, 64000, 88200, 96000, 192000, -1};

uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
}  // namespace

std::optional<StatedLength> wavpackStatedLength(FileReader &file)
{
    int64_t at = 0;
    for (int block = 0; block < kMaxEmptyBlocks; ++block) {
        uint8_t h[kHeaderSize];
        if (file.readAt(at, h, sizeof h) != long(sizeof h) || std::memcmp(h, "wvpk", 4) != 0)
            return std::nullopt;
        const uint32_t size = le32(h + 4);
        const unsigned version = h[8] | h[9] << 8;
        if (size < 24 || size > kMaxBlockSize || version < 0x402 || version > 0x410)
            return std::nullopt;
        const uint32_t total = le32(h + 12), index = le32(h + 16), samples = le32(h + 20);
        const uint32_t flags = le32(h + 24);
        if (samples == 0) {
            at += int64_t(size) + 8;
            continue;
        }
        const int rate = kRates[(flags >> 23) & 0xF];
        // Bytes 10 and 11 extend the index and the total past 32 bits, where FFmpeg stops.
        if (h[10] != 0 || h[11] != 0 || index != 0 || total == 0 || total == kUnknownTotal ||
            (flags & kDsd) || (flags & (kFirstBlock | kLastBlock)) != (kFirstBlock | kLastBlock) ||
            rate < 0)
            return std::nullopt;
        StatedLength stated;
        stated.format = AudioFormat{rate, (flags & kMono) ? 1 : 2};
        stated.frames = int64_t(total);
        stated.tags = TagLayout::WavPack;
        return stated;
    }
    return std::nullopt;
}

}  // namespace zuna
