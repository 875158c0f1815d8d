#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>

#include "metadata/trackmetadata.h"

class QListWidget;
class QListWidgetItem;
class QThread;
class Ui_MainWindow;
class ZUNAAudio;

// The player's one window. It owns the form, the engine's worker thread and the engine,
// wires widgets, window and engine together, and keeps the playlist counter and the
// current entry. The now-playing display lives in nowplaying.cpp, the playlist slots in
// playlistslots.cpp.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // Builds the window around the engine that `makeEngine` creates (on this thread, after
    // the worker has started); tests use it to play into a capture device.
    explicit MainWindow(const std::function<ZUNAAudio *()> &makeEngine, QWidget *parent = nullptr);
    ~MainWindow() override;

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
    void playNeighbour(int offset);

    Ui_MainWindow *ui;
    QThread *thread;
    ZUNAAudio *audio;
    int playlistcount;
    QListWidget *currentlist = nullptr;
    QListWidgetItem *currentitem = nullptr;
};
