#pragma once

#include <cstddef>
#include <cstdint>

namespace zuna {

// One MPEG audio frame header (layers I-III, MPEG 1, 2 and 2.5), decoded from its four
// bytes. Free-format frames (bitrate index 0) are not recognised.
struct MpegFrameHeader {
    int version = 0;  // 10 for MPEG 1, 20 for MPEG 2, 25 for MPEG 2.5
    int layer = 0;    // 1, 2 or 3
    int bitrate = 0;  // kbit/s
    int rate = 0;     // Hz
    int channels = 0;
    int frameBytes = 0;       // whole frame, header included
    int samplesPerFrame = 0;  // 384, 576 or 1152

    // Decodes the header at `bytes` (at least four bytes). Returns false if they are no
    // valid frame header.
    bool parse(const unsigned char *bytes);

    // Whether `other` can follow this frame in the same stream.
    bool sameStream(const MpegFrameHeader &other) const
    {
        return version == other.version && layer == other.layer && rate == other.rate;
    }
};

// Whether the frame at `frame` (`available` bytes of it) is a Xing/Info or VBRI header that
// states the stream's frame count, which makes the length exact without a scan. A Xing/Info
// header that also states the stream's size in bytes is believed only if `streamBytes` (from
// this frame to the end of the file) holds that many: a file cut short keeps the header of
// the whole file, whose count would claim audio that is no longer there.
bool hasFrameCountHeader(const MpegFrameHeader &header, const unsigned char *frame,
                         size_t available, int64_t streamBytes);

// The 32-bit big-endian integer at `bytes`.
uint32_t bigEndian32(const unsigned char *bytes);

// The 28-bit "synchsafe" integer of ID3v2 at `bytes` (seven bits a byte); false if a byte's
// high bit is set, which no synchsafe integer has.
bool synchsafe28(const unsigned char *bytes, uint32_t *value);

// Size of the ID3v2 tag (header, body and footer) starting at `bytes`, or 0 if the ten
// bytes there are no ID3v2 header.
int64_t id3v2TagSize(const unsigned char *bytes, size_t available);

}  // namespace zuna
