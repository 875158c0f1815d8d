#pragma once

#include <QMap>
#include <QString>

// What a playlist row shows of one audio file, as text: "TITLE", "ARTIST", "ALBUM",
// "LENGTH" (milliseconds), "TYPE" ("MP3", "FLAC" or "UNKNOW") and "SIZE" (bytes). Readers
// look keys up with value(), so an absent key reads as an empty string.
using TrackMetadata = QMap<QString, QString>;

// Reads the tags, length, kind and size of the file at `path`. Never fails and never
// blocks: what cannot be read gets its default ("Unknow", "0", "UNKNOW"). Only headers and
// tags are read; no audio is decoded and no sound device is opened. Tag texts longer than
// 1024 characters keep their first 1024.
TrackMetadata readTrackMetadata(QString path);
