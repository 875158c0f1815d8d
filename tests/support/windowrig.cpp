#include "support/windowrig.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QMimeData>

#include "audio/audiosystem.h"
#include "support/crossthreadcall.h"
#include "support/fixtures.h"
#include "support/toneanalysis.h"

namespace zuna {

WindowRig::WindowRig(Device device)
{
    std::unique_ptr<OutputDriver> driver;  // none: the real device
    if (device == Device::Capture)
        driver.reset(captured = new CaptureDriver);
    main = std::make_unique<MainWindow>([this, &driver] {
        return audio = new ZUNAAudio(std::make_unique<AudioSystem>(std::move(driver)), 0);
    });
    QObject::connect(main.get(), &MainWindow::Playfile, main.get(),
                     [this](const QString &path) { played << path; });
    ticks = std::make_unique<Heard>(audio, &ZUNAAudio::Tick);
}

ZUNAListView *WindowRig::fill(const QStringList &names, int tab)
{
    for (const QString &name : names)
        playlist(tab)->AddFile(fixturePath(name));
    return playlist(tab);
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

uint WindowRig::position()
{
    sync();
    monitor();
    return ticks->isEmpty() ? 0 : ticks->last().at(0).toUInt();
}

void WindowRig::click(const char *name)
{
    QTest::mouseClick(widget(name), Qt::LeftButton);
    sync();
}

void WindowRig::show()
{
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main.get(), scaledMs(5000)));
}

ZUNAListWidget *entryOf(const ZUNAListView *view, int row)
{
    return qobject_cast<ZUNAListWidget *>(view->itemWidget(view->item(row)));
}

QStringList pathsOf(const ZUNAListView *view)
{
    QStringList paths;
    for (int row = 0; row < view->count(); ++row)
        paths << entryOf(view, row)->Getpath();
    return paths;
}

void WindowRig::doubleClickRow(ZUNAListView *view, int row)
{
    STEP(show());
    QVERIFY(entryOf(view, row));
    view->scrollToItem(view->item(row));
    // The list lays out its rows (and moves their entry widgets) after a delay.
    TRY_COMPARE(entryOf(view, row)->geometry(), view->visualItemRect(view->item(row)));
    QLabel *title = entryOf(view, row)->findChildren<QLabel *>().first();
    QTest::mouseClick(title, Qt::LeftButton, {}, title->rect().center());
    QCOMPARE(view->currentRow(), row);
    QTest::mouseDClick(title, Qt::LeftButton, {}, title->rect().center());
    sync();
}

void WindowRig::checkHeard(const QString &name)
{
    const Fixture f = fixture(name);
    sync();
    QVERIFY(capture().isOpen());
    QCOMPARE(capture().format().rate, f.rate);
    capture().takeSamples();
    QCOMPARE(capture().pump(4410), size_t(4410));
    const ToneStats tone = analyseTone(capture().takeSamples(), f.channels, f.rate);
    QVERIFY2(qAbs(tone.frequency - f.frequency) < 3, qPrintable(QString::number(tone.frequency)));
}

DialogAnswer::DialogAnswer(const std::function<void(QWidget *)> &answer)
{
    // Polls, as the dialog only exists once the code under test is in its modal loop.
    QObject::connect(&poll, &QTimer::timeout, &poll, [this, answer] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        poll.stop();
        answer(dialog);
        if (auto *box = qobject_cast<QDialog *>(dialog); box && box->isVisible())
            box->reject();
    });
    poll.start(10);
}

bool dropFiles(ZUNAListView *view, const QStringList &files, bool wait, const QMimeData *data)
{
    QList<QUrl> urls;
    for (const QString &file : files)
        urls << (file.startsWith(u'/') ? QUrl::fromLocalFile(file) : QUrl(file));
    QMimeData dragged;
    dragged.setUrls(urls);
    data = data ? data : &dragged;
    QDragEnterEvent enter({20, 5}, Qt::CopyAction, data, Qt::LeftButton, {});
    QApplication::sendEvent(view->viewport(), &enter);
    bool accepted = enter.isAccepted();
    for (const QPoint at : {QPoint(30, 45), QPoint(40, 85), QPoint(50, 30)}) {
        QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(view->viewport(), &move);
        accepted = accepted && move.isAccepted();
    }
    QDropEvent drop(QPointF(50, 30), Qt::CopyAction, data, Qt::LeftButton, {});
    QApplication::sendEvent(view->viewport(), &drop);
    return accepted &&
           (!wait || QTest::qWaitFor([view] { return !view->takingIn(); }, scaledMs(5000)));
}

// Root, or any process that may override permission bits, reads any file. Dropped before
// main(), so before any thread starts (all inherit it): window tests meet what a user would.
const bool readOverrideDropped = [] {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    ::syscall(SYS_capget, &header, caps);
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
        caps[cap / 32].effective &= ~(1u << (cap % 32));
    return ::syscall(SYS_capset, &header, caps) == 0;
}();

}  // namespace zuna
