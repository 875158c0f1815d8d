// The playlist slots of MainWindow: starting entries, stepping through a playlist, adding
// and deleting files, and opening and closing playlist tabs.

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QTabWidget>

#include "app/mainwindow.h"
#include "audio/engine/zunaaudio.h"
#include "metadata/zunalistwidget.h"
#include "playlist/zunalistview.h"
#include "ui_mainwindow.h"

namespace {
ZUNAListView *visiblePlaylist(QTabWidget *tabs)
{
    return qobject_cast<ZUNAListView *>(tabs->currentWidget());
}
}  // namespace

void MainWindow::ItemDoubleClicked(QListWidgetItem *item)
{
    currentlist = item->listWidget();
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
    if (entry)
        emit Playfile(entry->Getpath());
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
    if (!currentlist || !currentitem)
        return;
    // By identity, so rows added, moved or deleted since the entry started don't matter.
    for (int row = 0; row < currentlist->count(); ++row) {
        if (currentlist->item(row) != currentitem)
            continue;
        const int target = row + offset;
        if (target >= 0 && target < currentlist->count())
            PlayItem(currentlist->item(target));
        return;
    }
}

void MainWindow::AddTrack()
{
    ZUNAListView *playlist = visiblePlaylist(ui->playliststab);
    const QStringList paths = QFileDialog::getOpenFileNames(
        this, tr("Select audio files"), QString(),
        tr("Music files (*.mp3 *.flac);;*.mp3 (*.mp3);;*.flac (*.flac)"));
    for (const QString &path : paths)
        playlist->AddFile(path);
}

void MainWindow::DeleteTrack()
{
    ZUNAListView *playlist = visiblePlaylist(ui->playliststab);
    const QList<QListWidgetItem *> selected = playlist->selectedItems();
    for (QListWidgetItem *item : selected) {
        if (item == currentitem)
            currentitem = nullptr;  // playback goes on, but there is no current entry now
        delete item;
    }
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
    if (playlist->count() == 0) {
        if (currentlist == playlist) {
            currentlist = nullptr;
            currentitem = nullptr;
        }
        delete playlist;  // takes its tab along
        return;
    }
    QMessageBox question(QMessageBox::Question, QString(), tr("Close playlist without save?"),
                         QMessageBox::Save | QMessageBox::Yes | QMessageBox::Cancel);
    const int answer = question.exec();
    if (answer != QMessageBox::Save && answer != QMessageBox::Yes)
        return;
    playlist->clear();
    delete playlist;
    // Queued, so the stop runs on the engine's thread between its other slots.
    QMetaObject::invokeMethod(audio, &ZUNAAudio::Stop, Qt::QueuedConnection);
    currentlist = nullptr;
    currentitem = nullptr;
    ClearMetadata();
}
