#include "audio/decode/tagreader.h"

#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/mpegfile.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <unistd.h>

#include "audio/decode/filereader.h"

namespace {
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
}  // namespace

std::vector<Tag> readTags(SoundType type, const FileReader &file)
{
    // TagLib's stream takes ownership of the descriptor it is given, and picks parsers by
    // file name if asked to; so it gets a duplicate, and the parser is chosen from the
    // sniffed content. Our reads use pread(), so the shared offset does not matter.
    const int fd = ::dup(file.descriptor());
    if (fd < 0)
        return {};
    TagLib::FileStream stream(fd, true);
    if (!stream.isOpen())
        return {};
    auto *frames = TagLib::ID3v2::FrameFactory::instance();
    switch (type) {
        case SoundType::Mpeg: {
            TagLib::MPEG::File mpeg(&stream, frames, false);
            return mpeg.isValid() ? flatten(mpeg.properties()) : std::vector<Tag>{};
        }
        case SoundType::Flac: {
            TagLib::FLAC::File flac(&stream, frames, false);
            return flac.isValid() ? flatten(flac.properties()) : std::vector<Tag>{};
        }
        case SoundType::Other:
            break;
    }
    return {};
}
