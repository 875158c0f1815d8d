#pragma once

#include <QStringList>
#include <functional>

namespace zuna {

// What a drop puts in a playlist, in order: each dropped file as it is (any file gets its
// row), and each dropped folder replaced by the music files under it (MP3, FLAC, Ogg, Opus,
// MP4/M4A, AAC, WAV, AIFF, WavPack, Monkey's Audio, MP2, tracker modules, WebM), by
// extension in any case, in the order a user reads a library: a folder's files,
// then its subfolders one after the other, names compared naturally ("2" before "10") and
// regardless of case. Within a dropped folder, a folder reached twice (through a symbolic
// link) is walked once; what cannot be read is passed over. It reads only folder listings,
// never a file.
QStringList expandFolders(const QStringList &dropped);

// The same, handed over as it is found: `take` gets the files in order, a folder's (or one
// dropped file) at a time, never an empty list, and stops the walk by returning false.
void walkFolders(const QStringList &dropped, const std::function<bool(const QStringList &)> &take);

}  // namespace zuna
