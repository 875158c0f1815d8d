#pragma once

#include <QString>

#include "metadata/trackmetadata.h"

namespace zuna {

// A TrackMetadata as a playlist row keeps it. The map the reader writes costs a tree of six
// nodes, each with a key and a value of its own; kept here are the three tag texts and the
// type (sharing the text of equal values, see TextPool), the length and the size as numbers,
// and which keys were there, from which the same map is made again. A map of any other
// shape (other keys, numbers not written the reader's way) is kept as it came.
class StoredMetadata {
public:
    explicit StoredMetadata(const TrackMetadata &metadata);

    TrackMetadata toMap() const;

    // As TrackMetadata::value(): an absent key reads as an empty string.
    QString title() const;
    QString artist() const;
    QString type() const;
    // The numbers the reader wrote; 0 for one missing or that is no number.
    qint64 lengthMs() const;
    qint64 sizeBytes() const;

private:
    enum Key : quint8 { Title, Artist, Album, Length, Type, Size, KeyCount };
    bool has(Key key) const { return present & (1u << key); }
    QString text(Key key) const;
    qint64 number(Key key) const;

    QString texts[4];  // title, artist, album, type
    qint64 length = 0;
    qint64 size = 0;
    quint8 present = 0;  // a bit per key
    bool compact = true;
    TrackMetadata asItCame;  // only when it could not be kept compactly
};

}  // namespace zuna
