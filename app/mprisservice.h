#pragma once

#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include "audio/engine/zunaaudio.h"
#include "metadata/trackmetadata.h"

namespace zuna {

class Transport;
class VisiblePlaylist;

// The player as the desktop's media keys, lock screen and shell controls see it: MPRIS 2
// on the session bus. It drives the transport as the window's buttons do, and follows the
// transport and the engine's reports that are still true (the transport's TrackReports);
// what only the window can do (show itself, close, take in a file) it asks for by signals.
// Position is the last one the engine reported, carried on by the clock while the track
// plays. Files opened from outside (OpenUri, and the files a second launch of the player
// hands over) go into the visible playlist; what cannot be opened is answered with an error
// and changes nothing.
class MprisService : public QObject {
    Q_OBJECT

public:
    // Without `visible`, nothing is opened and Play starts only the current entry.
    MprisService(Transport *transport, VisiblePlaylist *visible, QObject *parent = nullptr);

    // The name a player takes on the session bus; a second one takes a name of its own.
    static const QString kBusName;

    // Takes a name on the session bus (another instance's is never taken over) and serves
    // there. Without a bus it says so in one debug line and returns false.
    bool publish();
    // Tells the bus what changed of what a client sees.
    void refresh();

    // org.mpris.MediaPlayer2
    void raise();
    void quit();
    // org.mpris.MediaPlayer2.Player
    void play();
    void pause();
    void playPause();
    void stop();
    void next();
    void previous();
    void seek(qlonglong offsetUs);
    void setPosition(const QDBusObjectPath &track, qlonglong positionUs);
    // What went wrong, as a D-Bus error name and message; an empty name when it played.
    struct Refusal {
        QString name;
        QString message;
    };
    Refusal openUri(const QString &uri);
    // The files a second launch hands over (absolute paths): opened as OpenUri opens one, and
    // the window raised. The paths it could not open come back; all of them: an error.
    Refusal openFiles(const QStringList &paths, QStringList *notOpened);
    QString playbackStatus() const;
    QVariantMap metadata() const;
    qlonglong position() const;
    double volume() const;
    void setVolume(double volume);
    bool canGoNext() const;
    bool canGoPrevious() const;
    bool canPlay() const;
    bool canSeek() const;

signals:
    void Seeked(qlonglong positionUs);  // relayed by the player interface
    void raiseRequested();
    void quitRequested();

private:
    void trackStarted(const QString &path, const TrackMetadata &read);
    void heard(uint positionMs);
    void playbackChanged(EngineReports::Playback now);
    void seekTo(qlonglong positionMs);

    Transport *const transport;
    VisiblePlaylist *const visible;
    quint64 started = 0;  // tracks started, to name each
    EngineReports::Playback playback = EngineReports::Playback::Stopped;
    QVariantMap track;  // the current track's metadata, as MPRIS names it
    qlonglong lengthMs = 0;
    qlonglong knownMs = 0;  // the position last known, and since when
    QElapsedTimer since;
    QVariantMap announced;  // the properties as the bus last heard of them
};

}  // namespace zuna
