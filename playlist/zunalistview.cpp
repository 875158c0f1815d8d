#include "playlist/zunalistview.h"

#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "metadata/trackmetadata.h"
#include "metadata/zunalistwidget.h"

namespace {
const QString kUriList = QStringLiteral("text/uri-list");
constexpr int kRowHeight = 40;
}  // namespace

ZUNAListView::ZUNAListView(int id, QWidget *parent) : QListWidget(parent), id(id)
{
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::InternalMove);
}

ZUNAListView::~ZUNAListView() = default;

void ZUNAListView::AddFile(QString path)
{
    auto *item = new QListWidgetItem;
    const TrackMetadata metadata = readTrackMetadata(path);
    item->setSizeHint(QSize(0, kRowHeight));
    insertItem(count(), item);
    setItemWidget(item, new ZUNAListWidget(metadata, path, nullptr));
}

void ZUNAListView::dragEnterEvent(QDragEnterEvent *event)
{
    qDebug() << event->mimeData()->formats();
    if (event->mimeData()->hasFormat(kUriList))
        event->acceptProposedAction();
}

void ZUNAListView::dragMoveEvent(QDragMoveEvent *event)
{
    // In InternalMove mode the base class refuses every move that does not come from this
    // view, which would turn a file manager's drag away as soon as it moves; files keep
    // being welcome everywhere over the list.
    if (event->mimeData()->hasFormat(kUriList)) {
        event->acceptProposedAction();
        return;
    }
    QListWidget::dragMoveEvent(event);
}

void ZUNAListView::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    for (const QUrl &url : urls) {
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            break;  // the first URL that is no local file ends the drop
        AddFile(path);
    }
}
