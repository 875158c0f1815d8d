#pragma once

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/mainwindow.h"
#include "audio/engine/zunaaudio.h"
#include "playlist/zunalistview.h"
#include "playlist/zunalistwidget.h"
#include "support/captureoutput.h"
#include "support/heard.h"
#include "support/timescale.h"

namespace zuna {

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

// A MainWindow as the player builds it, but its engine has no monitor timer (the test runs
// the monitor) and plays into a capture device the test pumps, unless told to use SDL.
class WindowRig {
public:
    enum class Device { Capture, Sdl };
    explicit WindowRig(Device device = Device::Capture);

    MainWindow &window() { return *main; }
    ZUNAAudio *engine() const { return audio; }
    CaptureDriver &capture() const { return *captured; }  // Device::Capture only

    // Waits for the engine to handle every request so far, and the window its reports.
    void sync();
    void monitor();   // runs the engine's once-a-second monitor now, then delivers its reports
    uint position();  // where the engine is, by its monitor (a Tick sent at least once)
    void click(const char *button);  // as a user does (it acts on release), then sync()
    void show();                     // and waits until the window is on the screen
    // Double-clicks a row's title as a user does: the first click arrives on its own too.
    void doubleClickRow(ZUNAListView *view, int row);
    // The format and tone of fixture `name` are what the capture device receives now.
    void checkHeard(const QString &name);
    ZUNAListView *fill(const QStringList &fixtures, int tab = 0);  // as AddFile adds them

    QWidget *widget(const char *n) const { return main->findChild<QWidget *>(QLatin1String(n)); }
    QLabel *label(const char *name) const { return static_cast<QLabel *>(widget(name)); }
    QSlider *slider(const char *name) const { return static_cast<QSlider *>(widget(name)); }
    QTabWidget *tabs() const { return static_cast<QTabWidget *>(widget("playliststab")); }
    ZUNAListView *playlist(int i) const { return static_cast<ZUNAListView *>(tabs()->widget(i)); }
    QStringList played;  // what the window asked the engine to play, in order

private:
    ZUNAAudio *audio = nullptr;
    CaptureDriver *captured = nullptr;
    std::unique_ptr<MainWindow> main;
    std::unique_ptr<Heard> ticks;
};

ZUNAListWidget *entryOf(const ZUNAListView *view, int row);
QStringList pathsOf(const ZUNAListView *view);

// Drags files (absolute paths, or URLs; or `data`) in from outside, over the rows, and drops
// them: whether the view took them all the way; unless told not to wait, once they are in.
bool dropFiles(ZUNAListView *view, const QStringList &files, bool wait = true,
               const QMimeData *data = nullptr);

// While it exists, answers the next modal dialog once it shows, so code that runs one can be
// tested. A dialog the answer leaves open (a check in it failed) is closed, not waited on.
class DialogAnswer {
public:
    explicit DialogAnswer(const std::function<void(QWidget *)> &answer);
    Q_DISABLE_COPY_MOVE(DialogAnswer)  // the poll refers to this object

private:
    QTimer poll;
};

}  // namespace zuna
