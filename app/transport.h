#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

#include "audio/engine/zunaaudio.h"
#include "metadata/trackmetadata.h"

class QAbstractItemModel;

namespace zuna {

class EngineRequests;
class TrackReports;

// A playlist as the transport sees it: rows in a model, whose persistent indexes keep their
// identity through inserts, moves and removals, and what each row plays.
class PlaylistRows {
public:
    virtual ~PlaylistRows() = default;
    virtual const QAbstractItemModel *model() const = 0;
    virtual QString path(int row) const = 0;  // empty: the row has nothing to play
    virtual TrackMetadata metadata(int row) const = 0;
};

// What plays and what comes next: the current playlist and entry; stepping to the next or
// previous row, on past rows the engine cannot play in the way it was going; the end of a
// track; and the requests to the engine to play, pause, stop, seek and open ahead what the
// end of the track would start. It has no widgets: the window's slots and the desktop's
// media controls drive it alike, and follow it through its signals.
class Transport : public QObject {
    Q_OBJECT

public:
    Transport(EngineRequests *requests, TrackReports *reports, QObject *parent = nullptr);

    const PlaylistRows *playlist() const { return list; }  // of the current entry
    // The current entry's row; -1 when there is none: none started, or its row has gone (the
    // place it stood in is kept: next and previous go on from there).
    int row() const;
    TrackReports *reports() const { return heard; }
    EngineReports::Playback playback() const { return state; }
    int volume() const { return level; }  // as the volume slider stands, 0-99

    void choose(const PlaylistRows *playlist, int row);  // by hand: a double-click, Enter
    void next();
    void previous();
    bool canGoNext() const { return neighbour(+1) >= 0; }
    bool canGoPrevious() const { return neighbour(-1) >= 0; }
    // A playlist is closing: if it holds the current entry, there is none any more.
    void forget(const PlaylistRows *playlist);

    void play();
    void pause();  // only while playing: the engine's Pause turns pausing on and off
    void playPause();
    void stop();
    void seek(quint32 ms);
    // Asks for another volume: the window's volume slider goes there and tells the engine.
    void requestVolume(int percent);
    void setVolume(int percent);  // where the volume slider now stands

signals:
    void entryChanged();                                 // playlist() or row()
    void started(QString path, TrackMetadata metadata);  // to be played now
    void neighboursChanged();  // what next or previous would start may have changed
    void volumeRequested(int percent);
    void volumeChanged(int percent);

private:
    void start(int row, int way);
    void step(int way);
    int neighbour(int way) const;
    void attach(const PlaylistRows *playlist);
    void detach();
    void rowsLeaving(int first, int last);
    void passOver(const QString &path);
    void queueSoon();
    void updateQueue();

    EngineRequests *const requests;
    TrackReports *const heard;
    const PlaylistRows *list = nullptr;
    QPersistentModelIndex entry;
    // Once the entry's row has gone: the row it stood before (invalid: past the last).
    QPersistentModelIndex place;
    int direction = 0;  // how the entry was reached: +1 next or the end, -1 previous, 0 by hand
    QString queued;     // what the engine was last told would follow
    bool queuePending = false;
    EngineReports::Playback state = EngineReports::Playback::Stopped;
    int level = 0;
};

}  // namespace zuna
