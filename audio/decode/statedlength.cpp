#include "audio/decode/statedlength.h"

#include <cstring>

#include "audio/decode/mp4length.h"
#include "audio/decode/ogglength.h"
#include "audio/decode/wavpacklength.h"

namespace zuna {

std::optional<StatedLength> readStatedLength(FileReader &file, const char *demuxer)
{
    if (!demuxer)
        return std::nullopt;
    if (std::strcmp(demuxer, "ogg") == 0)
        return oggStatedLength(file);
    if (std::strcmp(demuxer, "mov") == 0)
        return mp4StatedLength(file);
    if (std::strcmp(demuxer, "wv") == 0)
        return wavpackStatedLength(file);
    return std::nullopt;
}

}  // namespace zuna
