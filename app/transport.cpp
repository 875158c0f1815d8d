#include "app/transport.h"

#include <QAbstractItemModel>
#include <QTimer>
#include <utility>

#include "app/enginerequests.h"
#include "app/trackreports.h"

namespace zuna {

Transport::Transport(EngineRequests *engine, TrackReports *reports, QObject *parent)
    : QObject(parent), requests(engine), heard(reports)
{
    connect(heard, &TrackReports::unplayable, this, &Transport::passOver);
    connect(heard, &TrackReports::playbackChanged, this,
            [this](EngineReports::Playback now) { state = now; });
}

int Transport::row() const
{
    return entry.isValid() ? entry.row() : -1;
}

void Transport::choose(const PlaylistRows *playlist, int row)
{
    attach(playlist);
    start(row, 0);
}

void Transport::next()
{
    step(+1);
}

void Transport::previous()
{
    step(-1);
}

void Transport::step(int way)
{
    const int target = neighbour(way);
    if (target >= 0)
        start(target, way);
}

void Transport::start(int row, int way)
{
    entry = QPersistentModelIndex(list->model()->index(row, 0));
    place = QPersistentModelIndex();
    direction = way;
    emit entryChanged();
    const QString path = list->path(row);
    emit started(path, list->metadata(row));
    if (path.isEmpty())
        return;      // nothing was asked of the engine
    queued.clear();  // a Playfile clears what the engine had queued
    updateQueue();
}

int Transport::neighbour(int way) const
{
    if (!list)
        return -1;
    // By identity, so rows added, moved or removed since the entry started don't matter;
    // once it has gone itself, from the place where it stood.
    const int count = list->model()->rowCount();
    int target = 0;
    if (entry.isValid()) {
        target = entry.row() + way;
    } else {
        const int following = place.isValid() ? place.row() : count;
        target = way > 0 ? following : following - 1;
    }
    return target >= 0 && target < count ? target : -1;
}

void Transport::passOver(const QString &path)
{
    // A file that cannot be played, reached by stepping or by the playlist playing on, is
    // passed over in the same direction; one chosen by hand leaves the player idle.
    if (direction != 0 && entry.isValid() && list->path(entry.row()) == path)
        step(direction);
}

void Transport::forget(const PlaylistRows *playlist)
{
    if (playlist != list)
        return;
    detach();
    emit entryChanged();
    updateQueue();
}

void Transport::attach(const PlaylistRows *playlist)
{
    if (playlist == list)
        return;
    detach();
    list = playlist;
    const QAbstractItemModel *rows = list->model();
    // Only the rows around the current entry matter, so only its playlist is watched; rows
    // come by the thousand while files are added, and each costs no more than a flag.
    connect(rows, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { rowsLeaving(first, last); });
    connect(rows, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { rowsLeaving(0, list->model()->rowCount() - 1); });
    connect(rows, &QAbstractItemModel::rowsInserted, this, &Transport::queueSoon);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &Transport::queueSoon);
    connect(rows, &QAbstractItemModel::rowsMoved, this, &Transport::queueSoon);
    connect(rows, &QAbstractItemModel::modelReset, this, &Transport::queueSoon);
    connect(rows, &QObject::destroyed, this, [this] {
        list = nullptr;  // a playlist gone without being forgotten: no entry, nothing watched
        entry = place = QPersistentModelIndex();
        emit entryChanged();
        updateQueue();
    });
}

void Transport::detach()
{
    if (list)
        disconnect(list->model(), nullptr, this, nullptr);
    list = nullptr;
    entry = place = QPersistentModelIndex();
}

void Transport::rowsLeaving(int first, int last)
{
    const int at = entry.isValid() ? entry.row() : place.row();
    if (at < first || at > last)
        return;
    // The current entry (or the row its place was kept before) goes: the place is now
    // before the first row after the ones leaving. The track playing plays on.
    const bool hadEntry = entry.isValid();
    entry = QPersistentModelIndex();
    place = QPersistentModelIndex(list->model()->index(last + 1, 0));
    if (hadEntry)
        emit entryChanged();
}

void Transport::queueSoon()
{
    // One look once the rows have settled, however many came or went.
    if (!std::exchange(queuePending, true))
        QTimer::singleShot(0, this, [this] {
            queuePending = false;
            updateQueue();
        });
}

void Transport::updateQueue()
{
    emit neighboursChanged();
    // What the engine is told is exactly what the end of the track would start.
    const int following = neighbour(+1);
    const QString next = following >= 0 ? list->path(following) : QString();
    if (next == queued)
        return;
    queued = next;
    emit requests->Queuefile(next);
}

void Transport::play()
{
    emit requests->Play();
}

void Transport::pause()
{
    if (state == EngineReports::Playback::Playing)
        emit requests->Pause();
}

void Transport::playPause()
{
    if (state == EngineReports::Playback::Playing)
        emit requests->Pause();
    else
        emit requests->Play();
}

void Transport::stop()
{
    emit requests->Stop();
}

void Transport::seek(quint32 ms)
{
    emit requests->Setposition(ms);
}

void Transport::requestVolume(int percent)
{
    emit volumeRequested(percent);
}

void Transport::setVolume(int percent)
{
    if (std::exchange(level, percent) != percent)
        emit volumeChanged(percent);
}

}  // namespace zuna
