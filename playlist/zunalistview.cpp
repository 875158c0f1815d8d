#include "playlist/zunalistview.h"

#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHoverEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSet>
#include <QUrl>
#include <QtMath>
#include <algorithm>

#include "playlist/intakeprobe.h"
#include "playlist/playlistintake.h"
#include "playlist/trackrowitem.h"
#include "playlist/zunalistwidget.h"

using namespace zuna;

namespace {
const QString kUriList = QStringLiteral("text/uri-list");
constexpr int kRowHeight = TrackRowItem::kHeight;
}  // namespace

ZUNAListView::ZUNAListView(int number, QWidget *parent)
    : QListWidget(parent),
      id(number),
      parking(new QWidget(this)),
      intake(std::make_unique<PlaylistIntake>(
          [this](const QString &path, const StoredMetadata &metadata) {
              return appendRow(path, metadata);
          }))
{
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    // Scroll bars count pixels: rows are placed by arithmetic, not by a layout of them all.
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setUniformItemSizes(true);
    parking->hide();
    // Files coming in show as their rows appear, under a busy cursor until the last.
    connect(intake.get(), &PlaylistIntake::busyChanged, this, [this](bool busy) {
        if (busy)
            viewport()->setCursor(Qt::BusyCursor);
        else
            viewport()->unsetCursor();
    });
    probeIntakeIfAsked(this);
}

ZUNAListView::~ZUNAListView() = default;

void ZUNAListView::AddFile(QString path)
{
    intake->finish();  // what was asked for earlier comes first
    appendRow(path, StoredMetadata(readTrackMetadata(path)));
}

void ZUNAListView::AddFiles(const QStringList &paths)
{
    intake->add(paths, false);
}

bool ZUNAListView::takingIn() const
{
    return intake->busy();
}

namespace {
// Whether a list of `rows` rows is about to double the tables Qt keeps of its item widgets.
// Each row is an entry in several hash tables (the view's and the model's) that grow as the
// count passes a power of two, all at once: at 65,536 rows that alone takes milliseconds,
// and nothing else should share its turn of the event loop.
bool nearTableGrowth(int rows)
{
    constexpr quint32 kFirstCostly = 4096;
    constexpr quint32 kMargin = 8;  // the model counts a few indexes of its own besides the rows
    const quint32 power = qNextPowerOfTwo(quint32(rows) + kMargin) >> 1;  // the last passed
    return power >= kFirstCostly && quint32(rows) + kMargin - power <= 2 * kMargin;
}
}  // namespace

bool ZUNAListView::appendRow(const QString &path, const StoredMetadata &metadata)
{
    // 40 px high, and what a screen reader and a tooltip say of the row, without storing either.
    auto *item = new TrackRowItem;
    const QScopedValueRollback<bool> inserting(insertingRow, true);
    insertItem(count(), item);
    // Made on the viewport, where setItemWidget() puts it, and kept hidden there: the list
    // has nothing to move or show. The next layout places it if it is in sight.
    auto *entry = new ZUNAListWidget(metadata, path, viewport());
    entry->releaseLabels();
    entry->keepHidden(true);
    setItemWidget(item, entry);
    entry->setParent(parking);
    return !nearTableGrowth(count() + 1);
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
            auto *entry = qobject_cast<ZUNAListWidget *>(indexWidget(index));
            if (!entry)
                continue;
            inSight.insert(entry);
            if (entry->parentWidget() != viewport() || entry->keptHidden()) {
                entry->setParent(viewport());
                entry->keepHidden(false);
                entry->ensureLabels();
            }
            itemDelegateForIndex(index)->updateEditorGeometry(entry, option, index);
            entry->show();
        }
    }
    const QObjectList onViewport = viewport()->children();
    for (QObject *child : onViewport) {
        auto *entry = qobject_cast<ZUNAListWidget *>(child);
        if (entry && !inSight.contains(entry)) {
            entry->keepHidden(true);
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

int ZUNAListView::rowAtY(int y) const
{
    const int content = y + verticalOffset();
    return content < 0 ? -1 : content / kRowHeight;
}

QRect ZUNAListView::rowRect(int row) const
{
    return QRect(0, row * kRowHeight - verticalOffset(), viewport()->width(), kRowHeight);
}

QRect ZUNAListView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != model() || index.row() >= count())
        return QRect();
    return rowRect(index.row());
}

QModelIndex ZUNAListView::indexAt(const QPoint &point) const
{
    const int row = rowAtY(point.y());
    if (point.x() < 0 || point.x() >= viewport()->width() || row < 0 || row >= count())
        return QModelIndex();
    return model()->index(row, 0);
}

void ZUNAListView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid() || index.row() >= count())
        return;
    updateScrollRange();  // rows just put in may lie beyond the range set last
    const int top = index.row() * kRowHeight;
    const int height = viewport()->height();
    const int offset = verticalOffset();
    int value = offset;
    switch (hint) {
        case EnsureVisible:
            if (top < offset)
                value = top;
            else if (top + kRowHeight > offset + height)
                value = top + kRowHeight - height;
            break;
        case PositionAtTop:
            value = top;
            break;
        case PositionAtBottom:
            value = top + kRowHeight - height;
            break;
        case PositionAtCenter:
            value = top - (height - kRowHeight) / 2;
            break;
    }
    verticalScrollBar()->setValue(value);
}

void ZUNAListView::doItemsLayout()
{
    // QListView's own layout would walk every row; the base of all views only places the
    // scroll bars and the entries, and repaints.
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): past QListView on purpose
    QAbstractItemView::doItemsLayout();
}

void ZUNAListView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    // QListView forgets its whole layout here; a layout, once the rows of this turn are in,
    // only has the scroll range to update.
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): past QListView on purpose
    QAbstractItemView::rowsInserted(parent, start, end);
    scheduleDelayedItemsLayout();
}

void ZUNAListView::updateScrollRange()
{
    const int height = viewport()->height();
    QScrollBar *bar = verticalScrollBar();
    bar->setSingleStep(kRowHeight / 2);
    bar->setPageStep(height);
    bar->setRange(0, std::max(0, count() * kRowHeight - height));
    horizontalScrollBar()->setRange(0, 0);
}

void ZUNAListView::updateGeometries()
{
    updateScrollRange();
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): past QListView on purpose
    QAbstractItemView::updateGeometries();
}

int ZUNAListView::horizontalOffset() const
{
    return 0;
}

int ZUNAListView::verticalOffset() const
{
    return verticalScrollBar()->value();
}

bool ZUNAListView::isIndexHidden(const QModelIndex &) const
{
    return false;  // rows are never hidden (and asking QListView costs a lookup per row)
}

void ZUNAListView::paintEvent(QPaintEvent *event)
{
    // What QListView draws under each entry: background, selection, focus, hover.
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State base = option.state;
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const QRect area = event->rect();
    const int last = std::min(count() - 1, rowAtY(area.bottom()));
    for (int row = std::max(0, rowAtY(area.top())); row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0);
        option.rect = rowRect(row);
        option.state = base;
        option.state.setFlag(QStyle::State_Selected, selectionModel()->isSelected(index));
        option.state.setFlag(QStyle::State_HasFocus, focus && index == current);
        option.state.setFlag(QStyle::State_MouseOver, index == hovered);
        if (base & QStyle::State_Enabled)
            option.palette.setCurrentColorGroup(QPalette::Normal);
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

bool ZUNAListView::viewportEvent(QEvent *event)
{
    switch (event->type()) {
        case QEvent::HoverEnter:
        case QEvent::HoverMove:
        case QEvent::HoverLeave: {
            const QModelIndex now =
                event->type() == QEvent::HoverLeave
                    ? QModelIndex()
                    : indexAt(static_cast<QHoverEvent *>(event)->position().toPoint());
            if (now != hovered) {
                viewport()->update(visualRect(hovered));
                viewport()->update(visualRect(now));
                hovered = now;
            }
            break;
        }
        default:
            break;
    }
    return QListWidget::viewportEvent(event);
}

QModelIndex ZUNAListView::moveCursor(CursorAction action, Qt::KeyboardModifiers)
{
    const int rows = count();
    if (rows == 0)
        return QModelIndex();
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() : -1;
    const int page = std::max(1, viewport()->height() / kRowHeight);
    int next;
    switch (action) {
        case MoveUp:
        case MovePrevious:
            next = row - 1;
            break;
        case MoveDown:
        case MoveNext:
            next = row + 1;
            break;
        case MovePageUp:
            next = row - page;
            break;
        case MovePageDown:
            next = row + page;
            break;
        case MoveHome:
            next = 0;
            break;
        case MoveEnd:
            next = rows - 1;
            break;
        default:  // left and right: the list has one column
            return current;
    }
    return model()->index(std::clamp(next, 0, rows - 1), 0);
}

void ZUNAListView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    const QRect area = rect.normalized();
    const int first = std::max(0, rowAtY(area.top()));
    const int last = std::min(count() - 1, rowAtY(area.bottom()));
    QItemSelection selection;
    if (area.right() >= 0 && area.left() < viewport()->width() && first <= last)
        selection.select(model()->index(first, 0), model()->index(last, 0));
    selectionModel()->select(selection, command);
}

QRegion ZUNAListView::visualRegionForSelection(const QItemSelection &selection) const
{
    QRegion region;
    const int firstInSight = std::max(0, rowAtY(0));
    const int lastInSight = rowAtY(viewport()->height());
    for (const QItemSelectionRange &range : selection) {
        const int first = std::max(range.top(), firstInSight);
        const int last = std::min(range.bottom(), lastInSight);
        if (first <= last)
            region += rowRect(first).united(rowRect(last));
    }
    return region;
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
