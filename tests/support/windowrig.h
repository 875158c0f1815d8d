#pragma once

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/mainwindow.h"
#include "support/captureoutput.h"
#include "audio/engine/zunaaudio.h"
#include "playlist/zunalistview.h"

// A MainWindow as the player builds it, except that its engine plays into a capture device
// (or the driver given; then capture() must not be used) and has no monitor timer: the
// test pumps sound and calls the monitor itself.
class WindowRig {
public:
    WindowRig();
    explicit WindowRig(std::unique_ptr<OutputDriver> driver);

    MainWindow &window() { return *main; }
    ZUNAAudio *engine() const { return audio; }
    CaptureDriver &capture() const { return *captured; }

    // Waits until the engine has handled every request sent so far, delivers its reports
    // to the window, and lets the engine handle what those caused.
    void sync();
    // Runs the engine's once-a-second monitor now and delivers its reports.
    void monitor();
    // Clicks a button as a user does (it acts on release), then sync().
    void click(const char *button);

    template <typename T>
    T *widget(const char *name) const
    {
        return main->findChild<T *>(QString::fromLatin1(name));
    }
    QPushButton *button(const char *name) const { return widget<QPushButton>(name); }
    QLabel *label(const char *name) const { return widget<QLabel>(name); }
    QSlider *slider(const char *name) const { return widget<QSlider>(name); }
    QTabWidget *tabs() const { return widget<QTabWidget>("playliststab"); }
    ZUNAListView *playlist(int tab) const
    {
        return qobject_cast<ZUNAListView *>(tabs()->widget(tab));
    }

private:
    ZUNAAudio *audio = nullptr;
    CaptureDriver *captured = nullptr;
    std::unique_ptr<MainWindow> main;
};

// While it exists, answers the next modal dialog (file dialog, input dialog, message box)
// once it shows, so code that runs one can be tested without blocking.
class DialogAnswer {
public:
    explicit DialogAnswer(const std::function<void(QWidget *)> &answer);
    Q_DISABLE_COPY_MOVE(DialogAnswer)  // the poll refers to this object

    bool answered() const { return done; }

private:
    QTimer poll;
    bool done = false;
};
