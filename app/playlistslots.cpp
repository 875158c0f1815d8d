// The playlist slots of MainWindow: starting entries, stepping through a playlist, adding
// and deleting files, opening and closing playlist tabs, and telling the engine what follows.

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>
#include <utility>

#include "app/enginerequests.h"
#include "app/mainwindow.h"
#include "app/mprisservice.h"
#include "audio/engine/zunaaudio.h"
#include "metadata/zunalistwidget.h"
#include "playlist/zunalistview.h"
#include "ui_mainwindow.h"

namespace {
ZUNAListView *visiblePlaylist(QTabWidget *tabs)
{
    return qobject_cast<ZUNAListView *>(tabs->currentWidget());
}

QString pathOf(const QListWidget *list, QListWidgetItem *item)
{
    const auto *entry = item ? qobject_cast<ZUNAListWidget *>(list->itemWidget(item)) : nullptr;
    return entry ? entry->Getpath() : QString();
}
}  // namespace

void MainWindow::ItemDoubleClicked(QListWidgetItem *item)
{
    currentlist = item->listWidget();
    direction = 0;
    PlayItem(item);
}

void MainWindow::PlayItem(QListWidgetItem *item)
{
    currentitem = item;
    item->setSelected(true);
    const auto *entry = qobject_cast<ZUNAListWidget *>(currentlist->itemWidget(item));
    const TrackMetadata metadata = entry ? entry->Getmetadata() : TrackMetadata();
    currentlist->scrollToItem(item, QAbstractItemView::EnsureVisible);
    ShowTrack(metadata);
    if (!entry)
        return;
    emit Playfile(entry->Getpath());
    holdTicks();
    queuedpath.clear();  // a Playfile clears what the engine had queued
    updateQueue();
}

void MainWindow::NextTrack()
{
    playNeighbour(+1);
}

void MainWindow::PrevTrack()
{
    playNeighbour(-1);
}

void MainWindow::TrackFinish()
{
    NextTrack();
}

void MainWindow::playNeighbour(int offset)
{
    if (QListWidgetItem *target = neighbour(offset)) {
        direction = offset;
        PlayItem(target);
    }
}

QListWidgetItem *MainWindow::neighbour(int offset) const
{
    if (!currentlist)
        return nullptr;
    // By identity, so rows added, moved or deleted since the entry started don't matter;
    // once it is gone itself, from the place where it stood.
    int target = 0;
    if (currentitem) {
        target = currentlist->row(currentitem) + offset;
    } else {
        const int following = followingrow.isValid() ? followingrow.row() : currentlist->count();
        target = offset > 0 ? following : following - 1;
    }
    return target >= 0 && target < currentlist->count() ? currentlist->item(target) : nullptr;
}

void MainWindow::rowsLeaving(const QListWidget *list, int first, int last)
{
    if (list != currentlist)
        return;
    const int at = currentitem ? currentlist->row(currentitem) : followingrow.row();
    if (at < first || at > last)
        return;
    // The current entry (or the row its place was kept before) goes: the place is now
    // before the first row after the ones leaving. The track playing plays on.
    currentitem = nullptr;
    followingrow = QPersistentModelIndex(currentlist->model()->index(last + 1, 0));
}

void MainWindow::passOver(const QString &path)
{
    // A file that cannot be played, reached by stepping or by the playlist playing on, is
    // passed over in the same direction; one chosen by hand leaves the player idle.
    if (direction != 0 && currentitem && pathOf(currentlist, currentitem) == path)
        playNeighbour(direction);
}

void MainWindow::queueSoon()
{
    // Rows come and go by the thousand while files are added; one look once they have.
    if (!std::exchange(queuePending, true))
        QTimer::singleShot(0, this, [this] {
            queuePending = false;
            updateQueue();
        });
}

void MainWindow::updateQueue()
{
    // What the engine is told is exactly what TrackFinish would start.
    if (mpris)
        mpris->refresh();  // what is next and previous may have changed
    const QString next = pathOf(currentlist, neighbour(+1));
    if (next == queuedpath)
        return;
    queuedpath = next;
    emit requests->Queuefile(next);
}

void MainWindow::holdTicks()
{
    // Ticks the engine sent before it took in the request just made tell of a track no
    // longer shown. Once a call sent after the request has come back, they have all come.
    ++staleticks;
    emit requests->Fence();
}

void MainWindow::openAndPlay(const QString &path)
{
    // As if added with "+" and double-clicked.
    ZUNAListView *playlist = visiblePlaylist(ui->playliststab);
    playlist->AddFile(path);
    ItemDoubleClicked(playlist->item(playlist->count() - 1));
}

void MainWindow::AddTrack()
{
    ZUNAListView *playlist = visiblePlaylist(ui->playliststab);
    const QStringList paths = QFileDialog::getOpenFileNames(
        this, tr("Select audio files"), QString(),
        tr("Music files (*.mp3 *.flac);;*.mp3 (*.mp3);;*.flac (*.flac)"));
    playlist->AddFiles(paths);  // in the background: thousands may have been chosen
}

void MainWindow::DeleteTrack()
{
    // Playback goes on when the current entry is deleted; its place is kept (rowsLeaving).
    ZUNAListView *playlist = visiblePlaylist(ui->playliststab);
    const QList<QListWidgetItem *> selected = playlist->selectedItems();
    for (QListWidgetItem *item : selected)
        delete item;
    playlist->clearSelection();
}

void MainWindow::Addplaylist()
{
    bool confirmed = false;
    const QString name = QInputDialog::getText(this, tr("New playlist"), tr("Playlist name"),
                                               QLineEdit::Normal, QString(), &confirmed)
                             .trimmed();
    if (confirmed && !name.isEmpty())
        addPlaylistView(name);
}

void MainWindow::TabClose(int index)
{
    auto *playlist = qobject_cast<ZUNAListView *>(ui->playliststab->widget(index));
    if (!playlist || playlist->Getid() == 0)
        return;  // "Default" stays
    const bool holdsCurrent = playlist == currentlist;
    if (playlist->count() == 0) {
        delete playlist;  // takes its tab along
        if (holdsCurrent) {
            currentlist = nullptr;
            currentitem = nullptr;
            updateQueue();
        }
        return;
    }
    // Nothing is ever saved, so nothing but closing or keeping it is offered; Escape keeps it.
    QMessageBox question(QMessageBox::Question, tr("Close playlist"),
                         tr("Close playlist without save?"), QMessageBox::Yes | QMessageBox::Cancel,
                         this);
    if (question.exec() != QMessageBox::Yes)
        return;
    playlist->clear();
    delete playlist;
    if (!holdsCurrent)
        return;  // the music comes from another playlist and plays on
    currentlist = nullptr;
    currentitem = nullptr;
    // Queued, so the stop runs on the engine's thread between its other slots.
    emit requests->Stop();
    holdTicks();
    updateQueue();
    ClearMetadata();
}
