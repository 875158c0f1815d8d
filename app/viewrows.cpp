#include "app/viewrows.h"

#include "playlist/zunalistview.h"
#include "playlist/zunalistwidget.h"

namespace zuna {

namespace {
const ZUNAListWidget *entryAt(const QListWidget *list, int row)
{
    QListWidgetItem *item = list->item(row);
    return item ? qobject_cast<const ZUNAListWidget *>(list->itemWidget(item)) : nullptr;
}
}  // namespace

ViewRows::ViewRows(ZUNAListView *view) : QObject(view), list(view) {}

ViewRows *ViewRows::of(const ZUNAListView *view)
{
    return view->findChild<ViewRows *>(QString(), Qt::FindDirectChildrenOnly);
}

const QAbstractItemModel *ViewRows::model() const
{
    return list->model();
}

QString ViewRows::path(int row) const
{
    const ZUNAListWidget *entry = entryAt(list, row);
    return entry ? entry->Getpath() : QString();
}

TrackMetadata ViewRows::metadata(int row) const
{
    const ZUNAListWidget *entry = entryAt(list, row);
    return entry ? entry->Getmetadata() : TrackMetadata();
}

}  // namespace zuna
