// Sound-device trouble: no device to be had, or one failing mid-track. The player keeps running,
// the engine stays idle or ends the track, and with a device back the next file plays.

#include <QPushButton>
#include <QSignalSpy>

#include "audio/engine/zunaaudio.h"
#include "playlistrows.h"

using namespace Qt::StringLiterals;

namespace {
const QString kFirst = u"two-a-1200.flac"_s;
const QString kSecond = u"two-b-1500.flac"_s;
}  // namespace

class TestDeviceTrouble : public QObject {
    Q_OBJECT

private slots:
    void sdlWithoutAnyDeviceLeavesTheEngineIdle()
    {
        qputenv("SDL_AUDIODRIVER", "zuna-no-such-driver");  // until a device turns up below
        WindowRig rig(nullptr);  // the real sound device, through SDL
        rig.window().show();
        ZUNAListView *view = rig.playlist(0);
        view->AddFile(fixturePath(kFirst));
        view->AddFile(fixturePath(kSecond));
        QSignalSpy finished(rig.engine(), &ZUNAAudio::Finish);
        QSignalSpy ticks(rig.engine(), &ZUNAAudio::Tick);
        doubleClickRow(view, 0);
        rig.sync();
        QTest::qWait(200);
        QCOMPARE(rig.label("tracklabel")->text(), u"First"_s);
        QTest::mouseClick(rig.button("playbutton"), Qt::LeftButton);
        QTest::mouseClick(rig.button("nextbutton"), Qt::LeftButton);
        rig.sync();
        rig.monitor();
        // The window goes on; the engine, with nothing to play on, stays idle and reports
        // neither progress nor an end (which would run through the playlist).
        QCOMPARE(rig.label("tracklabel")->text(), u"Second"_s);
        QCOMPARE(finished.size() + ticks.size(), 0);

        // A device turns up (SDL's dummy, which plays in real time): the next request plays.
        qputenv("SDL_AUDIODRIVER", "dummy");
        doubleClickRow(view, 0);
        rig.sync();
        QTRY_VERIFY_WITH_TIMEOUT((rig.monitor(), !ticks.isEmpty()), 5000);
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
        rig.window().show();
        ZUNAListView *view = rig.playlist(0);
        view->AddFile(fixturePath(kFirst));
        view->AddFile(fixturePath(kSecond));
        QSignalSpy finished(rig.engine(), &ZUNAAudio::Finish);
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        doubleClickRow(view, 0);
        checkHeard(rig, kFirst);

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
            doubleClickRow(view, 1);
        }
        checkHeard(rig, kSecond);
    }
};

QTEST_MAIN(TestDeviceTrouble)
#include "tst_devicetrouble.moc"
