// The playlist slots of MainWindow: starting entries, stepping through a playlist, adding
// and deleting files, opening and closing playlist tabs. What plays and what follows is the
// transport's; the current entry follows it here.

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QTabWidget>

#include "app/mainwindow.h"
#include "app/trackreports.h"
#include "app/transport.h"
#include "app/viewrows.h"
#include "playlist/zunalistview.h"
#include "playlist/zunalistwidget.h"
#include "ui_mainwindow.h"

using namespace zuna;

namespace {
ZUNAListView *visiblePlaylist(QTabWidget *tabs)
{
    return qobject_cast<ZUNAListView *>(tabs->currentWidget());
}
}  // namespace

void MainWindow::ItemDoubleClicked(QListWidgetItem *item)
{
    auto *playlist = qobject_cast<ZUNAListView *>(item->listWidget());
    transport->choose(ViewRows::of(playlist), playlist->row(item));
}

void MainWindow::followEntry()
{
    const auto *rows = static_cast<const ViewRows *>(transport->playlist());
    currentlist = rows ? rows->view() : nullptr;
    const int row = transport->row();
    currentitem = currentlist && row >= 0 ? currentlist->item(row) : nullptr;
}

void MainWindow::PlayItem(QListWidgetItem *item)
{
    // The transport has made it the current entry: it is shown, and played. The keyboard's
    // cursor goes with the selection, so that Enter starts again what is seen selected.
    currentlist->setCurrentItem(item);
    const auto *entry = qobject_cast<ZUNAListWidget *>(currentlist->itemWidget(item));
    const TrackMetadata metadata = entry ? entry->Getmetadata() : TrackMetadata();
    currentlist->scrollToItem(item, QAbstractItemView::EnsureVisible);
    ShowTrack(metadata);
    if (entry)
        emit Playfile(entry->Getpath());
}

void MainWindow::NextTrack()
{
    transport->next();
}

void MainWindow::PrevTrack()
{
    transport->previous();
}

void MainWindow::TrackFinish()
{
    // An end from before the latest request (the user started or stopped something as the
    // track ended) is no reason to move on.
    if (!reports->stale())
        NextTrack();
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
    // Playback goes on when the current entry is deleted; the transport keeps its place.
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
        transport->forget(ViewRows::of(playlist));
        delete playlist;  // takes its tab along
        return;
    }
    // Nothing is ever saved, so nothing but closing or keeping it is offered; Escape keeps it.
    QMessageBox question(QMessageBox::Question, tr("Close playlist"),
                         tr("Close playlist without save?"), QMessageBox::Yes | QMessageBox::Cancel,
                         this);
    if (question.exec() != QMessageBox::Yes)
        return;
    playlist->clear();
    transport->forget(ViewRows::of(playlist));  // currentlist and currentitem go with it
    delete playlist;
    if (!holdsCurrent)
        return;  // the music comes from another playlist and plays on
    // Queued, so the stop runs on the engine's thread between its other slots.
    transport->stop();
    ClearMetadata();
}
