#include "support/windowrig.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>

#include "audio/audiosystem.h"
#include "audio/zunaaudio.h"
#include "playlist/zunalistview.h"
#include "support/crossthreadcall.h"

WindowRig::WindowRig() : WindowRig(std::make_unique<CaptureDriver>()) {}

WindowRig::WindowRig(std::unique_ptr<OutputDriver> driver)
{
    captured = dynamic_cast<CaptureDriver *>(driver.get());
    main = std::make_unique<MainWindow>([this, &driver] {
        audio = new ZUNAAudio(std::make_unique<AudioSystem>(std::move(driver)), 0);
        return audio;
    });
}

WindowRig::~WindowRig() = default;

void WindowRig::sync()
{
    // Two rounds: the window's answer to an engine report (the volume slider following a
    // mute) is itself a request to the engine.
    for (int round = 0; round < 2; ++round) {
        CrossThreadCall(audio).run([] {});
        QCoreApplication::processEvents();
    }
}

void WindowRig::monitor()
{
    CrossThreadCall(audio).run([this] { audio->Timeout(); });
    QCoreApplication::processEvents();
}

QPushButton *WindowRig::button(const char *name) const
{
    return widget<QPushButton>(name);
}
QLabel *WindowRig::label(const char *name) const
{
    return widget<QLabel>(name);
}
QSlider *WindowRig::slider(const char *name) const
{
    return widget<QSlider>(name);
}
QTabWidget *WindowRig::tabs() const
{
    return widget<QTabWidget>("playliststab");
}

ZUNAListView *WindowRig::playlist(int tab) const
{
    return qobject_cast<ZUNAListView *>(tabs()->widget(tab));
}

DialogAnswer::DialogAnswer(std::function<void(QWidget *)> answer)
    : answer(std::move(answer)), poll(std::make_unique<QTimer>())
{
    // Polls, because the dialog only exists once the code under test has entered its
    // modal loop.
    poll->setInterval(10);
    QObject::connect(poll.get(), &QTimer::timeout, poll.get(), [this] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            poll->stop();
            done = true;
            this->answer(dialog);
        }
    });
    poll->start();
}

DialogAnswer::~DialogAnswer() = default;
