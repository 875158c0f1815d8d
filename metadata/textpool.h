#pragma once

#include <QSet>
#include <QString>

#include "metadata/trackmetadata.h"

namespace zuna {

// Equal texts kept once. A library's artist and album names repeat over thousands of rows;
// every row holding the pool's copy shares its one buffer (QString's implicit sharing).
// Not for use from two threads at once.
class TextPool {
public:
    // The pool's copy of `text`, which becomes it if the pool had none.
    QString shared(const QString &text);
    // The "ARTIST" and "ALBUM" values of `metadata` replaced by the pool's copies.
    void shareRepeated(TrackMetadata *metadata);

private:
    QSet<QString> texts;
};

}  // namespace zuna
