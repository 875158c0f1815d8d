#pragma once

namespace zuna {

// How a file keeps its tags, which picks the tag parser: decided from the file's content
// (the sniffer's or the demuxer's verdict), never from its name.
enum class TagLayout {
    None,
    Mpeg,       // ID3v2, APE, ID3v1
    Flac,       // Vorbis comments in FLAC metadata blocks
    Mp4,        // iTunes-style items in MP4/M4A
    OggVorbis,  // Vorbis comments in Ogg
    OggOpus,
    OggFlac,
    OggSpeex,
    Wav,   // RIFF INFO and an ID3v2 chunk
    Aiff,  // an ID3v2 chunk
    WavPack,
    Ape,
    Mod,  // tracker modules: the song's name
    S3m,
    Xm,
    It,
};

}  // namespace zuna
