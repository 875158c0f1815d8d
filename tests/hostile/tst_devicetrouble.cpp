// Sound-device trouble: no device to be had, or one failing mid-track. The player keeps running,
// the engine stays idle or ends the track, and with a device back the next file plays.

#include <QSignalSpy>

#include "support/fixtures.h"
#include "support/windowrig.h"

using namespace Qt::StringLiterals;

namespace {
const QString kFirst = u"two-a-1200.flac"_s;
const QString kSecond = u"two-b-1500.flac"_s;

ZUNAListView *withTwoRows(WindowRig &rig)
{
    ZUNAListView *view = rig.playlist(0);
    view->AddFile(fixturePath(kFirst));
    view->AddFile(fixturePath(kSecond));
    return view;
}
}  // namespace

class TestDeviceTrouble : public QObject {
    Q_OBJECT

private slots:
    void sdlWithoutAnyDeviceLeavesTheEngineIdle()
    {
        qputenv("SDL_AUDIODRIVER", "zuna-no-such-driver");  // until a device turns up below
        WindowRig rig(WindowRig::Device::Sdl);
        ZUNAListView *view = withTwoRows(rig);
        Heard finished(rig.engine(), &ZUNAAudio::Finish);
        Heard ticks(rig.engine(), &ZUNAAudio::Tick);
        STEP(rig.doubleClickRow(view, 0));
        QCOMPARE(rig.label("tracklabel")->text(), u"First"_s);
        rig.click("playbutton");
        rig.click("nextbutton");
        rig.monitor();
        // The window goes on; the engine, with nothing to play on, stays idle and reports
        // neither progress nor an end (which would run through the playlist).
        QCOMPARE(rig.label("tracklabel")->text(), u"Second"_s);
        QCOMPARE(finished.size() + ticks.size(), 0);

        // A device turns up (SDL's dummy, which plays in real time): the next request plays.
        qputenv("SDL_AUDIODRIVER", "dummy");
        STEP(rig.doubleClickRow(view, 0));
        TRY_VERIFY((rig.monitor(), !ticks.isEmpty()));
        QVERIFY(ticks.last().at(0).toUInt() > 0);
    }

    void aDeviceThatFailsWhilePlayingEndsTheTrack_data()
    {
        QTest::addColumn<bool>("goneForGood");
        QTest::newRow("no device left") << true;
        QTest::newRow("another device takes over") << false;
    }

    void aDeviceThatFailsWhilePlayingEndsTheTrack()
    {
        QFETCH(bool, goneForGood);
        WindowRig rig;
        ZUNAListView *view = withTwoRows(rig);
        Heard finished(rig.engine(), &ZUNAAudio::Finish);
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        STEP(rig.doubleClickRow(view, 0));
        STEP(rig.checkHeard(kFirst));

        rig.capture().failOutput();
        rig.capture().setUnavailable(goneForGood);
        QCOMPARE(rig.capture().pump(4410), size_t(0));
        // The track ends instead of "playing" forever on a device that never pulls again,
        // and the playlist goes on as after any end.
        rig.monitor();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(played.size(), 2);
        QCOMPARE(played.last().at(0).toString(), fixturePath(kSecond));
        rig.sync();
        if (goneForGood) {
            // Nothing to play on: idle, with no further end reported, until a device is back.
            QCOMPARE(rig.capture().outputsOpened(), 1);
            rig.monitor();
            QCOMPARE(finished.size(), 1);
            QCOMPARE(played.size(), 2);
            rig.capture().setUnavailable(false);
            STEP(rig.doubleClickRow(view, 1));
        }
        STEP(rig.checkHeard(kSecond));
    }
};

QTEST_MAIN(TestDeviceTrouble)
#include "tst_devicetrouble.moc"
