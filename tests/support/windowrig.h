#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "app/mainwindow.h"
#include "audio/captureoutput.h"

class QListWidget;
class QPushButton;
class QSlider;
class QLabel;
class QTabWidget;
class QTimer;
class ZUNAListView;

// A MainWindow as the player builds it, except that its engine plays into a capture
// device and has no monitor timer: the test pumps sound and calls the monitor itself.
class WindowRig {
public:
    WindowRig();
    // With another driver (SDL's, say), capture() must not be used.
    explicit WindowRig(std::unique_ptr<OutputDriver> driver);
    ~WindowRig();

    MainWindow &window() { return *main; }
    ZUNAAudio *engine() const { return audio; }
    CaptureDriver &capture() const { return *captured; }

    // Waits until the engine has handled every request sent so far, delivers what it sent
    // back to the window, and lets the engine handle what that caused.
    void sync();
    // Runs the engine's once-a-second monitor now and delivers its reports.
    void monitor();

    template <typename T>
    T *widget(const char *name) const
    {
        return main->findChild<T *>(QString::fromLatin1(name));
    }
    QPushButton *button(const char *name) const;
    QLabel *label(const char *name) const;
    QSlider *slider(const char *name) const;
    QTabWidget *tabs() const;
    ZUNAListView *playlist(int tab) const;

private:
    ZUNAAudio *audio = nullptr;
    CaptureDriver *captured = nullptr;
    std::unique_ptr<MainWindow> main;
};

// While it exists, answers the next modal dialog (file dialog, input dialog, message box)
// once it shows, so code that runs one can be tested without blocking.
class DialogAnswer {
public:
    explicit DialogAnswer(std::function<void(QWidget *)> answer);
    ~DialogAnswer();
    DialogAnswer(const DialogAnswer &) = delete;
    DialogAnswer &operator=(const DialogAnswer &) = delete;

    bool answered() const { return done; }

private:
    std::function<void(QWidget *)> answer;
    std::unique_ptr<QTimer> poll;
    bool done = false;
};
