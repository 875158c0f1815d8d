#pragma once

#include <vector>

#include "audio/decode/taglayout.h"
#include "audio/tag.h"

namespace zuna {

class FileReader;

// Reads the tags of `file` as TagLib's property map gives them, which gives ID3v1, ID3v2, APE,
// Vorbis comments, MP4 items, RIFF INFO and a module's name the same names, with the parser
// that `layout` names. A property with several values yields one Tag per
// value, in order. Pictures and other binary frames are not tags. Reads through `file`'s
// buffer, but never moves its read position. Plainly laid out MP3 and FLAC files are read
// by a lean reader of our own (plaintags.h) that gives the same tags for less.
std::vector<Tag> readTags(TagLayout layout, FileReader &file);

// The same through TagLib alone: what the lean readers are held against.
std::vector<Tag> readTagsWithTagLib(TagLayout layout, FileReader &file);

}  // namespace zuna
