#pragma once

#include <QObject>
#include <QString>

#include "audio/engine/zunaaudio.h"

namespace zuna {

// The engine's reports as the GUI thread takes them: only those about what it asked for
// last. Every request that starts or stops a track (the window's Playfile, a Stop) is
// counted here as it is sent; the engine counts the same requests as it takes them and
// stamps each report with its count. A report stamped lower was made before the engine
// heard the latest request: it tells of a track no longer shown, and goes no further.
// The window and the desktop's media controls both take the engine's reports through here.
class TrackReports : public QObject {
    Q_OBJECT

public:
    explicit TrackReports(const EngineReports *engine, QObject *parent = nullptr);

    // A Playfile or a Stop has just been sent to the engine.
    void requested();
    // Whether the report taken last was stale, or none has come since the latest request.
    // The engine's Tick and Finish carry no stamp: each comes just after its stamped twin
    // (Position, Ended), so a slot of theirs asks this.
    bool stale() const { return heard < sent; }

signals:
    void playbackChanged(EngineReports::Playback playback);
    void positionHeard(uint ms);
    void unplayable(QString path);

private:
    bool take(quint64 generation);

    quint64 sent = 0;   // requests counted
    quint64 heard = 0;  // the stamp of the report taken last
};

}  // namespace zuna
