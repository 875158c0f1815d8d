#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/audioformat.h"
#include "audio/audioresult.h"
#include "audio/decode/taglayout.h"

namespace zuna {

class Decoder;
class FileReader;

// One audio file opened for decoding: the file, the decoder that reads it, and what opening
// learnt of it (kind, PCM format, exact length), which never changes afterwards and so may be
// read from any thread. The decoder itself belongs to one thread at a time: whoever plays
// the file.
class TrackFile {
public:
    // Opens `path` (bytes in the platform's file-name encoding) and its decoder, telling MP3
    // from FLAC from anything else by content. Results: Ok; CannotOpen, NotAFile
    // (FileReader::open); Unsupported, Corrupt (openDecoder).
    static AudioResult open(const std::string &path, std::unique_ptr<TrackFile> *track);

    // Takes `file` and a decoder opened on it as they are, with no tags (tests stand a
    // decoder of their own in for a real one).
    static std::unique_ptr<TrackFile> adopt(SoundType type, std::unique_ptr<FileReader> file,
                                            std::unique_ptr<Decoder> decoder);

    ~TrackFile();
    TrackFile(const TrackFile &) = delete;
    TrackFile &operator=(const TrackFile &) = delete;

    SoundType type() const { return soundType; }
    TagLayout tagLayout() const { return tags; }
    AudioFormat format() const { return pcmFormat; }
    int64_t lengthFrames() const { return length; }
    int64_t fileSize() const { return size; }  // in bytes, as at opening

    // The file and the decoder belong to the same thread.
    FileReader &file() { return *reader; }
    Decoder &decoder() { return *pcm; }

private:
    TrackFile(SoundType type, TagLayout layout, std::unique_ptr<FileReader> file,
              std::unique_ptr<Decoder> opened);

    const SoundType soundType;
    const TagLayout tags;
    std::unique_ptr<FileReader> reader;
    std::unique_ptr<Decoder> pcm;  // reads through `reader`
    const AudioFormat pcmFormat;
    const int64_t length;
    const int64_t size;
};

}  // namespace zuna
