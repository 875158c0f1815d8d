// The window as a user meets it: the form, the icon font, the wiring from buttons and
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
const QString kIcons = u"Corvane Lite"_s;

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

    void iconFontHasEveryButtonSymbol()
    {
        // QFontMetrics would count fallback fonts; the raw font tells what this one has.
        const QRawFont raw = QRawFont::fromFont(QFont(kIcons));
        QCOMPARE(raw.familyName(), kIcons);
        for (QChar c : u"Y56<>7DJ"_s)
            QVERIFY2(raw.supportsCharacter(c), qPrintable(QString(c)));
        QVERIFY(!raw.supportsCharacter(u'A'));
    }

    void formWidgets()
    {
        // Name|text|points (0: default)|bold|accessible name (icon buttons, in the icon font)
        // clang-format off
        const QStringList table = {
            u"artistlabel|No track opened now|0|0|"_s,  u"tracklabel||9|0|"_s,
            u"settingsbutton|Y|11|0|Settings"_s,        u"bitratelabel||8|1|"_s,
            u"sampleratelabel||9|1|"_s,                 u"currenttimelabel|00:00|0|0|"_s,
            u"slash0label|/|0|0|"_s,                    u"totaltimelabel|00:00|0|0|"_s,
            u"playbutton|5|0|0|Play"_s,                 u"pausebutton|6|0|0|Pause"_s,
            u"prevbutton|<|0|0|Previous"_s,             u"nextbutton|>|0|0|Next"_s,
            u"stopbutton|7|0|0|Stop"_s,                 u"mutebutton|D|0|0|Mute"_s,
            u"addtrackbutton|+|0|0|"_s,                 u"deltrackbutton|-|0|0|"_s,
            u"addplaylistbutton|J|0|0|New playlist"_s};
        // clang-format on
        WindowRig rig;
        const QFont defaults = QApplication::font();
        for (const QString &row : table) {
            const QStringList f = row.split(u'|');
            auto *widget = rig.window().findChild<QWidget *>(f[0]);
            auto *label = qobject_cast<QLabel *>(widget);
            auto *button = qobject_cast<QPushButton *>(widget);
            QVERIFY2(label || button, qPrintable(f[0]));
            QCOMPARE(label ? label->text() : button->text(), f[1]);
            QCOMPARE(widget->font().pointSize(),
                     f[2] == u"0" ? defaults.pointSize() : f[2].toInt());
            QCOMPARE(widget->font().bold(), f[3] == u"1");
            QCOMPARE(widget->accessibleName(), f[4]);
            QCOMPARE(widget->font().family(), f[4].isEmpty() ? defaults.family() : kIcons);
            QVERIFY(widget->toolTip().isEmpty());
            QVERIFY(!button ||
                    (button->maximumSize() == QSize(30, 30) && button->shortcut().isEmpty()));
        }
    }

    void startStateAndButtonsOfThirtyPixelsAtMost()
    {
        WindowRig rig;
        QCOMPARE(rig.window().windowTitle(), u"ZUNA"_s);
        QCOMPARE(rig.window().size(), QSize(400, 400));
        QVERIFY(rig.slider("progresslider")->isEnabled());
        QCOMPARE(rig.slider("volumeslider")->value(), 99);
        QVERIFY(rig.tabs()->tabsClosable() && rig.tabs()->isMovable());
        // One playlist, "Default", number 0, shown, taking file drags.
        QCOMPARE(rig.tabs()->count(), 1);
        QCOMPARE(rig.tabs()->tabText(rig.tabs()->currentIndex()), u"Default"_s);
        QCOMPARE(rig.playlist(0)->Getid(), 0);
        QVERIFY(rig.playlist(0)->acceptDrops());
        QCOMPARE(rig.playlist(0)->dragDropMode(), QAbstractItemView::InternalMove);

        // Enlarged, the room goes to the playlist, not to the buttons.
        rig.window().show();
        rig.window().resize(1200, 900);
        QTRY_VERIFY(rig.tabs()->height() > 600);
        const auto buttons = rig.window().centralWidget()->findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 10);
        for (QPushButton *button : buttons)
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
        QSignalSpy ticks(rig.engine(), &ZUNAAudio::Tick);
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
        volume->setValue(57);
        rig.click("mutebutton");
        QCOMPARE(rig.engine()->Getvolume(), 0.57f);
        rig.click("mutebutton");
        QCOMPARE(volume->value(), 56);  // 0.57f is 0.569999993: truncated
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
