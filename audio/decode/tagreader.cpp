#include "audio/decode/tagreader.h"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/itfile.h>
#include <taglib/modfile.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/s3mfile.h>
#include <taglib/speexfile.h>
#include <taglib/tiostream.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xmfile.h>

#include <algorithm>
#include <cstdint>
#include <optional>

#include "audio/decode/filereader.h"
#include "audio/decode/mpegheader.h"
#include "audio/decode/plaintags.h"

namespace zuna {

namespace {
constexpr int64_t kTagHeaderBytes = 10;  // of an ID3v2 tag, and of an ID3v2.3/2.4 frame

bool isFrameId(const unsigned char *id)
{
    return std::all_of(id, id + 4, [](unsigned char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

// Where the padding of the ID3v2 tag at the start of a file lies, in file offsets.
struct Padding {
    int64_t start = 0;  // 0 for none known
    int64_t end = 0;    // the end of the tag
};

// Taggers pad an ID3v2 tag, up to a megabyte, so as to grow it in place later. TagLib
// reads the whole body of a tag in one block, but its frame parser stops at the first
// frame that starts with a zero byte, where the padding starts, and looks at no byte past
// it but for the one check described below. Where that is can be told from the frame
// headers alone, without reading the frames or the padding. This mirrors what TagLib's
// parser (1.13) looks at: a TagLib that looked further would need it revisited. Returns no
// padding when the tag is small (reading its padding costs less than finding it) or not
// plainly laid out.
Padding paddingOfLeadingTag(FileReader &file)
{
    constexpr int64_t kWorthFinding = int64_t{64} * 1024;
    constexpr int kMaxFrames = 4096;
    unsigned char h[kTagHeaderBytes];
    if (file.readAt(0, h, sizeof h) != long(sizeof h))
        return {};
    const int64_t end = id3v2TagSize(h, sizeof h);  // the tag starts at 0
    // ID3v2.3 and 2.4 only, without unsynchronisation, extended header or footer, whose
    // bodies TagLib parses at other offsets than those of the file.
    if (end < kWorthFinding || end > file.size() || (h[3] != 3 && h[3] != 4) || (h[5] & 0xD0))
        return {};
    const bool v24 = h[3] == 4;
    int64_t frame = kTagHeaderBytes;
    int64_t itunesCheck = 0;  // where TagLib looks for a frame ID if the padding starts next
    for (int n = 0; n < kMaxFrames && frame + kTagHeaderBytes < end; ++n) {
        if (file.readAt(frame, h, sizeof h) != long(sizeof h))
            return {};
        if (h[0] == 0) {
            unsigned char id[4];
            if (itunesCheck > 0 && itunesCheck + 4 <= end && file.readAt(itunesCheck, id, 4) == 4 &&
                isFrameId(id))
                return {};
            return {frame, end};
        }
        uint32_t size = bigEndian32(h + 4);
        if (!isFrameId(h) || (v24 && !synchsafe28(h + 4, &size)))
            return {};
        if (size == 0 || frame + kTagHeaderBytes + size > end)
            return {};
        // For an ID3v2.4 frame over 127 bytes that no frame ID follows, TagLib reads the
        // size again as a plain integer (iTunes writes them so), and takes that if a frame
        // ID follows it instead. For the last frame before the padding, that ID must not
        // be there; for the others, a frame ID does follow.
        itunesCheck = v24 && size > 127 ? frame + kTagHeaderBytes + bigEndian32(h + 4) : 0;
        frame += kTagHeaderBytes + size;
    }
    return {};
}

// TagLib reading through our FileReader instead of a FileStream of its own: its many small
// reads (tag headers, the end of the file, the first frame) then come from the buffer that
// opening the stream filled, rather than each costing seeks and reads of a FILE on a
// second descriptor. It keeps a position of its own, as the decoder's must not move.
// Read-only: TagLib is never asked to save. When TagLib reads the body of the leading
// ID3v2 tag, the block ends a frame header's length past the start of the padding (see
// paddingOfLeadingTag), which is where TagLib's parser stops looking.
class ReaderStream : public TagLib::IOStream {
public:
    explicit ReaderStream(FileReader &input) : file(input), padding(paddingOfLeadingTag(input)) {}

    TagLib::FileName name() const override { return ""; }
    bool readOnly() const override { return true; }
    bool isOpen() const override { return true; }
    long tell() const override { return long(position); }
    long length() override { return long(file.size()); }

    TagLib::ByteVector readBlock(unsigned long length) override
    {
        // Never more than the file holds, so that a tag claiming a size the file does not
        // have costs no allocation of that size (TagLib's own stream does the same).
        const int64_t left = std::max<int64_t>(0, file.size() - position);
        auto count = unsigned(std::min<uint64_t>({length, uint64_t(left), 0xFFFFFFFFu}));
        if (padding.start > 0 && position == kTagHeaderBytes &&
            position + int64_t(length) == padding.end)
            count = unsigned(padding.start + kTagHeaderBytes - position);
        if (count == 0)
            return {};
        TagLib::ByteVector block(count);
        const long got = file.readAt(position, block.data(), count);
        block.resize(got > 0 ? unsigned(got) : 0);
        position += block.size();
        return block;
    }

    // Like fseek(): a target before the start leaves the position where it was.
    void seek(long offset, Position from) override
    {
        const int64_t base = from == Beginning ? 0 : from == Current ? position : file.size();
        if (base + offset >= 0)
            position = base + offset;
    }

    void writeBlock(const TagLib::ByteVector &) override {}
    void insert(const TagLib::ByteVector &, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    void truncate(long) override {}

private:
    FileReader &file;
    const Padding padding;
    int64_t position = 0;
};

std::vector<Tag> flatten(const TagLib::PropertyMap &properties)
{
    std::vector<Tag> tags;
    for (const auto &[name, values] : properties) {
        const std::string key = name.to8Bit(true);
        for (const TagLib::String &value : values)
            tags.push_back(Tag{key, value.to8Bit(true)});
    }
    return tags;
}

// Tags only: the audio properties are the decoder's business.
template <typename File>
std::vector<Tag> tagsOf(TagLib::IOStream &stream)
{
    File file(&stream, false);
    return file.isValid() ? flatten(file.properties()) : std::vector<Tag>{};
}
}  // namespace

std::vector<Tag> readTags(TagLayout layout, FileReader &file)
{
    std::optional<std::vector<Tag>> plain;
    if (layout == TagLayout::Mpeg)
        plain = readPlainId3v2Tags(file);
    else if (layout == TagLayout::Flac)
        plain = readPlainFlacTags(file);
    return plain ? std::move(*plain) : readTagsWithTagLib(layout, file);
}

std::vector<Tag> readTagsWithTagLib(TagLayout layout, FileReader &file)
{
    // The parser is chosen from the content, never from the file's name.
    ReaderStream stream(file);
    auto *frames = TagLib::ID3v2::FrameFactory::instance();
    switch (layout) {
        case TagLayout::Mpeg: {
            TagLib::MPEG::File mpeg(&stream, frames, false);
            return mpeg.isValid() ? flatten(mpeg.properties()) : std::vector<Tag>{};
        }
        case TagLayout::Flac: {
            TagLib::FLAC::File flac(&stream, frames, false);
            return flac.isValid() ? flatten(flac.properties()) : std::vector<Tag>{};
        }
        case TagLayout::Mp4:
            return tagsOf<TagLib::MP4::File>(stream);
        case TagLayout::OggVorbis:
            return tagsOf<TagLib::Ogg::Vorbis::File>(stream);
        case TagLayout::OggOpus:
            return tagsOf<TagLib::Ogg::Opus::File>(stream);
        case TagLayout::OggFlac:
            return tagsOf<TagLib::Ogg::FLAC::File>(stream);
        case TagLayout::OggSpeex:
            return tagsOf<TagLib::Ogg::Speex::File>(stream);
        case TagLayout::Wav:
            return tagsOf<TagLib::RIFF::WAV::File>(stream);
        case TagLayout::Aiff:
            return tagsOf<TagLib::RIFF::AIFF::File>(stream);
        case TagLayout::WavPack:
            return tagsOf<TagLib::WavPack::File>(stream);
        case TagLayout::Ape:
            return tagsOf<TagLib::APE::File>(stream);
        case TagLayout::Mod:
            return tagsOf<TagLib::Mod::File>(stream);
        case TagLayout::S3m:
            return tagsOf<TagLib::S3M::File>(stream);
        case TagLayout::Xm:
            return tagsOf<TagLib::XM::File>(stream);
        case TagLayout::It:
            return tagsOf<TagLib::IT::File>(stream);
        case TagLayout::None:
            break;
    }
    return {};
}

}  // namespace zuna
