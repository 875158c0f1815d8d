#pragma once

#include <QObject>

class MainWindow;
class Ui_MainWindow;

namespace zuna {

// The keyboard's way to what the window's buttons and tabs do: the desktop's standard keys
// open files, open a new playlist, close the visible playlist (with its question) and quit;
// and after a dialog, or a playlist closed, the focus goes back to the music, so that the
// arrow keys and Enter reach the rows again.
class WindowKeys : public QObject {
    Q_OBJECT

public:
    WindowKeys(MainWindow *window, Ui_MainWindow *form);

private:
    void focusVisiblePlaylist();

    Ui_MainWindow *const ui;
};

}  // namespace zuna
