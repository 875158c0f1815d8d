#pragma once

#include <cstdint>

#include "audio/audioformat.h"

namespace zuna {

class FileReader;

// What the first bytes of a file say about its audio.
struct SniffedFormat {
    SoundType type = SoundType::Other;
    int64_t audioStart = 0;  // offset of the first frame, past any ID3v2 tags
    // For other content that starts like a known container: the FFmpeg demuxer to try
    // before probing, or nullptr.
    const char *demuxer = nullptr;
};

// Tells FLAC from MPEG audio from anything else by the file's content, never by its name: a
// FLAC file named ".mp3" is FLAC; one that starts like another container (MP4, Ogg, RIFF,
// AIFF, Matroska, WavPack, Monkey's Audio, a tracker module) is other, whatever frame
// headers its data seems to hold. Leading ID3v2 tags are skipped; MPEG audio must show three
// consecutive, consistent frame headers (or run to the end of the file), so random bytes are not
// taken for audio. Reads at most about 80 KiB past the tags.
SniffedFormat sniffFormat(FileReader &file);

}  // namespace zuna
