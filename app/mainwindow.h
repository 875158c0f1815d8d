#pragma once

#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QString>
#include <functional>

#include "metadata/trackmetadata.h"

class QListWidget;
class QListWidgetItem;
class QThread;
class EngineRequests;
class MprisService;
class Ui_MainWindow;
class ZUNAAudio;

// The player's one window. It owns the form, the engine's worker thread and the engine,
// wires widgets, window and engine together, and keeps the playlist counter and the
// current entry. The now-playing display lives in nowplaying.cpp, the playlist slots in
// playlistslots.cpp. Besides the signals and slots it has always had, it tells the engine
// which file would follow the current entry, so that the engine can go on into it without
// a gap, and hears from the engine when a file cannot be played.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // Builds the window around the engine that `makeEngine` creates (on this thread, after
    // the worker has started); tests use it to play into a capture device.
    explicit MainWindow(const std::function<ZUNAAudio *()> &makeEngine, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Lets the desktop's media keys and controls reach the player (MPRIS on the session
    // bus). Called once the window is up: the bus need not slow its showing.
    void offerMediaControls();

signals:
    void Playfile(QString path);

public slots:
    void Addplaylist();
    void Tick(uint position);
    void AddTrack();
    void DeleteTrack();
    void ItemDoubleClicked(QListWidgetItem *item);
    void TabClose(int index);
    void TrackFinish();

private slots:
    void SetMute(bool muted);
    void NextTrack();
    void PrevTrack();
    void ClearMetadata();

private:
    friend class MprisService;  // a second set of the window's buttons

    void PlayItem(QListWidgetItem *item);
    void ShowTrack(const TrackMetadata &metadata);
    void addPlaylistView(const QString &name);
    void playNeighbour(int offset);
    QListWidgetItem *neighbour(int offset) const;
    void rowsLeaving(const QListWidget *list, int first, int last);
    void passOver(const QString &path);
    void updateQueue();
    void queueSoon();
    void holdTicks();
    void seekToHandle(int action);
    void seekTo(quint32 ms);
    void openAndPlay(const QString &path);

    Ui_MainWindow *ui;
    QThread *thread;
    ZUNAAudio *audio;
    int playlistcount;
    EngineRequests *requests;       // a child
    MprisService *mpris = nullptr;  // a child, once offered
    QListWidget *currentlist = nullptr;
    QListWidgetItem *currentitem = nullptr;
    // Once the current entry's row is gone, its place: before this row (past the end when
    // invalid), so that next and previous go on from there.
    QPersistentModelIndex followingrow;
    int direction = 0;   // how the current entry was reached: +1 next, -1 previous, 0 chosen
    QString queuedpath;  // what the engine was last told would follow
    bool queuePending = false;
    int staleticks = 0;  // requests whose Ticks from before are no longer true
};
