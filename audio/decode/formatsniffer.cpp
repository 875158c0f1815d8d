#include "audio/decode/formatsniffer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/decode/filereader.h"
#include "audio/decode/mpegheader.h"

namespace zuna {

namespace {
constexpr size_t kKiB = 1024;
constexpr size_t kSearchWindow = 64 * kKiB;  // how far past the tags a first frame may start
constexpr size_t kLookAhead = 16 * kKiB;     // room for the two frames that must follow it
constexpr int kFramesToConfirm = 3;
// Nearly every file has its first frame right after the tags, so a short window is looked
// at first. Its look-ahead holds two frames of the largest size (2881 bytes) and a header,
// so within it each candidate is judged as in the whole window.
constexpr size_t kQuickWindow = 4 * kKiB;
constexpr size_t kQuickLookAhead = 8 * kKiB;

// What of the sniffing buffer holds the file's bytes.
struct Bytes {
    const unsigned char *data;
    size_t count;
    size_t size() const { return count; }
    const unsigned char &operator[](size_t i) const { return data[i]; }
};

// Offset of the first byte after any ID3v2 tags at the start of the file.
int64_t skipId3v2(FileReader &file)
{
    int64_t offset = 0;
    unsigned char header[10];
    while (file.readAt(offset, header, sizeof header) == long(sizeof header)) {
        const int64_t size = id3v2TagSize(header, sizeof header);
        if (size == 0)
            break;
        offset += size;
    }
    return offset;
}

// Whether a run of consistent frames starts at `at` in `bytes` (which holds the file from
// `base` on). A run that ends exactly at the end of the file counts as confirmed.
bool confirmsMpeg(const Bytes &bytes, size_t at, int64_t base, int64_t fileSize)
{
    MpegFrameHeader first;
    if (!first.parse(&bytes[at]))
        return false;
    size_t offset = at;
    MpegFrameHeader frame = first;
    for (int seen = 1; seen < kFramesToConfirm; ++seen) {
        offset += size_t(frame.frameBytes);
        if (base + int64_t(offset) >= fileSize)
            return true;
        if (offset + 4 > bytes.size())
            return false;
        if (std::memcmp(&bytes[offset], "TAG", 3) == 0)  // ID3v1 tag right after the audio
            return true;
        MpegFrameHeader next;
        if (!next.parse(&bytes[offset]) || !next.sameStream(first))
            return false;
        frame = next;
    }
    return true;
}

// The FFmpeg demuxer for bytes that start like a container or module holding no MPEG audio
// stream of its own, or nullptr. Their data (AAC, PCM, samples) can hold runs of what look
// like MPEG frame headers, a copy cut short even more so; and naming the demuxer spares
// FFmpeg from running every probe it has on each file.
const char *otherContainer(const Bytes &b)
{
    const auto at = [&b](size_t offset, const char *magic) {
        const size_t n = std::strlen(magic);
        return b.size() >= offset + n && std::memcmp(&b[offset], magic, n) == 0;
    };
    const std::pair<const char *, const char *> starts[] = {{"OggS", "ogg"},
                                                            {"RIFF", "wav"},
                                                            {"RF64", "wav"},
                                                            {"FORM", "aiff"},
                                                            {"wvpk", "wv"},
                                                            {"MAC ", "ape"},
                                                            {"\x1A\x45\xDF\xA3", "matroska"},
                                                            {"IMPM", "libopenmpt"},
                                                            {"Extended Module:", "libopenmpt"}};
    for (const auto &[magic, demuxer] : starts)
        if (at(0, magic))
            return demuxer;
    if (at(4, "ftyp"))
        return "mov";
    if (at(44, "SCRM"))
        return "libopenmpt";
    for (const char *magic : {"M.K.", "M!K!", "FLT4", "FLT8"})  // ProTracker modules
        if (at(1080, magic))
            return "libopenmpt";
    return nullptr;
}

// Looks for the first confirmed frame within `window` bytes past `start`.
SniffedFormat sniffWindow(FileReader &file, int64_t start, size_t window, size_t lookAhead,
                          bool *searchedAll)
{
    SniffedFormat sniffed;
    // One buffer per thread for every file it sniffs: neither allocated nor cleared per file.
    thread_local std::vector<unsigned char> buffer(kSearchWindow + kLookAhead);
    const long got = file.readAt(start, buffer.data(), std::min(buffer.size(), window + lookAhead));
    // A file that ends within the window has been searched to its end.
    *searchedAll = window >= kSearchWindow || got < 4 || size_t(got) - 4 <= window;
    if (got < 4)
        return sniffed;
    const Bytes bytes{buffer.data(), size_t(got)};
    if (std::memcmp(bytes.data, "fLaC", 4) == 0) {
        sniffed.type = SoundType::Flac;
        sniffed.audioStart = start;
        return sniffed;
    }
    if ((sniffed.demuxer = otherContainer(bytes))) {
        *searchedAll = true;
        return sniffed;
    }
    const size_t last = std::min(bytes.size() - 4, window);
    for (size_t i = 0; i <= last; ++i) {
        if (bytes[i] == 0xFF && (bytes[i + 1] & 0xE0) == 0xE0 &&
            confirmsMpeg(bytes, i, start, file.size())) {
            sniffed.type = SoundType::Mpeg;
            sniffed.audioStart = start + int64_t(i);
            return sniffed;
        }
    }
    return sniffed;
}
}  // namespace

SniffedFormat sniffFormat(FileReader &file)
{
    const int64_t start = skipId3v2(file);
    bool searchedAll = false;
    const SniffedFormat quick =
        sniffWindow(file, start, kQuickWindow, kQuickLookAhead, &searchedAll);
    if (quick.type != SoundType::Other || searchedAll)
        return quick;
    return sniffWindow(file, start, kSearchWindow, kLookAhead, &searchedAll);
}

}  // namespace zuna
