#include "audio/decode/mpegheader.h"

#include <cstring>

namespace zuna {

namespace {
// kbit/s by [MPEG 1 or not][layer - 1][bitrate index]
constexpr int kBitrates[2][3][16] = {
    {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},  // MPEG 2/2.5 L I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},       // MPEG 2/2.5 L II
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},       // MPEG 2/2.5 L III
    },
    {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG 1 L I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG 1 L II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG 1 L III
    },
};
constexpr int kMpeg1Rates[3] = {44100, 48000, 32000};
}  // namespace

bool MpegFrameHeader::parse(const unsigned char *b)
{
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return false;
    const int versionBits = (b[1] >> 3) & 3;
    const int layerBits = (b[1] >> 1) & 3;
    const int bitrateIndex = (b[2] >> 4) & 15;
    const int rateIndex = (b[2] >> 2) & 3;
    const int padding = (b[2] >> 1) & 1;
    const int emphasis = b[3] & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3 || emphasis == 2)
        return false;

    version = versionBits == 3 ? 10 : versionBits == 2 ? 20 : 25;
    layer = 4 - layerBits;
    const bool mpeg1 = version == 10;
    bitrate = kBitrates[mpeg1 ? 1 : 0][layer - 1][bitrateIndex];
    rate = kMpeg1Rates[rateIndex] / (mpeg1 ? 1 : version == 20 ? 2 : 4);
    channels = ((b[3] >> 6) & 3) == 3 ? 1 : 2;
    if (layer == 1) {
        samplesPerFrame = 384;
        frameBytes = (12 * bitrate * 1000 / rate + padding) * 4;
    } else {
        samplesPerFrame = (layer == 3 && !mpeg1) ? 576 : 1152;
        frameBytes = samplesPerFrame / 8 * bitrate * 1000 / rate + padding;
    }
    return frameBytes > 4;
}

bool hasFrameCountHeader(const MpegFrameHeader &header, const unsigned char *frame,
                         size_t available, int64_t streamBytes)
{
    if (header.layer != 3)
        return false;
    // Xing/Info sits right after the side information, whose size depends on the version
    // and channel count; its first flag bit says whether the frame count is present.
    const size_t sideInfo =
        header.version == 10 ? (header.channels == 1 ? 17 : 32) : (header.channels == 1 ? 9 : 17);
    const size_t xing = 4 + sideInfo;
    if (xing + 8 <= available &&
        (std::memcmp(frame + xing, "Xing", 4) == 0 || std::memcmp(frame + xing, "Info", 4) == 0)) {
        const unsigned char flags = frame[xing + 7];
        if ((flags & 1) == 0)
            return false;
        // With flag 2 the byte count follows the frame count (both big-endian).
        if ((flags & 2) != 0 && xing + 16 <= available) {
            return int64_t(bigEndian32(frame + xing + 12)) <= streamBytes;
        }
        return true;
    }
    // Fraunhofer's VBRI always carries the count.
    return 36 + 4 <= available && std::memcmp(frame + 36, "VBRI", 4) == 0;
}

uint32_t bigEndian32(const unsigned char *b)
{
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

bool synchsafe28(const unsigned char *b, uint32_t *value)
{
    if ((b[0] | b[1] | b[2] | b[3]) & 0x80)
        return false;
    *value = uint32_t(b[0]) << 21 | uint32_t(b[1]) << 14 | uint32_t(b[2]) << 7 | b[3];
    return true;
}

int64_t id3v2TagSize(const unsigned char *b, size_t available)
{
    uint32_t body = 0;
    if (available < 10 || b[0] != 'I' || b[1] != 'D' || b[2] != '3' || b[3] == 0xFF ||
        b[4] == 0xFF || !synchsafe28(b + 6, &body))
        return 0;
    const bool hasFooter = (b[5] & 0x10) != 0;
    return 10 + int64_t(body) + (hasFooter ? 10 : 0);
}

}  // namespace zuna
