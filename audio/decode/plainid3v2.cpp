#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "audio/decode/filereader.h"
#include "audio/decode/mpegheader.h"
#include "audio/decode/plaintags.h"
#include "audio/decode/tagtext.h"

namespace zuna {

namespace {
constexpr int64_t kHeaderBytes = 10;  // of the tag, and of each ID3v2.3/2.4 frame
constexpr int kMaxFrames = 4096;
constexpr uint32_t kMaxTextBytes = 64 * 1024;  // longer texts are TagLib's to read

enum class Kind { Text, Genre, Date, Silent };
struct FrameKind {
    const char *id;
    const char *key;  // the property TagLib files it under; none for Silent
    Kind kind;
    int onlyVersion;  // 0: both
};

// The frames read here (title, artist and album first), each checked against TagLib: the usual text
// frames, and the binary ones that give no property. Any other frame leaves the file to TagLib,
// which knows them all (and renames, merges or drops some of ID3v2.3's as it reads them).
constexpr FrameKind kFrames[] = {
    {"TIT2", "TITLE", Kind::Text, 0},      {"TPE1", "ARTIST", Kind::Text, 0},
    {"TALB", "ALBUM", Kind::Text, 0},      {"TRCK", "TRACKNUMBER", Kind::Text, 0},
    {"TPOS", "DISCNUMBER", Kind::Text, 0}, {"TPE2", "ALBUMARTIST", Kind::Text, 0},
    {"TCOM", "COMPOSER", Kind::Text, 0},   {"TSSE", "ENCODING", Kind::Text, 0},
    {"TCON", "GENRE", Kind::Genre, 0},     {"TDRC", "DATE", Kind::Date, 4},
    {"TYER", "DATE", Kind::Date, 3},       {"APIC", nullptr, Kind::Silent, 0},
    {"PRIV", nullptr, Kind::Silent, 0},    {"GEOB", nullptr, Kind::Silent, 0},
    {"POPM", nullptr, Kind::Silent, 0},    {"PCNT", nullptr, Kind::Silent, 0},
    {"MCDI", nullptr, Kind::Silent, 0},
};

const FrameKind *kindOf(const unsigned char *id, int version)
{
    for (const FrameKind &k : kFrames)
        if (std::memcmp(k.id, id, 4) == 0 && (k.onlyVersion == 0 || k.onlyVersion == version))
            return &k;
    return nullptr;
}

// Whether the four bytes TagLib looks at past an ID3v2.4 frame name a frame (capitals and
// digits). TagLib's own test here may or may not take '0' for a digit, so IDs with a '0'
// count as unsure.
enum class IdCheck { Yes, No, Unsure };
IdCheck frameIdAt(FileReader &file, int64_t at, int64_t end)
{
    unsigned char id[4];
    if (at < 0 || at + 4 > end || file.readAt(at, id, 4) != 4)
        return IdCheck::No;
    bool zero = false;
    for (const unsigned char c : id) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return IdCheck::No;
        zero = zero || c == '0';
    }
    return zero ? IdCheck::Unsure : IdCheck::Yes;
}

// The values of a text frame's body, as TagLib splits it: trailing NULs dropped, split at
// each NUL (two zero bytes, aligned, in UTF-16), empty pieces skipped. False when unsure.
bool textValues(const unsigned char *body, size_t size, std::vector<std::string> *values)
{
    values->clear();
    if (size < 2)
        return true;  // no text at all
    const unsigned encoding = body[0];
    if (encoding > 3)
        return false;
    const size_t unit = encoding == 0 || encoding == 3 ? 1 : 2;
    size_t length = size - 1;
    while (length > 0 && body[length] == 0)
        --length;
    length += length % unit;
    if (1 + length > size)
        return false;  // an odd number of UTF-16 bytes
    const unsigned char *text = body + 1;
    for (size_t start = 0, i = 0; i <= length; i += unit) {
        const bool delimiter =
            i < length && (unit == 1 ? text[i] == 0 : (text[i] | text[i + 1]) == 0);
        if (i < length && !delimiter)
            continue;
        const unsigned char *piece = text + start;
        const size_t n = i - start;
        start = i + unit;
        if (n == 0)
            continue;
        std::string value;
        bool ok = true;
        if (encoding == 0) {
            appendLatin1(piece, n, &value);
        } else if (encoding == 3) {
            ok = appendUtf8(piece, n, &value);
        } else if (encoding == 2) {
            ok = appendUtf16(piece, n, true, &value);
        } else {
            // Each value with its own byte order mark; TagLib guesses for the others.
            const bool little = piece[0] == 0xFF && piece[1] == 0xFE;
            const bool big = piece[0] == 0xFE && piece[1] == 0xFF;
            ok = (little || big) && appendUtf16(piece + 2, n - 2, big, &value);
        }
        if (!ok)
            return false;
        values->push_back(std::move(value));
    }
    return true;
}

// TagLib turns genre numbers into names and "(n)" references into numbers and names; only
// plain names are taken here.
bool isPlainGenre(const std::string &value)
{
    return value.find('(') == std::string::npos &&
           std::none_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool hasApeTag(FileReader &file)
{
    // At the end of the file, or before an ID3v1 tag there.
    for (const int64_t back : {int64_t{32}, int64_t{128 + 32}}) {
        char magic[8];
        if (file.size() >= back && file.readAt(file.size() - back, magic, 8) == 8 &&
            std::memcmp(magic, "APETAGEX", 8) == 0)
            return true;
    }
    return false;
}
}  // namespace

std::optional<std::vector<Tag>> readPlainId3v2Tags(FileReader &file)
{
    unsigned char h[kHeaderBytes];
    if (file.readAt(0, h, sizeof h) != long(sizeof h) || std::memcmp(h, "ID3", 3) != 0)
        return std::nullopt;
    const int version = h[3];
    uint32_t bodySize = 0;
    // No unsynchronisation, extended header, experimental flag or footer.
    if ((version != 3 && version != 4) || h[5] != 0 || !synchsafe28(h + 6, &bodySize) ||
        bodySize <= kHeaderBytes || kHeaderBytes + int64_t(bodySize) > file.size() ||
        hasApeTag(file))
        return std::nullopt;
    const int64_t end = kHeaderBytes + int64_t(bodySize);
    std::vector<Tag> tags;
    bool shown = false;  // a title, artist or album with text: TagLib takes this tag, not ID3v1
    std::vector<const char *> seen;  // properties read
    std::vector<std::string> values;
    thread_local std::string body;  // the frame read, kept for the next file
    int64_t frame = kHeaderBytes;
    for (int n = 0; frame < end - kHeaderBytes; ++n) {
        if (n == kMaxFrames || file.readAt(frame, h, sizeof h) != long(sizeof h))
            return std::nullopt;
        if (h[0] == 0)
            break;  // the padding
        const FrameKind *kind = kindOf(h, version);
        uint32_t size = bigEndian32(h + 4);
        if (!kind || (version == 4 && !synchsafe28(h + 4, &size)) || h[8] != 0 || h[9] != 0 ||
            size == 0 || size > end - frame - kHeaderBytes)
            return std::nullopt;
        if (version == 4 && size > 127) {
            // TagLib reads such a size as a plain integer instead (as iTunes writes it) when
            // no frame follows the frame the synchsafe size gives, but one follows that.
            const IdCheck next = frameIdAt(file, frame + kHeaderBytes + size, end);
            const IdCheck other =
                next == IdCheck::No
                    ? frameIdAt(file, frame + kHeaderBytes + bigEndian32(h + 4), end)
                    : IdCheck::No;
            if (next == IdCheck::Unsure || other != IdCheck::No)
                return std::nullopt;
        }
        if (kind->kind != Kind::Silent) {
            // Each property from one frame only: how TagLib joins duplicates is not read here.
            if (size > kMaxTextBytes ||
                std::any_of(seen.begin(), seen.end(),
                            [kind](const char *key) { return std::strcmp(key, kind->key) == 0; }))
                return std::nullopt;
            seen.push_back(kind->key);
            body.resize(size);
            if (file.readAt(frame + kHeaderBytes, body.data(), size) != long(size) ||
                !textValues(reinterpret_cast<const unsigned char *>(body.data()), size, &values))
                return std::nullopt;
            for (std::string &value : values) {
                shown = shown || (kind < kFrames + 3 && !value.empty());
                if (kind->kind == Kind::Genre && !isPlainGenre(value))
                    return std::nullopt;
                if (const size_t t = value.find('T'); kind->kind == Kind::Date && t != value.npos)
                    value[t] = ' ';  // TagLib's dates have no ISO 8601 'T'
                tags.push_back(Tag{kind->key, std::move(value)});
            }
        }
        frame += kHeaderBytes + size;
    }
    if (!shown)
        return std::nullopt;
    std::stable_sort(tags.begin(), tags.end(),
                     [](const Tag &a, const Tag &b) { return a.name < b.name; });
    return tags;
}

}  // namespace zuna
