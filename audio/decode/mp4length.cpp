#include "audio/decode/mp4length.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/decode/filereader.h"

namespace zuna {

namespace {
constexpr int64_t kMaxMovieBox = 32 << 20;  // a day of AAC lists ~8 million samples in 32 MB
constexpr int kMaxTopBoxes = 1024;
constexpr int kMaxChannels = 8;
constexpr int kMaxRate = 768000;
constexpr uint64_t kMaxFrames = uint64_t(1) << 40;  // over eight months at 48 kHz
constexpr int kMinAacRate = 32000;  // below, the stream may carry SBR FFmpeg doubles the rate for

// A box inside the movie box, which is read whole: its type and its body's bytes.
struct Box {
    const uint8_t *body = nullptr;
    size_t size = 0;

    explicit operator bool() const { return body != nullptr; }
    bool has(size_t at, size_t count) const { return at <= size && count <= size - at; }
    uint32_t u8(size_t at) const { return has(at, 1) ? body[at] : 0; }
    uint32_t u16(size_t at) const
    {
        return has(at, 2) ? uint32_t(body[at] << 8 | body[at + 1]) : 0;
    }
    uint32_t u32(size_t at) const
    {
        return has(at, 4) ? uint32_t(body[at]) << 24 | uint32_t(body[at + 1]) << 16 |
                                uint32_t(body[at + 2]) << 8 | body[at + 3]
                          : 0;
    }
    uint64_t u64(size_t at) const { return uint64_t(u32(at)) << 32 | u32(at + 4); }
};

// The `nth` child box of type `type` among the boxes that fill `parent` from `from` on; a
// child that runs past its parent ends the search (nothing is found).
Box child(const Box &parent, const char *type, size_t from = 0, int nth = 0)
{
    size_t at = from;
    while (parent.has(at, 8)) {
        uint64_t size = parent.u32(at);
        size_t header = 8;
        if (size == 1) {
            size = parent.u64(at + 8);
            header = 16;
        } else if (size == 0) {
            size = parent.size - at;
        }
        if (size < header || !parent.has(at, size_t(size)))
            return {};
        if (std::memcmp(parent.body + at + 4, type, 4) == 0 && nth-- == 0)
            return Box{parent.body + at + header, size_t(size) - header};
        at += size_t(size);
    }
    return {};
}

Box path(Box box, std::initializer_list<const char *> types)
{
    for (const char *type : types)
        if (!(box = child(box, type)))
            break;
    return box;
}

// Samples the encoder was given, from iTunes' gapless record, read as FFmpeg reads it; 0 if
// there is none, -1 if there is more than one.
int64_t itunesSampleCount(const Box &movie)
{
    Box meta = path(movie, {"udta", "meta"});
    if (!meta)
        meta = child(movie, "meta");
    if (!meta)
        return 0;
    const Box items = child(meta, "ilst", meta.u32(0) == 0 ? 4 : 0);
    int64_t count = 0;
    int found = 0;
    for (int i = 0;; ++i) {
        const Box item = child(items, "----", 0, i);
        if (!item)
            break;
        const Box name = child(item, "name"), data = child(item, "data");
        if (!name || name.size != 4 + 8 || std::memcmp(name.body + 4, "iTunSMPB", 8) != 0)
            continue;
        if (++found > 1 || !data || data.size < 8)
            return -1;
        const std::string text(reinterpret_cast<const char *>(data.body + 8), data.size - 8);
        unsigned priming = 0, padding = 0;
        unsigned long long samples = 0;
        if (std::sscanf(text.c_str(), "%*x %x %x %llx", &priming, &padding, &samples) == 3 &&
            samples > 0 && samples < (1ull << 40))
            count = int64_t(samples);
    }
    return count;
}

// Reads an MPEG-4 descriptor's tag and length at `*at`, moving past them.
bool descriptor(const Box &box, size_t *at, uint32_t tag, uint32_t *length)
{
    if (box.u8(*at) != tag)
        return false;
    *length = 0;
    for (int i = 1; i <= 4; ++i) {
        const uint32_t b = box.u8(*at + size_t(i));
        *length = *length << 7 | (b & 0x7F);
        if (!(b & 0x80)) {
            *at += size_t(i) + 1;
            return box.has(*at, *length);
        }
    }
    return false;
}

// AAC-LC's format from its AudioSpecificConfig, when FFmpeg's decoder will give just that.
bool aacFormat(const Box &esds, AudioFormat *format)
{
    static const int kRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                   22050, 16000, 12000, 11025, 8000,  7350};
    size_t at = 4;  // version and flags
    uint32_t length = 0;
    if (!descriptor(esds, &at, 3, &length))
        return false;
    const uint32_t flags = esds.u8(at + 2);  // after the stream's id
    at += 3 + ((flags & 0x80) ? 2 : 0);
    if (flags & 0x40)
        at += 1 + esds.u8(at);
    at += (flags & 0x20) ? 2 : 0;
    if (!descriptor(esds, &at, 4, &length) || esds.u8(at) != 0x40)
        return false;
    at += 13;
    // Object type 2 (LC), a rate from the table, channels, then 1024 samples a frame, no core
    // coder, no extension; and either nothing more, at a rate SBR is not used at (FFmpeg's
    // decoder would double it on finding SBR in the stream), or the signal that there is no
    // SBR (as FFmpeg's encoder writes it: sync word 0x2B7, SBR's object type 5, "absent").
    if (!descriptor(esds, &at, 5, &length) || length < 2)
        return false;
    const uint32_t config = esds.u16(at);
    const uint32_t type = config >> 11, rateIndex = (config >> 7) & 15,
                   channels = (config >> 3) & 15;
    if (type != 2 || rateIndex >= 13 || channels < 1 || channels > 7 || (config & 7) != 0)
        return false;
    *format = AudioFormat{kRates[rateIndex], channels == 7 ? 8 : int(channels)};
    if (length == 2)
        return format->rate >= kMinAacRate;
    return length == 5 && esds.u16(at + 2) == (0x2B7u << 5 | 5) && (esds.u8(at + 4) & 0x80) == 0;
}

// The format FFmpeg decodes the track's one sample description to: AAC-LC or ALAC.
bool trackFormat(const Box &sampleTable, AudioFormat *format, bool *aac)
{
    const Box descriptions = child(sampleTable, "stsd");
    if (descriptions.u32(4) != 1)
        return false;
    const size_t entryAt = 8;
    const uint32_t entrySize = descriptions.u32(entryAt);
    if (entrySize < 36 || !descriptions.has(entryAt, entrySize))
        return false;
    const Box entry{descriptions.body + entryAt + 8, entrySize - 8};
    const uint32_t version = entry.u16(8);
    const size_t children = version == 0 ? 28 : version == 1 ? 44 : 64;
    if (std::memcmp(descriptions.body + entryAt + 4, "mp4a", 4) == 0) {
        *aac = true;
        return aacFormat(child(entry, "esds", children), format);
    }
    if (std::memcmp(descriptions.body + entryAt + 4, "alac", 4) == 0) {
        *aac = false;
        const Box cookie = child(entry, "alac", children);  // FFmpeg's extradata, less 8 bytes
        if (!cookie || cookie.size != 28)
            return false;
        *format = AudioFormat{int(cookie.u32(24)), int(cookie.u8(13))};
        return true;
    }
    return false;
}

// Whether every sample lies whole inside the file, and the tables agree on their count.
bool samplesHeld(const Box &table, uint64_t sampleCount, int64_t fileSize)
{
    const Box sizes = child(table, "stsz"), runs = child(table, "stsc");
    Box offsets = child(table, "stco");
    const bool wide = !offsets;
    if (wide)
        offsets = child(table, "co64");
    const uint64_t uniform = sizes.u32(4), listed = sizes.u32(8);
    const uint64_t chunks = offsets.u32(4), runCount = runs.u32(4);
    if (!sizes || !runs || !offsets || listed != sampleCount ||
        (uniform == 0 && !sizes.has(12, size_t(listed) * 4)) ||
        !offsets.has(8, size_t(chunks) * (wide ? 8 : 4)) || !runs.has(8, size_t(runCount) * 12))
        return false;
    uint64_t sample = 0;
    for (uint64_t run = 0; run < runCount; ++run) {
        const uint64_t first = runs.u32(8 + size_t(run) * 12);
        const uint64_t end = run + 1 < runCount ? runs.u32(8 + size_t(run + 1) * 12) : chunks + 1;
        const uint64_t perChunk = runs.u32(8 + size_t(run) * 12 + 4);
        if (first < 1 || end <= first || end > chunks + 1)
            return false;
        for (uint64_t chunk = first; chunk < end; ++chunk) {
            uint64_t at = wide ? offsets.u64(8 + size_t(chunk - 1) * 8)
                               : offsets.u32(8 + size_t(chunk - 1) * 4);
            if (perChunk > sampleCount - sample)
                return false;
            if (uniform) {
                at += uniform * perChunk;
                sample += perChunk;
            } else {
                for (uint64_t i = 0; i < perChunk; ++i, ++sample)
                    at += sizes.u32(12 + size_t(sample) * 4);
            }
            if (at > uint64_t(fileSize))
                return false;
        }
    }
    return sample == sampleCount;
}

// The length of the file's one sound track, as FFmpeg's demuxer and decoder count it.
std::optional<StatedLength> trackLength(const Box &movie, int64_t fileSize)
{
    Box sound;
    for (int i = 0;; ++i) {
        const Box track = child(movie, "trak", 0, i);
        if (!track)
            break;
        const Box handler = path(track, {"mdia", "hdlr"});
        if (handler && handler.has(8, 4) && std::memcmp(handler.body + 8, "soun", 4) == 0) {
            if (sound)
                return std::nullopt;  // which one FFmpeg picks is its own choice
            sound = track;
        }
    }
    const Box media = child(sound, "mdia"), header = child(media, "mdhd");
    const Box table = path(media, {"minf", "stbl"});
    const bool v1 = header.u8(0) == 1;
    const uint64_t timescale = header.u32(v1 ? 20 : 12);
    const uint64_t mediaLength = v1 ? header.u64(24) : header.u32(16);
    AudioFormat format;
    bool aac = false;
    if (!header || !table || timescale == 0 || !trackFormat(table, &format, &aac) ||
        format.rate <= 0 || format.rate > kMaxRate || format.channels < 1 ||
        format.channels > kMaxChannels || uint64_t(format.rate) != timescale)
        return std::nullopt;

    const Box times = child(table, "stts");
    const uint64_t entries = times.u32(4);
    if (!times || !times.has(8, size_t(entries) * 8))
        return std::nullopt;
    uint64_t samples = 0, timed = 0;
    for (uint64_t i = 0; i < entries; ++i) {
        samples += times.u32(8 + size_t(i) * 8);
        timed += uint64_t(times.u32(8 + size_t(i) * 8)) * times.u32(12 + size_t(i) * 8);
        if (timed > kMaxFrames)
            return std::nullopt;
    }
    if (samples == 0 || !samplesHeld(table, samples, fileSize))
        return std::nullopt;

    int64_t frames = int64_t(std::min(mediaLength, timed));
    const int64_t stated = itunesSampleCount(movie);
    const Box edits = path(sound, {"edts", "elst"});
    if (stated < 0)
        return std::nullopt;
    if (edits) {
        // One edit, at normal speed, inside the media: what it spans is the track. Its
        // duration is in the movie's time scale, rounded to the media's as FFmpeg does.
        const bool e1 = edits.u8(0) == 1;
        const Box movieHeader = child(movie, "mvhd");
        const uint64_t movieScale = movieHeader.u32(movieHeader.u8(0) == 1 ? 20 : 12);
        const uint64_t span = e1 ? edits.u64(8) : edits.u32(8);
        const int64_t start = e1 ? int64_t(edits.u64(16)) : int32_t(edits.u32(12));
        const uint32_t rate = edits.u32(e1 ? 24 : 16);
        if (edits.u32(4) != 1 || !edits.has(8, e1 ? 20 : 12) || movieScale == 0 ||
            rate != 0x10000 || start < 0 || span > kMaxFrames)
            return std::nullopt;
        const int64_t edited = int64_t((span * timescale + movieScale / 2) / movieScale);
        if (uint64_t(start + edited) > timed)
            return std::nullopt;
        frames = std::min(frames, edited);
    } else if (aac && stated == 0) {
        return std::nullopt;  // the codec's priming is not said: FFmpeg decodes to learn it
    }
    if (stated > 0)
        frames = stated;
    if (frames <= 0)
        return std::nullopt;
    StatedLength length;
    length.format = format;
    length.frames = frames;
    length.tags = TagLayout::Mp4;
    return length;
}
}  // namespace

std::optional<StatedLength> mp4StatedLength(FileReader &file)
{
    // The top-level boxes must fill the file exactly: one cut short, or a fragmented movie
    // (its samples in fragments), is FFmpeg's to judge.
    std::vector<uint8_t> movie;
    int64_t at = 0;
    for (int boxes = 0; at < file.size(); ++boxes) {
        uint8_t h[16];
        if (boxes == kMaxTopBoxes || file.readAt(at, h, sizeof h) < 8)
            return std::nullopt;
        const Box header{h, sizeof h};
        uint64_t size = header.u32(0);
        if (size == 1)
            size = header.u64(8);
        else if (size == 0)
            size = uint64_t(file.size() - at);
        if (size < 8 || size > uint64_t(file.size() - at) || std::memcmp(h + 4, "moof", 4) == 0)
            return std::nullopt;
        if (std::memcmp(h + 4, "moov", 4) == 0) {
            const size_t headerSize = header.u32(0) == 1 ? 16 : 8;
            if (!movie.empty() || size > uint64_t(kMaxMovieBox) || size < headerSize)
                return std::nullopt;
            movie.resize(size_t(size) - headerSize);
            if (file.readAt(at + int64_t(headerSize), movie.data(), movie.size()) !=
                long(movie.size()))
                return std::nullopt;
        }
        at += int64_t(size);
    }
    const Box body{movie.data(), movie.size()};
    if (movie.empty() || child(body, "mvex"))
        return std::nullopt;
    return trackLength(body, file.size());
}

}  // namespace zuna
