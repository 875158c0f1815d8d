#pragma once

#include <vector>

#include "audio/decode/taglayout.h"
#include "audio/tag.h"

namespace zuna {

class FileReader;

// Reads the tags of `file` through TagLib's property map, which gives ID3v1, ID3v2, APE,
// Vorbis comments, MP4 items, RIFF INFO and a module's name the same names, with the parser
// that `layout` names. A property with several values yields one Tag per
// value, in order. Pictures and other binary frames are not tags. Reads through `file`'s
// buffer, but never moves its read position.
std::vector<Tag> readTags(TagLayout layout, FileReader &file);

}  // namespace zuna
