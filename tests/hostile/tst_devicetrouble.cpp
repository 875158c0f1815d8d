// Sound-device trouble: no device to be had, and a device that fails while a track plays.
// The player keeps running, the engine stays idle or ends the track, and once a device is
// there again the next file plays.

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "audio/audiosystem.h"
#include "audio/zunaaudio.h"
#include "playlistrows.h"
#include "support/fixtures.h"
#include "support/toneanalysis.h"
#include "support/windowrig.h"

namespace {
const QString kFirst = QStringLiteral("two-a-1200.flac");
const QString kSecond = QStringLiteral("two-b-1500.flac");

void fill(ZUNAListView *view)
{
    view->AddFile(fixturePath(kFirst));
    view->AddFile(fixturePath(kSecond));
}

// The tone of `name` is what the capture device receives now.
void checkHeard(WindowRig &rig, const QString &name)
{
    const Fixture f = fixture(name);
    rig.sync();
    QVERIFY(rig.capture().isOpen());
    rig.capture().takeSamples();
    QCOMPARE(rig.capture().pump(4410), size_t(4410));
    const ToneStats tone = analyseTone(rig.capture().takeSamples(), f.channels, f.rate);
    QVERIFY2(qAbs(tone.frequency - f.frequency) < 3, qPrintable(QString::number(tone.frequency)));
}

// Restores an environment variable when it goes out of scope.
class EnvironmentValue {
public:
    EnvironmentValue(const char *name, const QByteArray &value)
        : name(name), saved(qgetenv(name)), had(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~EnvironmentValue()
    {
        if (had)
            qputenv(name, saved);
        else
            qunsetenv(name);
    }

private:
    const char *name;
    QByteArray saved;
    bool had;
};
}  // namespace

class TestDeviceTrouble : public QObject {
    Q_OBJECT

private slots:
    void sdlWithoutAnyDeviceLeavesTheEngineIdle()
    {
        EnvironmentValue driver("SDL_AUDIODRIVER", "zuna-no-such-driver");
        WindowRig rig(makeSdlOutputDriver());
        rig.window().show();
        ZUNAListView *view = rig.playlist(0);
        fill(view);
        QSignalSpy finished(rig.engine(), &ZUNAAudio::Finish);
        QSignalSpy ticks(rig.engine(), &ZUNAAudio::Tick);
        doubleClickRow(view, 0);
        rig.sync();
        QTest::qWait(200);
        rig.monitor();
        // The window shows the entry; the engine, with nothing to play on, stays idle and
        // reports neither progress nor an end (which would run through the playlist).
        QCOMPARE(rig.label("tracklabel")->text(), QStringLiteral("First"));
        QCOMPARE(finished.size(), 0);
        QCOMPARE(ticks.size(), 0);
        QTest::mouseClick(rig.button("playbutton"), Qt::LeftButton);
        QTest::mouseClick(rig.button("nextbutton"), Qt::LeftButton);
        rig.sync();
        rig.monitor();
        QCOMPARE(finished.size(), 0);
        QCOMPARE(rig.label("tracklabel")->text(), QStringLiteral("Second"));

        // A device turns up (SDL's dummy one, which plays in real time): the next request
        // plays.
        qputenv("SDL_AUDIODRIVER", "dummy");
        doubleClickRow(view, 0);
        rig.sync();
        QTRY_VERIFY_WITH_TIMEOUT((rig.monitor(), !ticks.isEmpty()), 5000);
        QVERIFY(ticks.last().at(0).toUInt() > 0);
    }

    void aFailedOutputEndsItsChannel()
    {
        auto driver = std::make_unique<CaptureDriver>();
        CaptureDriver &capture = *driver;
        AudioSystem system(std::move(driver));
        std::unique_ptr<AudioStream> stream;
        QCOMPARE(system.openStream(QFile::encodeName(fixturePath(kFirst)).toStdString(), &stream),
                 AudioResult::Ok);
        AudioChannel channel;
        QCOMPARE(system.play(*stream, false, &channel), AudioResult::Ok);
        QCOMPARE(capture.pump(2205), size_t(2205));
        QVERIFY(channel.isPlaying());

        capture.failOutput();
        QCOMPARE(capture.pump(2205), size_t(0));
        QVERIFY(!channel.isPlaying());
        QCOMPARE(channel.setPaused(true), AudioResult::InvalidHandle);
        QCOMPARE(channel.position(), 0u);

        // The stream itself is fine: on a working output it plays again from the start.
        QCOMPARE(system.play(*stream, false, &channel), AudioResult::Ok);
        QCOMPARE(capture.outputsOpened(), 2);
        QCOMPARE(capture.pump(22050), size_t(22050));
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
        fill(view);
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
            // Nothing to play on: idle, with no further end reported.
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
