#pragma once

#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include "audio/engine/zunaaudio.h"

class MainWindow;
class QListWidgetItem;

// The player as the desktop's media keys, lock screen and shell controls see it: MPRIS 2
// on the session bus. It is a second set of buttons: every action goes through the window's
// own buttons and slots, so the engine logs the same lines and the window shows the same
// state; it never talks to the engine directly. Position is the last one the engine
// reported, carried on by the clock while the track plays.
class MprisService : public QObject {
    Q_OBJECT

public:
    explicit MprisService(MainWindow *window);

    // Takes a name on the session bus (another instance's is never taken over) and serves
    // there. Without a bus it says so in one debug line and returns false.
    bool publish();
    // Tells the bus what changed of what a client sees (the window calls it when its rows or
    // current entry change: what is next or previous may have).
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
    void openUri(const QString &uri);
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

private:
    void trackStarted();
    void heard(uint positionMs);
    void playbackChanged(EngineReports::Playback now);
    void seekTo(qlonglong positionMs);

    MainWindow *const window;
    EngineReports::Playback playback = EngineReports::Playback::Stopped;
    QVariantMap track;  // the current track's metadata, as MPRIS names it
    qlonglong lengthMs = 0;
    qlonglong knownMs = 0;  // the position last known, and since when
    QElapsedTimer since;
    QVariantMap announced;  // the properties as the bus last heard of them
};
