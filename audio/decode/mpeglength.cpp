#include "audio/decode/mpeglength.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/decode/filereader.h"
#include "audio/decode/mpegheader.h"

namespace zuna {

namespace {
// The first frames are read in a small piece, which the reader's window from sniffing
// already holds; a walk over the whole stream in large ones, twice a window's 64 KiB, so
// that each is read straight from the file rather than through the windows and copied twice.
constexpr size_t kKiB = 1024;
constexpr size_t kFirstRead = 4 * kKiB;
constexpr size_t kChunk = 128 * kKiB;
constexpr int kMaxId3v2Tags = 4;
constexpr int64_t kId3v1Size = 128;
// libmpg123's synthesis delays its output by this many samples; with a Xing frame count it
// drops them from the start of the track (and the LAME tag's encoder delay with them).
constexpr int64_t kDecoderDelay = 529;
// The bytes MpegDecoder::open reads of the first frame to decide whether to scan.
constexpr int64_t kFirstFrameLook = 192;

// The file's bytes, read ahead in large chunks for a walk over the frame headers.
class Chunks {
public:
    explicit Chunks(FileReader &reader) : file(reader) {}

    // The `count` (at most kFirstRead) bytes at `offset`, or nullptr where the file ends first.
    const unsigned char *at(int64_t offset, size_t count)
    {
        const int64_t end = start + int64_t(length);
        if (offset >= start && offset + int64_t(count) <= end)
            return buffer.data() + (offset - start);
        // Reading on in order, what is read already stays and the next piece starts where it
        // ends, past the reader's windows.
        size_t kept = 0;
        if (offset >= start && offset < end) {
            kept = size_t(end - offset);
            std::memmove(buffer.data(), buffer.data() + (offset - start), kept);
        }
        const size_t fill = fills++ == 0 ? kFirstRead : kChunk;
        const long got = file.readAt(offset + int64_t(kept), buffer.data() + kept, fill);
        start = offset;
        length = kept + (got > 0 ? size_t(got) : 0);
        return count <= length ? buffer.data() : nullptr;
    }

private:
    FileReader &file;
    // One buffer per thread for every file it reads, as the sniffer keeps its own.
    static thread_local std::vector<unsigned char> buffer;
    int64_t start = 0;
    size_t length = 0;
    int fills = 0;
};

thread_local std::vector<unsigned char> Chunks::buffer(kChunk + kFirstRead);

// Where the ID3v2 tags at the start of the file end, or -1 for a tag that libmpg123 might
// skip otherwise than by its stated size: an unknown version or flag, a footer.
int64_t endOfId3v2Tags(FileReader &file)
{
    int64_t offset = 0;
    for (int tags = 0; tags <= kMaxId3v2Tags; ++tags) {
        unsigned char h[10];
        if (file.readAt(offset, h, sizeof h) != long(sizeof h) || std::memcmp(h, "ID3", 3) != 0)
            return offset;
        const int64_t size = id3v2TagSize(h, sizeof h);
        if (tags == kMaxId3v2Tags || size == 0 || h[3] < 2 || h[3] > 4 || (h[5] & 0x1F) != 0 ||
            offset + size > file.size())
            return -1;
        offset += size;
    }
    return -1;
}

// What the first frame says of the stream's length, as libmpg123 reads it.
struct InfoFrame {
    enum Kind { None, Counted, Unsure } kind = None;
    int64_t frames = 0;  // the frame count, for Counted
    int64_t delay = 0;   // encoder delay and padding of a LAME tag, else 0
    int64_t padding = 0;
};

InfoFrame readInfoFrame(const MpegFrameHeader &header, const unsigned char *frame,
                        const unsigned char *look, size_t lookBytes, int64_t streamBytes)
{
    InfoFrame info;
    const size_t body = size_t(header.frameBytes) - 4;
    const unsigned char *b = frame + 4;
    const size_t side =
        header.version == 10 ? (header.channels == 1 ? 17 : 32) : (header.channels == 1 ? 9 : 17);
    // MpegDecoder looks for the headers in its first bytes, which may reach past a small
    // first frame: what it sees there, the frame itself must hold.
    const size_t xingAt = 4 + side;
    const bool xing = lookBytes >= xingAt + 4 && (std::memcmp(look + xingAt, "Xing", 4) == 0 ||
                                                  std::memcmp(look + xingAt, "Info", 4) == 0);
    // libmpg123 reads no VBRI header: it decodes that frame and estimates the length.
    const bool vbri = lookBytes >= 40 && std::memcmp(look + 36, "VBRI", 4) == 0;
    if (vbri)
        info.kind = InfoFrame::Unsure;
    if (!xing)
        return info;
    info.kind = InfoFrame::Unsure;
    // libmpg123 takes it for a header only if the side information is all zero (past where a
    // checksum would be) and the flags fit; MpegDecoder must skip its scan for the same frame.
    if (body < side + 8 || std::any_of(b + 2, b + side, [](unsigned char c) { return c != 0; }) ||
        !hasFrameCountHeader(header, look, lookBytes, streamBytes))
        return info;
    size_t at = side + 4;
    const uint32_t flags = bigEndian32(b + at);
    at += 4;
    if ((flags & 1) == 0 || body < at + 4)
        return info;
    info.frames = bigEndian32(b + at);
    at += 4;
    if (info.frames == 0)
        return info;
    info.kind = InfoFrame::Counted;
    // Stream bytes, table of contents, quality: each present by its flag, then the LAME tag,
    // of which libmpg123 takes the delay and padding whatever encoder it names.
    for (const auto &[flag, size] : {std::pair<uint32_t, size_t>{2, 4}, {4, 100}, {8, 4}}) {
        if ((flags & flag) == 0)
            continue;
        if (body < at + size)
            return info;
        at += size;
    }
    if (body < at + 24 || b[at] == 0)
        return info;
    info.delay = int64_t(b[at + 21]) << 4 | b[at + 22] >> 4;
    info.padding = int64_t(b[at + 22] & 0x0F) << 8 | b[at + 23];
    return info;
}

bool continues(const MpegFrameHeader &first, const MpegFrameHeader &next)
{
    return next.layer == 3 && next.sameStream(first) && next.channels == first.channels;
}

// The frame count of a stream of frames back to back from `at` to `end`, or -1 where it is not.
int64_t countFrames(Chunks &chunks, const MpegFrameHeader &first, int64_t at, int64_t end)
{
    int64_t frames = 0;
    while (at < end) {
        const unsigned char *bytes = chunks.at(at, 4);
        MpegFrameHeader header;
        if (!bytes || !header.parse(bytes) || !continues(first, header))
            return -1;
        at += header.frameBytes;
        ++frames;
    }
    return at == end ? frames : -1;
}
}  // namespace

std::optional<StatedLength> mpegStatedLength(FileReader &file, int64_t audioStart)
{
    const int64_t fileSize = file.size();
    // Bytes between the tags and the first frame: libmpg123 might find another first frame.
    if (audioStart != endOfId3v2Tags(file) || audioStart >= fileSize)
        return std::nullopt;
    Chunks chunks(file);
    const unsigned char *bytes = chunks.at(audioStart, 4);
    MpegFrameHeader first;
    if (!bytes || !first.parse(bytes) || first.layer != 3)
        return std::nullopt;
    const unsigned char *frame = chunks.at(audioStart, size_t(first.frameBytes));
    if (!frame)
        return std::nullopt;
    const size_t look = size_t(std::min(kFirstFrameLook, fileSize - audioStart));
    const unsigned char *lookBytes = chunks.at(audioStart, look);
    if (!lookBytes)
        return std::nullopt;
    const InfoFrame info = readInfoFrame(first, frame, lookBytes, look, fileSize - audioStart);

    StatedLength stated;
    stated.format = AudioFormat{first.rate, first.channels};
    stated.tags = TagLayout::Mpeg;
    switch (info.kind) {
        case InfoFrame::Unsure:
            return std::nullopt;
        case InfoFrame::Counted: {
            // libmpg123 opens the stream by reading on to the frame that holds its first
            // sample, past the delays: the frames up to it must be there, whole, of the same
            // stream (the format is theirs).
            const int64_t needed = (info.delay + kDecoderDelay) / first.samplesPerFrame + 1;
            int64_t at = audioStart + first.frameBytes;
            for (int64_t frames = 0; frames < needed; ++frames) {
                const unsigned char *next = chunks.at(at, 4);
                MpegFrameHeader audio;
                if (!next || !audio.parse(next) || !continues(first, audio))
                    return std::nullopt;
                at += audio.frameBytes;
                if (at > fileSize)
                    return std::nullopt;
            }
            // libmpg123 starts after the delays and ends at the padding, but cannot end later
            // than its synthesis delay before the last decoded sample.
            stated.frames = info.frames * first.samplesPerFrame - info.delay - kDecoderDelay -
                            std::max(info.padding - kDecoderDelay, int64_t(0));
            break;
        }
        case InfoFrame::None: {
            // The whole file is walked, as libmpg123's scan would; it skips an ID3v1 tag.
            unsigned char tag[3];
            const bool id3v1 = fileSize - kId3v1Size >= audioStart &&
                               file.readAt(fileSize - kId3v1Size, tag, 3) == 3 &&
                               std::memcmp(tag, "TAG", 3) == 0;
            const int64_t frames =
                countFrames(chunks, first, audioStart, fileSize - (id3v1 ? kId3v1Size : 0));
            // libmpg123 opens no stream of a single frame: it finds no second header to
            // confirm the first.
            if (frames < 2)
                return std::nullopt;
            stated.frames = frames * first.samplesPerFrame;
            break;
        }
    }
    if (stated.frames <= 0)
        return std::nullopt;
    return stated;
}

}  // namespace zuna
