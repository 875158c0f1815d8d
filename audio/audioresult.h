#pragma once

namespace zuna {

// Result codes of the audio layer. Nothing in the layer throws; every operation that can
// fail says why with one of these.
enum class AudioResult {
    Ok,               // the operation did what was asked
    CannotOpen,       // the path does not exist or cannot be read (permissions, I/O error)
    NotAFile,         // the path is a directory, pipe, device or other non-regular file
    Unsupported,      // no decoder (MP3, FLAC, FFmpeg) finds sound in the content
    Corrupt,          // the content was recognised but its decoder gave up on it
    NoDevice,         // the sound device could not be opened
    InvalidHandle,    // the channel's stream was released or the channel has ended
    InvalidArgument,  // a value out of range (a position beyond the end, a negative volume)
};

// A short English description for log lines and tools.
const char *describe(AudioResult result);

}  // namespace zuna
