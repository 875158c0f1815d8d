#pragma once

#include <optional>

#include "audio/decode/statedlength.h"

namespace zuna {

class FileReader;

// An MP4/M4A file's length from its movie box, as FFmpeg's demuxer and decoder count it: the
// one sound track's media length (its header's and its time-to-sample table's, the lesser),
// cut to its one edit at normal speed, or iTunes' gapless record where there is one. AAC-LC
// (where the decoder gives the rate the container states) and ALAC only; the samples must
// all lie in the file, and the top-level boxes fill it. A cut file, a fragmented movie,
// several sound tracks or edits, HE-AAC, AAC without an edit or gapless record are FFmpeg's.
std::optional<StatedLength> mp4StatedLength(FileReader &file);

}  // namespace zuna
