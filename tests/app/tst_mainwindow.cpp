// The window as a user meets it: the icon font's symbols, the wiring from buttons and
// sliders to the engine on its worker thread, and the now-playing display.

#include <QRawFont>
#include <QtTest>

#include "app/iconfont.h"
#include "support/fixtures.h"
#include "support/logrecorder.h"
#include "support/toneanalysis.h"
#include "support/windowrig.h"

using namespace Qt::StringLiterals;

namespace {
void play(WindowRig &rig, const QString &file)
{
    emit rig.window().Playfile(fixturePath(file));
    rig.sync();
}
}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(registerIconFont()); }

    // Buttons drawn from the icon font must find their symbols there (a fallback font
    // would show the bare letters), and say in words what they do.
    void iconButtonsHaveTheirSymbolsAndNames()
    {
        WindowRig rig;
        const QList<QPushButton *> buttons = rig.window().findChildren<QPushButton *>();
        int icons = 0;
        for (const QPushButton *button : buttons) {
            const QRawFont raw = QRawFont::fromFont(button->font());
            if (raw.familyName() != u"Corvane Lite"_s)
                continue;
            ++icons;
            QVERIFY2(raw.supportsCharacter(button->text().at(0)), qPrintable(button->text()));
            QVERIFY(!button->accessibleName().isEmpty());
        }
        QCOMPARE(icons, 8);
        QVERIFY(!QRawFont::fromFont(QFont(u"Corvane Lite"_s)).supportsCharacter(u'A'));
    }

    void enlargedTheRoomGoesToThePlaylistNotTheButtons()
    {
        WindowRig rig;
        STEP(rig.show());
        rig.window().resize(1200, 900);
        TRY_VERIFY(rig.tabs()->height() > 600);
        for (QPushButton *button : rig.window().findChildren<QPushButton *>())
            QVERIFY2(button->width() <= 30 && button->height() <= 30,
                     qPrintable(button->objectName()));
    }

    void buttonsReachTheEngineOnItsThreadWhenReleased()
    {
        WindowRig rig;
        LogRecorder log;
        QTest::mousePress(rig.button("playbutton"), Qt::LeftButton);
        rig.sync();
        QVERIFY(log.lines().isEmpty());  // held down, nothing happens yet
        QTest::mouseRelease(rig.button("playbutton"), Qt::LeftButton);
        for (const char *name : {"pausebutton", "stopbutton", "mutebutton", "settingsbutton",
                                 "nextbutton", "prevbutton"})
            rig.click(name);
        QCOMPARE(log.lines(), QStringList({u"Event: Play"_s, u"Event: Pause"_s, u"Event: Stop"_s,
                                           u"Event: Mute"_s}));
        QVERIFY(!log.threads().contains(QThread::currentThread()));  // the worker's
    }

    void progressSliderFollowsTicksAndSeeksOnlyWhenDragged()
    {
        WindowRig rig;
        Heard ticks(rig.engine(), &ZUNAAudio::Tick);
        play(rig, u"cbr-440.mp3"_s);  // 3000 ms: a step of 30 ms
        const struct {
            uint position;
            const char *elapsed;
            int progress;
        } rows[] = {{1500, "00:01", 50},
                    {2999, "00:02", 99},
                    {3000, "00:03", 99},  // 100 % held at the slider's maximum
                    {3723000, "1:02:03", 99}};
        for (const auto &row : rows) {
            emit rig.engine()->Tick(row.position);
            QCOMPARE(rig.label("currenttimelabel")->text(), QString::fromLatin1(row.elapsed));
            QCOMPARE(rig.slider("progresslider")->value(), row.progress);
        }
        // Moved by setValue(), as the position display does, the slider does not seek.
        rig.capture().pump(44100);  // one second in
        QSlider *progress = rig.slider("progresslider");
        progress->setValue(50);
        rig.sync();
        rig.monitor();
        QCOMPARE(ticks.last().at(0).toUInt(), 1000u);
        // Dragged, it does. A report while the handle is held must neither move it nor,
        // through the slider's own sliderMoved, seek back to the reported position.
        progress->setSliderDown(true);
        progress->setSliderPosition(40);
        rig.sync();
        emit rig.engine()->Tick(1000);
        QCOMPARE(progress->value(), 40);
        rig.sync();
        rig.monitor();
        QCOMPARE(ticks.last().at(0).toUInt(), 1200u);
        progress->setSliderDown(false);
        play(rig, u"short-50ms.flac"_s);  // under 100 ms: no step, the slider shows 0
        emit rig.engine()->Tick(40);
        QCOMPARE(progress->value(), 0);
    }

    void volumeSliderFollowsMuteAndItsStartValueIsNeverSent()
    {
        WindowRig rig;
        play(rig, u"flac16-880.flac"_s);
        rig.capture().pump(4410);
        // Had the start value 99 been sent, the peak would be 0.495.
        QVERIFY(qAbs(peakOf(rig.capture().takeSamples()) - 0.5) < 0.001);
        QSlider *volume = rig.slider("volumeslider");
        rig.click("mutebutton");
        QVERIFY(!volume->isEnabled() && volume->value() == 0);
        rig.click("mutebutton");  // nothing set yet: back to full volume
        QVERIFY(volume->isEnabled() && volume->value() == 99);
    }

    // Any number of mutes and unmutes gives back the volume the user had set.
    void muteAndUnmuteGiveTheVolumeBack()
    {
        WindowRig rig;
        QSlider *volume = rig.slider("volumeslider");
        for (int value = 0; value <= 100; ++value) {
            volume->setValue(value);
            for (int cycle = 0; cycle < 20; ++cycle) {
                rig.click("mutebutton");
                rig.click("mutebutton");
            }
            QCOMPARE(volume->value(), qMin(value, 99));
        }
    }

    // A click on the progress groove seeks to where it was clicked; a track started then
    // shows its start, not where the last one was.
    void aClickOnTheGrooveSeeksThereAndANewTrackStartsAtZero()
    {
        WindowRig rig;
        Heard ticks(rig.engine(), &ZUNAAudio::Tick);
        ZUNAListView *view = rig.playlist(0);
        view->AddFile(fixturePath(u"long-6s-8k.flac"_s));  // a step of 60 ms
        view->AddFile(fixturePath(u"cbr-440.mp3"_s));
        STEP(rig.doubleClickRow(view, 0));
        QSlider *progress = rig.slider("progresslider");
        QTest::mouseClick(progress, Qt::LeftButton, {},
                          QPoint(progress->width() * 3 / 4, progress->height() / 2));
        rig.sync();
        const int clicked = progress->value();
        QVERIFY2(clicked > 60 && clicked < 90, qPrintable(QString::number(clicked)));
        rig.monitor();
        QCOMPARE(ticks.last().at(0).toUInt(), uint(clicked) * 60);
        QCOMPARE(progress->value(), clicked);
        STEP(rig.doubleClickRow(view, 1));
        QCOMPARE(rig.label("currenttimelabel")->text(), u"00:00"_s);
        QCOMPARE(progress->value(), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
