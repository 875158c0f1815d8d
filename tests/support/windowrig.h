#pragma once

#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/mainwindow.h"
#include "audio/engine/zunaaudio.h"
#include "metadata/zunalistwidget.h"
#include "playlist/zunalistview.h"
#include "support/captureoutput.h"
#include "support/heard.h"
#include "support/timescale.h"

// A helper that checks with QVERIFY/QCOMPARE returns early on a failure, but the test that
// called it would carry on; STEP(helper(...)) ends the test there too.
#define STEP(call)                      \
    do {                                \
        call;                           \
        if (QTest::currentTestFailed()) \
            return;                     \
    } while (false)

// Qt's QTRY_ macros, with their 5 s limit stretched by the sanitizers' slowdown.
#define TRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, scaledMs(5000))
#define TRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT(expr, expected, scaledMs(5000))

// A MainWindow as the player builds it, except that its engine has no monitor timer (the
// test runs the monitor itself) and, unless told to use the real device through SDL, plays
// into a capture device that the test pumps.
class WindowRig {
public:
    enum class Device { Capture, Sdl };
    explicit WindowRig(Device device = Device::Capture);

    MainWindow &window() { return *main; }
    ZUNAAudio *engine() const { return audio; }
    CaptureDriver &capture() const { return *captured; }  // Device::Capture only

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

    // Shows the window and waits until it is on the screen.
    void show();
    // Double-clicks a row's title as a user does: the first click arrives on its own too.
    void doubleClickRow(ZUNAListView *view, int row);
    // The format and tone of fixture `name` are what the capture device receives now.
    void checkHeard(const QString &name);

private:
    ZUNAAudio *audio = nullptr;
    CaptureDriver *captured = nullptr;
    std::unique_ptr<MainWindow> main;
};

// The entry widget over a playlist row.
ZUNAListWidget *entryOf(const ZUNAListView *view, int row);

// Drags `data` in from outside, over the rows, and drops it: whether the view took the drag
// all the way; and, unless told not to wait, once the files it brought are in.
bool dragAndDrop(ZUNAListView *view, const QMimeData &data, bool wait = true);
bool dropFiles(ZUNAListView *view, const QList<QUrl> &urls, bool wait = true);

// While it exists, answers the next modal dialog (file dialog, input dialog, message box)
// once it shows, so code that runs one can be tested without blocking. A dialog the answer
// leaves open (a check in it failed, or it forgot to) is closed, so the test goes on to
// report the failure instead of waiting for a hand that never comes.
class DialogAnswer {
public:
    explicit DialogAnswer(const std::function<void(QWidget *)> &answer);
    Q_DISABLE_COPY_MOVE(DialogAnswer)  // the poll refers to this object

    bool answered() const { return done; }

private:
    QTimer poll;
    bool done = false;
};
