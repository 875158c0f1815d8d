#include "playlist/zunalistview.h"

#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QSet>
#include <QUrl>

#include "metadata/trackrowitem.h"
#include "metadata/zunalistwidget.h"
#include "playlist/playlistintake.h"

namespace {
const QString kUriList = QStringLiteral("text/uri-list");
constexpr int kRowHeight = 40;
}  // namespace

ZUNAListView::ZUNAListView(int number, QWidget *parent)
    : QListWidget(parent),
      id(number),
      parking(new QWidget(this)),
      intake(std::make_unique<PlaylistIntake>(
          [this](const QString &path, const TrackMetadata &metadata) {
              appendRow(path, metadata);
          }))
{
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    parking->hide();
    // Files coming in show as their rows appear, under a busy cursor until the last.
    connect(intake.get(), &PlaylistIntake::busyChanged, this, [this](bool busy) {
        if (busy)
            viewport()->setCursor(Qt::BusyCursor);
        else
            viewport()->unsetCursor();
    });
}

ZUNAListView::~ZUNAListView() = default;

void ZUNAListView::AddFile(QString path)
{
    intake->finish();  // what was asked for earlier comes first
    appendRow(path, readTrackMetadata(path));
}

void ZUNAListView::AddFiles(const QStringList &paths)
{
    intake->add(paths, false);
}

bool ZUNAListView::takingIn() const
{
    return intake->busy();
}

void ZUNAListView::appendRow(const QString &path, const TrackMetadata &metadata)
{
    auto *item = new TrackRowItem;  // what a screen reader and a tooltip say of the row
    item->setSizeHint(QSize(0, kRowHeight));
    {
        const QScopedValueRollback<bool> inserting(insertingRow, true);
        insertItem(count(), item);
    }
    auto *entry = new ZUNAListWidget(metadata, path, nullptr);
    entry->releaseLabels();  // until the row is in sight
    setItemWidget(item, entry);
    entry->setParent(parking);  // placed, if it is in sight, by the next layout
}

// Every row has its entry widget, but only the rows in sight keep theirs on the viewport;
// the others wait, hidden, in `parking`. Qt's painting and scrolling visit every child of
// the viewport, so thousands of rows would make each scroll step, repaint and resize cost
// in proportion to the length of the list.
void ZUNAListView::placeEntries()
{
    QSet<QWidget *> inSight;
    const QRect area = viewport()->rect();
    const QModelIndex first = indexAt(area.topLeft());
    if (first.isValid()) {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        for (int row = first.row(); row < count(); ++row) {
            const QModelIndex index = model()->index(row, 0);
            option.rect = visualRect(index);
            if (option.rect.top() > area.bottom())
                break;
            QWidget *entry = indexWidget(index);
            if (!entry)
                continue;
            inSight.insert(entry);
            if (entry->parentWidget() != viewport()) {
                entry->setParent(viewport());
                static_cast<ZUNAListWidget *>(entry)->ensureLabels();
            }
            itemDelegateForIndex(index)->updateEditorGeometry(entry, option, index);
            entry->show();
        }
    }
    const QObjectList onViewport = viewport()->children();
    for (QObject *child : onViewport) {
        auto *entry = qobject_cast<ZUNAListWidget *>(child);
        if (entry && !inSight.contains(entry)) {
            entry->setParent(parking);
            entry->releaseLabels();
        }
    }
}

void ZUNAListView::updateEditorGeometries()
{
    // While a row goes in, the base class would move every entry; the layout that the
    // insertion schedules for when the event loop next turns places them, once.
    if (!insertingRow)
        placeEntries();
}

void ZUNAListView::scrollContentsBy(int dx, int dy)
{
    QListWidget::scrollContentsBy(dx, dy);
    placeEntries();
}

void ZUNAListView::keyPressEvent(QKeyEvent *event)
{
    // A row is reached with the arrow keys; Enter starts the row under the keyboard's cursor
    // exactly as a double-click does, selected or not (Tab into the list selects nothing).
    const bool plain =
        event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    switch (plain ? event->key() : 0) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (QListWidgetItem *row = currentItem())
                emit itemDoubleClicked(row);
            return;
        case Qt::Key_Delete:
            emit DeletePressed();
            return;
        case Qt::Key_Space:
            emit PausePressed();
            return;
        default:
            QListWidget::keyPressEvent(event);
    }
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
    QStringList paths;
    const QList<QUrl> urls = event->mimeData()->urls();
    for (const QUrl &url : urls) {
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            break;  // the first URL that is no local file ends the drop
        paths.append(path);
    }
    // A dropped folder stands for the music in it.
    intake->add(paths, true);
}
