// The window as a user meets it: the form, the icon font, the wiring from buttons and
// sliders to the engine on its worker thread, and the now-playing display.

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRawFont>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

#include "app/iconfont.h"
#include "audio/zunaaudio.h"
#include "playlist/zunalistview.h"
#include "support/fixtures.h"
#include "support/logrecorder.h"
#include "support/toneanalysis.h"
#include "support/windowrig.h"
#include "ui_mainwindow.h"

namespace {
const QString kIconFamily = QStringLiteral("Corvane Lite");

void play(WindowRig &rig, const QString &fixtureName)
{
    emit rig.window().Playfile(fixturePath(fixtureName));
    rig.sync();
}
}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(registerIconFont()); }

    void iconFontDrawsEveryButtonSymbol()
    {
        QVERIFY(QFontDatabase::families().contains(kIconFamily));
        // QFontMetrics would count fallback fonts; the raw font tells what this one has.
        const QRawFont raw = QRawFont::fromFont(QFont(kIconFamily));
        QCOMPARE(raw.familyName(), kIconFamily);
        for (QChar c : QStringLiteral("Y56<>7DJ"))
            QVERIFY2(raw.supportsCharacter(c), qPrintable(QString(c)));
        QVERIFY(!raw.supportsCharacter(QLatin1Char('A')));
    }

    void formWidgetsHaveTheirTextsAndFonts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("family");  // empty: the window's default font
        QTest::addColumn<int>("pointSize");   // 0: the default size
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("accessibleName");
        const QString none;
        QTest::newRow("artist") << "artistlabel"
                                << "No track opened now" << none << 0 << false << none;
        QTest::newRow("track") << "tracklabel" << none << none << 9 << false << none;
        QTest::newRow("settings") << "settingsbutton"
                                  << "Y" << kIconFamily << 11 << false << "Settings";
        QTest::newRow("bitrate") << "bitratelabel" << none << none << 8 << true << none;
        QTest::newRow("samplerate") << "sampleratelabel" << none << none << 9 << true << none;
        QTest::newRow("elapsed") << "currenttimelabel"
                                 << "00:00" << none << 0 << false << none;
        QTest::newRow("slash") << "slash0label"
                               << "/" << none << 0 << false << none;
        QTest::newRow("total") << "totaltimelabel"
                               << "00:00" << none << 0 << false << none;
        QTest::newRow("play") << "playbutton"
                              << "5" << kIconFamily << 0 << false << "Play";
        QTest::newRow("pause") << "pausebutton"
                               << "6" << kIconFamily << 0 << false << "Pause";
        QTest::newRow("previous") << "prevbutton"
                                  << "<" << kIconFamily << 0 << false << "Previous";
        QTest::newRow("next") << "nextbutton"
                              << ">" << kIconFamily << 0 << false << "Next";
        QTest::newRow("stop") << "stopbutton"
                              << "7" << kIconFamily << 0 << false << "Stop";
        QTest::newRow("mute") << "mutebutton"
                              << "D" << kIconFamily << 0 << false << "Mute";
        QTest::newRow("add") << "addtrackbutton"
                             << "+" << none << 0 << false << none;
        QTest::newRow("delete") << "deltrackbutton"
                                << "-" << none << 0 << false << none;
        QTest::newRow("new playlist") << "addplaylistbutton"
                                      << "J" << kIconFamily << 0 << false << "New playlist";
    }

    void formWidgetsHaveTheirTextsAndFonts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, family);
        QFETCH(int, pointSize);
        QFETCH(bool, bold);
        QFETCH(QString, accessibleName);
        WindowRig rig;
        QWidget *widget = rig.window().findChild<QWidget *>(name);
        QVERIFY(widget);
        const QString shown = qobject_cast<QLabel *>(widget)
                                  ? qobject_cast<QLabel *>(widget)->text()
                                  : qobject_cast<QPushButton *>(widget)->text();
        QCOMPARE(shown, text);
        const QFont defaults = QApplication::font();
        QCOMPARE(widget->font().family(), family.isEmpty() ? defaults.family() : family);
        QCOMPARE(widget->font().pointSize(), pointSize ? pointSize : defaults.pointSize());
        QCOMPARE(widget->font().bold(), bold);
        QCOMPARE(widget->accessibleName(), accessibleName);
        QVERIFY(widget->toolTip().isEmpty());
        if (auto *button = qobject_cast<QPushButton *>(widget)) {
            QCOMPARE(button->maximumSize(), QSize(30, 30));
            QVERIFY(button->shortcut().isEmpty());
        }
    }

    void formLayoutAndStartState()
    {
        WindowRig rig;
        MainWindow &window = rig.window();
        QCOMPARE(window.windowTitle(), QStringLiteral("ZUNA"));
        QCOMPARE(window.size(), QSize(400, 400));
        QVERIFY(!window.findChild<QMenuBar *>());
        QVERIFY(!window.findChild<QStatusBar *>());
        QSlider *progress = rig.slider("progresslider");
        QSlider *volume = rig.slider("volumeslider");
        QVERIFY(progress->isEnabled());
        QCOMPARE(progress->value(), 0);
        QCOMPARE(progress->maximum(), 99);
        QCOMPARE(volume->value(), 99);
        QCOMPARE(volume->maximum(), 99);
        QCOMPARE(progress->orientation(), Qt::Horizontal);
        QVERIFY(rig.tabs()->tabsClosable());
        QVERIFY(rig.tabs()->isMovable());
        QVERIFY(!rig.tabs()->documentMode());

        // The form's layouts: spacing 6 everywhere, 11 around the outside only.
        QMainWindow bare;
        Ui_MainWindow form;
        form.setupUi(&bare);
        for (QLayout *layout : bare.findChildren<QLayout *>())
            QCOMPARE(layout->spacing(), 6);
        QCOMPARE(form.verticalLayout->contentsMargins(), QMargins(11, 11, 11, 11));
        QCOMPARE(form.horizontalLayout->contentsMargins(), QMargins());
        QCOMPARE(form.playliststab->count(), 0);
        QCOMPARE(form.playliststab->currentIndex(), -1);
    }

    void buttonsNeverOutgrowThirtyPixels()
    {
        WindowRig rig;
        rig.window().show();
        rig.window().resize(1200, 900);
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window()));
        QTRY_COMPARE(rig.window().size(), QSize(1200, 900));
        for (QPushButton *button :
             rig.window().findChildren<QPushButton *>(QString(), Qt::FindDirectChildrenOnly)) {
            QVERIFY(button->width() <= 30 && button->height() <= 30);
        }
        const QList<QPushButton *> all =
            rig.window().centralWidget()->findChildren<QPushButton *>();
        QCOMPARE(all.size(), 10);
        for (QPushButton *button : all)
            QVERIFY2(button->width() <= 30 && button->height() <= 30,
                     qPrintable(button->objectName()));
        // The room went to the sliders and the playlist.
        QVERIFY(rig.slider("progresslider")->width() > 1000);
        QVERIFY(rig.tabs()->height() > 600);
    }

    void startsWithTheDefaultPlaylistOnly()
    {
        WindowRig rig;
        QCOMPARE(rig.tabs()->count(), 1);
        QCOMPARE(rig.tabs()->tabText(0), QStringLiteral("Default"));
        QCOMPARE(rig.tabs()->currentIndex(), 0);
        ZUNAListView *view = rig.playlist(0);
        QVERIFY(view);
        QCOMPARE(view->Getid(), 0);
        QCOMPARE(view->count(), 0);
        QVERIFY(view->acceptDrops());
        QCOMPARE(view->dragDropMode(), QAbstractItemView::InternalMove);

        // The next playlist gets number 1.
        DialogAnswer answer([](QWidget *dialog) {
            dialog->findChild<QLineEdit *>()->setText(QStringLiteral("Next"));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        QTest::mouseClick(rig.button("addplaylistbutton"), Qt::LeftButton);
        QCOMPARE(rig.tabs()->count(), 2);
        QCOMPARE(rig.playlist(1)->Getid(), 1);
    }

    void buttonsReachTheEngineOnItsThreadWhenReleased()
    {
        WindowRig rig;
        LogRecorder log;
        // Held down, nothing happens yet.
        QTest::mousePress(rig.button("playbutton"), Qt::LeftButton);
        rig.sync();
        QVERIFY(log.lines().isEmpty());
        QTest::mouseRelease(rig.button("playbutton"), Qt::LeftButton);
        for (const char *name : {"pausebutton", "stopbutton", "mutebutton", "settingsbutton",
                                 "nextbutton", "prevbutton"})
            QTest::mouseClick(rig.button(name), Qt::LeftButton);
        rig.sync();
        QCOMPARE(log.lines(),
                 (QStringList{QStringLiteral("Event: Play"), QStringLiteral("Event: Pause"),
                              QStringLiteral("Event: Stop"), QStringLiteral("Event: Mute")}));
        for (QThread *writer : log.threads())
            QVERIFY(writer != QThread::currentThread());
    }

    void progressSliderSeeksOnlyWhenDragged()
    {
        WindowRig rig;
        QSignalSpy ticks(rig.engine(), &ZUNAAudio::Tick);
        play(rig, QStringLiteral("long-6s-8k.flac"));  // 6000 ms: a step of 60 ms
        rig.capture().pump(800);
        QSlider *progress = rig.slider("progresslider");
        progress->setValue(50);  // what the position display does: no seek
        rig.sync();
        rig.monitor();
        QCOMPARE(ticks.last().at(0).toUInt(), 100u);

        // A user dragging the handle seeks to value × step.
        progress->setSliderDown(true);
        progress->setSliderPosition(70);
        progress->setSliderDown(false);
        rig.sync();
        rig.monitor();
        QCOMPARE(ticks.last().at(0).toUInt(), 4200u);
        QCOMPARE(rig.label("currenttimelabel")->text(), QStringLiteral("00:04"));
        QCOMPARE(progress->value(), 70);
    }

    void positionUpdatesLeaveAHeldHandleAlone()
    {
        WindowRig rig;
        QSignalSpy ticks(rig.engine(), &ZUNAAudio::Tick);
        play(rig, QStringLiteral("long-6s-8k.flac"));  // a step of 60 ms
        rig.capture().pump(8000);                      // one second in
        QSlider *progress = rig.slider("progresslider");
        progress->setSliderDown(true);
        progress->setSliderPosition(40);  // the user drags to 40 %: a seek to 2400 ms
        rig.sync();
        // A position report while the handle is held must neither move it nor, through
        // the slider's own sliderMoved, seek back to the reported position.
        emit rig.engine()->Tick(1000);
        QCOMPARE(progress->value(), 40);
        QCOMPARE(rig.label("currenttimelabel")->text(), QStringLiteral("00:01"));
        rig.sync();
        rig.monitor();
        QCOMPARE(ticks.last().at(0).toUInt(), 2400u);
        progress->setSliderDown(false);
        emit rig.engine()->Tick(2400);
        QCOMPARE(progress->value(), 40);
    }

    void volumeSliderStartsAtFullWithoutSending()
    {
        WindowRig rig;
        play(rig, QStringLiteral("flac16-880.flac"));
        rig.capture().pump(4410);
        // Had the start value 99 been sent, the peak would be 0.495.
        QVERIFY(qAbs(peakOf(rig.capture().takeSamples()) - 0.5) < 0.001);
        rig.slider("volumeslider")->setValue(50);
        rig.sync();
        rig.capture().pump(4410);
        rig.capture().takeSamples();
        rig.capture().pump(4410);
        QVERIFY(qAbs(peakOf(rig.capture().takeSamples()) - 0.25) < 0.005);
    }

    void tickShowsElapsedTimeAndProgress_data()
    {
        QTest::addColumn<uint>("position");
        QTest::addColumn<QString>("elapsed");
        QTest::addColumn<int>("progress");
        // A 3000 ms track: a step of 30 ms.
        QTest::newRow("start") << 0u << "00:00" << 0;
        QTest::newRow("under a second") << 999u << "00:00" << 33;
        QTest::newRow("half way") << 1500u << "00:01" << 50;
        QTest::newRow("last step") << 2999u << "00:02" << 99;
        QTest::newRow("the end, held at the maximum") << 3000u << "00:03" << 99;
        QTest::newRow("59.999 s") << 59999u << "00:59" << 99;
        QTest::newRow("a minute") << 60000u << "01:00" << 99;
        QTest::newRow("last second under an hour") << 3599999u << "59:59" << 99;
        QTest::newRow("past an hour") << 3723000u << "1:02:03" << 99;
    }

    void tickShowsElapsedTimeAndProgress()
    {
        QFETCH(uint, position);
        QFETCH(QString, elapsed);
        QFETCH(int, progress);
        WindowRig rig;
        play(rig, QStringLiteral("cbr-440.mp3"));
        emit rig.engine()->Tick(position);
        QCOMPARE(rig.label("currenttimelabel")->text(), elapsed);
        QCOMPARE(rig.slider("progresslider")->value(), progress);
    }

    void tickOnATrackWithoutStepKeepsTheSliderAtZero()
    {
        WindowRig rig;
        play(rig, QStringLiteral("short-50ms.flac"));
        QCOMPARE(rig.engine()->Getstep(), 0u);
        emit rig.engine()->Tick(40);
        QCOMPARE(rig.slider("progresslider")->value(), 0);
        QCOMPARE(rig.label("currenttimelabel")->text(), QStringLiteral("00:00"));
    }

    void muteShowsOnTheVolumeSlider()
    {
        WindowRig rig;
        QSlider *volume = rig.slider("volumeslider");
        QPushButton *mute = rig.button("mutebutton");
        // Nothing set yet: unmuting restores full volume, held at the slider's 99.
        volume->setValue(40);
        volume->setValue(99);
        QTest::mouseClick(mute, Qt::LeftButton);
        rig.sync();
        QVERIFY(!volume->isEnabled());
        QCOMPARE(volume->value(), 0);
        QTest::mouseClick(mute, Qt::LeftButton);
        rig.sync();
        QVERIFY(volume->isEnabled());
        QCOMPARE(volume->value(), 99);

        // 0.57 as a float is 0.569999993: truncation gives 56.
        volume->setValue(57);
        QTest::mouseClick(mute, Qt::LeftButton);
        rig.sync();
        QCOMPARE(rig.engine()->Getvolume(), 0.57f);
        QTest::mouseClick(mute, Qt::LeftButton);
        rig.sync();
        QCOMPARE(volume->value(), 56);

        // Muted, the engine plays silence; unmuted, the restored slider value is heard.
        QTest::mouseClick(mute, Qt::LeftButton);
        play(rig, QStringLiteral("flac16-880.flac"));
        rig.capture().pump(4410);
        QCOMPARE(peakOf(rig.capture().takeSamples()), 0.0);
        QTest::mouseClick(mute, Qt::LeftButton);
        rig.sync();
        rig.capture().pump(4410);
        rig.capture().takeSamples();
        rig.capture().pump(4410);
        QVERIFY(qAbs(peakOf(rig.capture().takeSamples()) - 0.28) < 0.005);
    }

    void clearMetadataRestoresTheIdleDisplay()
    {
        WindowRig rig;
        play(rig, QStringLiteral("cbr-440.mp3"));
        rig.label("artistlabel")->setText(QStringLiteral("Artist"));
        rig.label("tracklabel")->setText(QStringLiteral("Title"));
        rig.label("totaltimelabel")->setText(QStringLiteral("04:05"));
        emit rig.engine()->Tick(1500);
        QVERIFY(QMetaObject::invokeMethod(&rig.window(), "ClearMetadata"));
        QCOMPARE(rig.label("artistlabel")->text(), QStringLiteral("No track opened now"));
        QCOMPARE(rig.label("tracklabel")->text(), QString());
        QCOMPARE(rig.label("currenttimelabel")->text(), QStringLiteral("00:00"));
        QCOMPARE(rig.label("totaltimelabel")->text(), QStringLiteral("04:05"));
        QSlider *progress = rig.slider("progresslider");
        QCOMPARE(progress->value(), 0);
        QVERIFY(!progress->isEnabled());
        // A late report still moves the (disabled) slider.
        emit rig.engine()->Tick(900);
        QCOMPARE(progress->value(), 30);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
