#include "support/windowrig.h"

#include <QApplication>
#include <QTest>

#include "audio/audiosystem.h"
#include "support/crossthreadcall.h"

WindowRig::WindowRig() : WindowRig(std::make_unique<CaptureDriver>()) {}

WindowRig::WindowRig(std::unique_ptr<OutputDriver> driver)
    : captured(dynamic_cast<CaptureDriver *>(driver.get()))
{
    main = std::make_unique<MainWindow>([this, &driver] {
        return audio = new ZUNAAudio(std::make_unique<AudioSystem>(std::move(driver)), 0);
    });
}

void WindowRig::sync()
{
    // Two rounds: the window's answer to a report (the volume slider following a mute) is
    // itself a request to the engine.
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

void WindowRig::click(const char *name)
{
    QTest::mouseClick(button(name), Qt::LeftButton);
    sync();
}

DialogAnswer::DialogAnswer(const std::function<void(QWidget *)> &answer)
{
    // Polls, as the dialog only exists once the code under test is in its modal loop.
    QObject::connect(&poll, &QTimer::timeout, &poll, [this, answer] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            poll.stop();
            done = true;
            answer(dialog);
        }
    });
    poll.start(10);
}
