#pragma once

#include <optional>
#include <vector>

#include "audio/tag.h"

namespace zuna {

class FileReader;

// Readers of the tags of plainly laid out MP3 and FLAC files, giving exactly what TagLib's
// property map gives for them (as readTags flattens it) at a fraction of the cost: only
// the headers and the frames or comments that hold text are read, never pictures or
// padding, and nothing is allocated by a size the file claims. Anything they are not sure
// of (unsynchronised, compressed or encrypted frames, frame kinds or flags they do not
// know, APE tags, broken sizes, malformed text) makes them answer nothing, and the caller
// asks TagLib. Reads through `file` without moving its read position.

// An MPEG file whose ID3v2.3 or 2.4 tag starts the file.
std::optional<std::vector<Tag>> readPlainId3v2Tags(FileReader &file);

// A FLAC file that starts with its signature, through its first Vorbis comment block.
std::optional<std::vector<Tag>> readPlainFlacTags(FileReader &file);

}  // namespace zuna
