#pragma once

#include <QObject>

#include "app/transport.h"

class ZUNAListView;

namespace zuna {

// A playlist view as the transport sees it: the view's rows, and from each row's entry
// widget the file and what was read of it. A child of the view, it goes with it.
class ViewRows : public QObject, public PlaylistRows {
    Q_OBJECT

public:
    explicit ViewRows(ZUNAListView *view);

    ZUNAListView *view() const { return list; }
    static ViewRows *of(const ZUNAListView *view);

    const QAbstractItemModel *model() const override;
    QString path(int row) const override;
    TrackMetadata metadata(int row) const override;

private:
    ZUNAListView *const list;
};

}  // namespace zuna
