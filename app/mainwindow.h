#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>

#include "metadata/trackmetadata.h"

class QListWidget;
class QListWidgetItem;
class QThread;
namespace zuna {
class EngineRequests;
class MprisService;
class TrackReports;
class Transport;
class VisiblePlaylist;
}  // namespace zuna
class Ui_MainWindow;
class ZUNAAudio;

// The player's one window. It owns the form, the engine's worker thread and the engine,
// wires widgets, window and engine together, and keeps the playlist counter. What plays and
// what comes next is the Transport's: the window's slots drive it, and the current entry
// (currentlist, currentitem) follows it. The now-playing display lives in nowplaying.cpp,
// the playlist slots in playlistslots.cpp.
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
    // Opens files and folders from outside (the command line) into the visible playlist and
    // plays the first, as the desktop's Open With does.
    void openFiles(const QStringList &paths);

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
    void PlayItem(QListWidgetItem *item);
    void ShowTrack(const TrackMetadata &metadata);
    void addPlaylistView(const QString &name);
    void followEntry();
    void seekToHandle(int action);

    Ui_MainWindow *ui;
    QThread *thread;
    ZUNAAudio *audio;
    int playlistcount;
    zuna::EngineRequests *requests;       // a child
    zuna::TrackReports *reports;          // a child: the engine's reports that are still true
    zuna::Transport *transport;           // a child
    zuna::MprisService *mpris = nullptr;  // a child, once offered
    zuna::VisiblePlaylist *visible;       // a child
    // The transport's current entry, as the window's widgets: null when it has none.
    QListWidget *currentlist = nullptr;
    QListWidgetItem *currentitem = nullptr;
};
