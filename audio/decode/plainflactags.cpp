#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "audio/decode/filereader.h"
#include "audio/decode/plaintags.h"
#include "audio/decode/tagtext.h"

namespace zuna {

namespace {
constexpr int kStreamInfo = 0;
constexpr int kPadding = 1;
constexpr int kVorbisComment = 4;
constexpr int kMaxBlocks = 1024;
constexpr uint32_t kMaxCommentBytes = 1024 * 1024;  // larger blocks are TagLib's to read
constexpr uint32_t kMaxFields = 50000;

uint32_t littleEndian32(const unsigned char *b)
{
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// Where the first Vorbis comment block lies, walking the block headers as TagLib does; false
// when the blocks are not plainly laid out (TagLib would find the file invalid, or read
// them differently).
bool findComment(FileReader &file, int64_t *at, uint32_t *size)
{
    *size = 0;
    int64_t offset = 4;
    for (int n = 0; n < kMaxBlocks; ++n) {
        unsigned char h[4];
        if (file.readAt(offset, h, 4) != 4)
            return false;
        const int type = h[0] & 0x7F;
        const uint32_t length = uint32_t(h[1]) << 16 | uint32_t(h[2]) << 8 | h[3];
        if ((n == 0) != (type == kStreamInfo) || (length == 0 && type != kPadding) ||
            offset + 4 + int64_t(length) > file.size())
            return false;
        if (type == kVorbisComment && *size == 0) {
            *at = offset + 4;
            *size = length;
        }
        offset += 4 + int64_t(length);
        if (h[0] & 0x80)
            return *size > 0;  // the last block
    }
    return false;
}

// The fields of a Vorbis comment block, in order: upper-case ASCII keys, UTF-8 values, as
// TagLib keeps them. False when unsure.
bool parseComment(const unsigned char *data, uint32_t size, std::vector<Tag> *tags)
{
    if (size < 8)
        return false;
    const uint32_t vendor = littleEndian32(data);
    if (vendor > size - 8)
        return false;
    uint32_t pos = 4 + vendor;
    const uint32_t fields = littleEndian32(data + pos);
    pos += 4;
    if (fields > kMaxFields || fields > (size - 8) / 4)
        return false;
    for (uint32_t i = 0; i < fields; ++i) {
        if (size - pos < 4)
            return false;
        const uint32_t length = littleEndian32(data + pos);
        pos += 4;
        if (length > size - pos)
            return false;
        const unsigned char *entry = data + pos;
        pos += length;
        const auto *sep = static_cast<const unsigned char *>(std::memchr(entry, '=', length));
        if (!sep || sep == entry)
            return false;
        std::string key(reinterpret_cast<const char *>(entry), size_t(sep - entry));
        for (char &c : key) {
            if (c < 0x20 || c > 0x7D)
                return false;
            if (c >= 'a' && c <= 'z')
                c = char(c - 'a' + 'A');
        }
        if (key == "METADATA_BLOCK_PICTURE" || key == "COVERART")
            return false;  // pictures kept as comments: TagLib's to decode
        const unsigned char *value = sep + 1;
        const size_t valueBytes = size_t(entry + length - value);
        if (std::memchr(value, 0, valueBytes))
            return false;
        Tag tag{std::move(key), {}};
        if (!appendUtf8(value, valueBytes, &tag.text))
            return false;
        if (!tag.text.empty())  // TagLib keeps no empty values
            tags->push_back(std::move(tag));
    }
    return true;
}
}  // namespace

std::optional<std::vector<Tag>> readPlainFlacTags(FileReader &file)
{
    char magic[4];
    int64_t at = 0;
    uint32_t size = 0;
    if (file.readAt(0, magic, 4) != 4 || std::memcmp(magic, "fLaC", 4) != 0 ||
        !findComment(file, &at, &size) || size > kMaxCommentBytes)
        return std::nullopt;
    thread_local std::string block;  // kept for the next file
    block.resize(size);
    std::vector<Tag> tags;
    if (file.readAt(at, block.data(), size) != long(size) ||
        !parseComment(reinterpret_cast<const unsigned char *>(block.data()), size, &tags) ||
        tags.empty())  // no comment: TagLib takes the ID3 tags instead, if any
        return std::nullopt;
    std::stable_sort(tags.begin(), tags.end(),
                     [](const Tag &a, const Tag &b) { return a.name < b.name; });
    return tags;
}

}  // namespace zuna
