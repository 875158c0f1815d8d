#include "audio/decode/ogglength.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "audio/decode/filereader.h"
#include "audio/decode/vorbismodes.h"

namespace zuna {

namespace {
constexpr int kHeaderSize = 27;
constexpr int64_t kMaxPageSize = kHeaderSize + 255 + 255 * 255;
constexpr int64_t kQuickTail = int64_t(16) * 1024;
constexpr int kMaxHeaderPages = 4096;        // a cover of tens of MB in the comments
constexpr size_t kMaxSetupBytes = 1u << 20;  // Vorbis' codebooks: a few KB in practice
constexpr int kMaxChannels = 8;
constexpr int kMaxRate = 768000;
constexpr uint8_t kContinued = 1, kFirst = 2, kLast = 4;

uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The pages' CRC-32 (polynomial 0x04C11DB7, most significant bit first), four bytes a step
// with a table for each of their places.
uint32_t oggCrc(const uint8_t *bytes, size_t count, uint32_t crc = 0)
{
    using Table = std::array<uint32_t, 256>;
    static const std::array<Table, 4> tables = [] {
        std::array<Table, 4> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = r & 0x80000000u ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[0][i] = r;
        }
        for (size_t k = 1; k < 4; ++k)
            for (size_t i = 0; i < 256; ++i)
                t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 24];
        return t;
    }();
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        crc ^= uint32_t(bytes[i]) << 24 | uint32_t(bytes[i + 1]) << 16 |
               uint32_t(bytes[i + 2]) << 8 | bytes[i + 3];
        crc = tables[3][crc >> 24] ^ tables[2][(crc >> 16) & 0xFF] ^ tables[1][(crc >> 8) & 0xFF] ^
              tables[0][crc & 0xFF];
    }
    for (; i < count; ++i)
        crc = (crc << 8) ^ tables[0][((crc >> 24) ^ bytes[i]) & 0xFF];
    return crc;
}

struct Page {
    int64_t offset = 0;
    uint8_t flags = 0;
    int64_t granule = 0;
    uint32_t serial = 0;
    std::vector<uint8_t> lacing;
    int64_t bodySize = 0;

    int64_t bodyOffset() const { return offset + kHeaderSize + int64_t(lacing.size()); }
    int64_t end() const { return bodyOffset() + bodySize; }
};

// The checksum of a whole page, header first, as it is computed: with its own field zero.
uint32_t pageChecksum(const uint8_t *page, size_t size)
{
    static const uint8_t kZero[4] = {};
    return oggCrc(page + 26, size - 26, oggCrc(kZero, 4, oggCrc(page, 22)));
}

// Reads the header of the page at `at`; false unless it is one that lies wholly in the file.
bool readPage(FileReader &file, int64_t at, Page *page)
{
    uint8_t head[kHeaderSize];
    if (file.readAt(at, head, sizeof head) != long(sizeof head) ||
        std::memcmp(head, "OggS", 4) != 0 || head[4] != 0)
        return false;
    page->offset = at;
    page->flags = head[5];
    uint64_t granule = 0;
    for (int i = 7; i >= 0; --i)
        granule = granule << 8 | head[6 + i];
    page->granule = int64_t(granule);
    page->serial = le32(&head[14]);
    page->lacing.resize(head[26]);
    if (file.readAt(at + kHeaderSize, page->lacing.data(), page->lacing.size()) !=
        long(page->lacing.size()))
        return false;
    page->bodySize = 0;
    for (const uint8_t l : page->lacing)
        page->bodySize += l;
    return page->end() <= file.size();
}

// The whole page, if its checksum holds; empty otherwise.
std::vector<uint8_t> checkedPage(FileReader &file, const Page &page)
{
    std::vector<uint8_t> bytes(size_t(page.end() - page.offset));
    if (file.readAt(page.offset, bytes.data(), bytes.size()) != long(bytes.size()) ||
        pageChecksum(bytes.data(), bytes.size()) != le32(&bytes[22]))
        return {};
    return bytes;
}

// Offsets of "OggS" in `bytes` from `from` on, one at a time: npos when there is no more.
size_t nextCapture(const std::vector<uint8_t> &bytes, size_t from)
{
    for (size_t at = from; at + 4 <= bytes.size(); ++at) {
        const void *o = std::memchr(&bytes[at], 'O', bytes.size() - 3 - at);
        if (!o)
            break;
        at = size_t(static_cast<const uint8_t *>(o) - bytes.data());
        if (std::memcmp(&bytes[at], "OggS", 4) == 0)
            return at;
    }
    return std::string::npos;
}

// The last whole page whose checksum holds, starting within the file's last `window` bytes
// (read into `tail`); `*chained` tells whether a stream starts among them too, which FFmpeg
// would time as it goes. False if there is no such page.
bool findLastPage(FileReader &file, int64_t window, std::vector<uint8_t> &tail, Page *last,
                  bool *chained)
{
    const int64_t from = std::max<int64_t>(0, file.size() - window);
    tail.resize(size_t(file.size() - from));
    if (file.readAt(from, tail.data(), tail.size()) != long(tail.size()))
        return false;
    *chained = false;
    Page page;
    for (size_t at = nextCapture(tail, 0); at != std::string::npos; at = nextCapture(tail, at + 1))
        if (at + kHeaderSize <= tail.size() && (tail[at + 5] & kFirst) && from + int64_t(at) > 0 &&
            readPage(file, from + int64_t(at), &page))
            *chained = true;
    for (size_t at = tail.size() >= kHeaderSize ? tail.size() - kHeaderSize + 1 : 0; at-- > 0;)
        if (tail[at] == 'O' && std::memcmp(&tail[at], "OggS", 4) == 0 &&
            readPage(file, from + int64_t(at), last) &&
            pageChecksum(&tail[at], size_t(last->end() - last->offset)) == le32(&tail[at + 22]))
            return true;
    return false;
}

// The packets that end on `page`, as offsets into its bytes and sizes; `*open` tells whether
// one goes on to the next page.
std::vector<std::pair<size_t, size_t>> packetsOn(const Page &page, bool *open)
{
    std::vector<std::pair<size_t, size_t>> packets;
    size_t start = kHeaderSize + page.lacing.size(), size = 0;
    for (const uint8_t l : page.lacing) {
        size += l;
        if (l < 255) {
            packets.emplace_back(start, size);
            start += size;
            size = 0;
        }
    }
    *open = !page.lacing.empty() && page.lacing.back() == 255;
    return packets;
}

struct Codec {
    bool opus = false;
    AudioFormat format;
    int preSkip = 0;
    int blockSizes[2] = {0, 0};  // Vorbis' short and long windows
};

// The identification header, checked as FFmpeg checks it.
bool readIdentification(const uint8_t *p, size_t size, Codec *codec)
{
    if (size == 30 && std::memcmp(p, "\x01vorbis", 7) == 0) {
        const int small = p[28] & 15, large = p[28] >> 4;
        if (le32(p + 7) != 0 || small > large || small < 6 || large > 13 || p[29] != 1)
            return false;
        codec->format = AudioFormat{int(le32(p + 12)), p[11]};
        codec->blockSizes[0] = 1 << small;
        codec->blockSizes[1] = 1 << large;
    } else if (size >= 19 && std::memcmp(p, "OpusHead", 8) == 0) {
        const int channels = p[9], family = p[18];
        if ((p[8] & 0xF0) != 0 || (family == 0 && channels > 2) || family > 1 ||
            (family == 1 && size < 21 + size_t(channels)))
            return false;
        codec->opus = true;
        codec->format = AudioFormat{48000, channels};
        codec->preSkip = p[10] | p[11] << 8;
    } else {
        return false;
    }
    return codec->format.rate > 0 && codec->format.rate <= kMaxRate &&
           codec->format.channels >= 1 && codec->format.channels <= kMaxChannels;
}

// Samples in an Opus packet, from its table of contents, as FFmpeg's demuxer counts them.
int opusDuration(const uint8_t *p, size_t size)
{
    const unsigned config = p[0] >> 3, code = p[0] & 3;
    const int frameSize = config < 12   ? std::max(480, 960 * int(config & 3))
                          : config < 16 ? 480 << (config & 1)
                                        : 120 << (config & 3);
    if (code == 3)
        return size < 2 ? -1 : frameSize * (p[1] & 0x3F);
    return frameSize * (code ? 2 : 1);
}

// Where the first sample lies, from the first audio page's granule and its packets'
// durations; false if a packet cannot be timed.
bool firstSampleTime(const Codec &codec, const VorbisModes &modes, const Page &page,
                     const std::vector<uint8_t> &bytes, int64_t *time)
{
    bool open = false;
    const auto packets = packetsOn(page, &open);
    if (packets.empty())
        return false;
    int64_t duration = 0;
    int previous = codec.blockSizes[0];
    for (size_t i = 0; i < packets.size(); ++i) {
        const auto [at, size] = packets[i];
        if (size == 0) {
            if (codec.opus && i > 0)
                continue;  // skipped by the demuxer
            return false;
        }
        if (codec.opus) {
            const int d = opusDuration(&bytes[at], size);
            if (d < 0 && i == 0)
                return false;
            duration += std::max(d, 0);
        } else {
            const int d = modes.duration(bytes[at], codec.blockSizes, &previous);
            if (d <= 0)
                return false;  // a header or a damaged packet where sound should be
            duration += d;
        }
    }
    *time = page.granule - duration;
    return true;
}
}  // namespace

std::optional<StatedLength> oggStatedLength(FileReader &file)
{
    Page page;
    if (!readPage(file, 0, &page) || page.flags != kFirst)
        return std::nullopt;
    std::vector<uint8_t> bytes = checkedPage(file, page);
    bool open = false;
    const auto first = packetsOn(page, &open);
    Codec codec;
    if (bytes.empty() || first.size() != 1 || open ||
        !readIdentification(&bytes[first[0].first], first[0].second, &codec))
        return std::nullopt;
    const uint32_t serial = page.serial;

    // The other headers (comments; Vorbis' setup), on pages of their own, the sound after.
    const int headers = codec.opus ? 1 : 2;
    int done = 0;
    std::vector<uint8_t> setup;
    int pages = 0;
    while (done < headers) {
        if (++pages > kMaxHeaderPages || !readPage(file, page.end(), &page) ||
            page.serial != serial || (page.flags & (kFirst | kLast)) != 0 ||
            ((page.flags & kContinued) != 0) != open || page.lacing.empty())
            return std::nullopt;
        std::vector<uint8_t> body;  // read once the setup header starts on this page
        size_t at = kHeaderSize + page.lacing.size();
        for (const uint8_t l : page.lacing) {
            if (done == headers)
                return std::nullopt;  // sound shares the headers' last page
            if (!codec.opus && done == 1) {
                if ((body.empty() && (body = checkedPage(file, page)).empty()) ||
                    setup.size() + l > kMaxSetupBytes)
                    return std::nullopt;
                setup.insert(setup.end(), body.begin() + long(at), body.begin() + long(at + l));
            }
            at += l;
            if (l < 255)
                ++done;
        }
        open = page.lacing.back() == 255;
    }
    VorbisModes modes;
    if (!codec.opus && !modes.read(setup.data(), setup.size()))
        return std::nullopt;

    // The first audio page: a fresh packet, a granule, not the last page.
    if (!readPage(file, page.end(), &page) || page.serial != serial || page.flags != 0 ||
        page.granule <= 0)
        return std::nullopt;
    int64_t firstTime = 0;
    if ((bytes = checkedPage(file, page)).empty() ||
        !firstSampleTime(codec, modes, page, bytes, &firstTime))
        return std::nullopt;
    // Vorbis' first packet yields nothing, yet counts in that sum: a stream from its start
    // comes out below zero, and FFmpeg starts it at zero. Opus' is exact.
    if (codec.opus ? firstTime != 0 : firstTime > 0)
        return std::nullopt;

    // The last page, within the last 64 KiB as FFmpeg looks; a short look first, as pages
    // are a few KB.
    std::vector<uint8_t> tail;
    Page last;
    bool chained = false;
    if (!findLastPage(file, kQuickTail, tail, &last, &chained) &&
        (file.size() <= kQuickTail || !findLastPage(file, kMaxPageSize, tail, &last, &chained)))
        return std::nullopt;
    if (last.serial != serial || last.granule <= 0 || chained)
        return std::nullopt;  // another stream, or a page where no packet ends
    const int64_t frames = last.granule - (codec.opus ? codec.preSkip : 0);
    if (frames <= 0)
        return std::nullopt;
    StatedLength stated;
    stated.format = codec.format;
    stated.frames = frames;
    stated.tags = codec.opus ? TagLayout::OggOpus : TagLayout::OggVorbis;
    return stated;
}

}  // namespace zuna
