#pragma once

#include <QListWidgetItem>
#include <QString>

#include "metadata/trackmetadata.h"

namespace zuna {

// What a screen reader says of a playlist row: the title, the artist and the length, with
// the file's name standing in for a title the file does not have ("Unknow"), and an artist
// it does not have left out. "Long tone, ZUNA, 02:00".
QString trackRowName(const TrackMetadata &metadata, const QString &path);

// A playlist row's slot in the list: 40 px high, as wide as the list gives it. It tells a
// screen reader what the row holds and shows the whole title, the artist and the file's path
// as its tooltip, the row's labels being cut to the width they have. It keeps nothing of its
// own, not even its size: all of it comes, when asked for, from the entry widget over the
// row or from the constant below, so a row costs no list of stored values.
class TrackRowItem : public QListWidgetItem {
public:
    static constexpr int kHeight = 40;

    QVariant data(int role) const override;
};

}  // namespace zuna
