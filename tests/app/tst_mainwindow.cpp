// The window as a user meets it, through buttons, sliders, keys, rows, tabs and dialogs (each
// answered by the test); the sound device failing it; a player process closed or sent SIGTERM.

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRawFont>
#include <QTabBar>
#include <QtTest>
#include <atomic>

#include "app/iconfont.h"
#include "support/fixtures.h"
#include "support/logrecorder.h"
#include "support/toneanalysis.h"
#include "support/windowrig.h"

using namespace zuna;

using namespace Qt::StringLiterals;

namespace {
// Distinct files, so that the path sent to the engine tells which row started.
const QStringList kFiles = {u"cbr-440.mp3"_s, u"vbr-660.mp3"_s, u"flac16-880.flac"_s,
                            u"two-a-1200.flac"_s, u"two-b-1500.flac"_s};

void addPlaylist(WindowRig &rig, const QString &typed, bool accept = true)
{
    DialogAnswer answer([&](QWidget *dialog) {
        dialog->findChild<QLineEdit *>()->setText(typed);
        QMetaObject::invokeMethod(dialog, accept ? "accept" : "reject");
    });
    rig.click("addplaylistbutton");
}

// Asks to close a tab and answers the question if one comes: whether one came, and as it
// should: over the window, titled, offering only closing or keeping (nothing is ever saved).
bool closeTab(
    WindowRig &rig, int index, QMessageBox::StandardButton answer = QMessageBox::Yes,
    const std::function<void()> &whileAsked = [] {})
{
    bool asked = false;
    DialogAnswer question([&](QWidget *dialog) {
        whileAsked();
        auto *box = qobject_cast<QMessageBox *>(dialog);
        QVERIFY(box->parentWidget() == &rig.window());
        QCOMPARE(box->windowTitle(), u"Close playlist"_s);
        QCOMPARE(box->text(), u"Close playlist without save?"_s);
        QCOMPARE(box->icon(), QMessageBox::Question);
        QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::Cancel);
        asked = true;
        if (answer == QMessageBox::Escape)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(answer)->click();
    });
    emit rig.tabs()->tabCloseRequested(index);
    return asked;
}
}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void iconButtonsDrawTheirSymbolsAndHaveNames()
    {
        QVERIFY(registerIconFont());
        WindowRig rig;
        // A fallback font would show bare letters.
        int icons = 0;
        for (const QPushButton *button : rig.window().findChildren<QPushButton *>()) {
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

    void enlargedTheRoomGoesToThePlaylist()
    {
        WindowRig rig;
        STEP(rig.show());
        rig.window().resize(1200, 900);
        TRY_VERIFY(rig.tabs()->height() > 600);
        for (QPushButton *b : rig.window().findChildren<QPushButton *>())
            QVERIFY2(qMax(b->width(), b->height()) <= 30, qPrintable(b->objectName()));
    }

    void theVolumeSlidersStartValueIsNotSent()
    {
        WindowRig rig;
        STEP(rig.doubleClickRow(rig.fill({u"flac16-880.flac"_s}), 0));
        rig.capture().pump(4410);
        // Had the volume slider's start value 99 been sent, the peak would be 0.495.
        QVERIFY(qAbs(peakOf(rig.capture().takeSamples()) - 0.5) < 0.001);
    }

    void buttonsActWhenReleasedOnTheEnginesThread()
    {
        WindowRig rig;
        STEP(rig.doubleClickRow(rig.fill({u"flac16-880.flac"_s}), 0));
        LogRecorder log;
        QTest::mousePress(rig.widget("playbutton"), Qt::LeftButton);
        rig.sync();
        QVERIFY(log.lines().isEmpty());  // held down, nothing happens yet
        QTest::mouseRelease(rig.widget("playbutton"), Qt::LeftButton);
        for (const char *name : {"pausebutton", "stopbutton", "mutebutton", "settingsbutton"})
            rig.click(name);
        QCOMPARE(log.lines().join(u'|'), u"Event: Play|Event: Pause|Event: Stop|Event: Mute"_s);
        QVERIFY(!log.threads().contains(QThread::currentThread()));  // the worker's
    }

    void muteDisablesTheVolumeSliderAndUnmuteRestoresIt()
    {
        WindowRig rig;
        QSlider *volume = rig.slider("volumeslider");
        rig.click("mutebutton");
        QVERIFY(!volume->isEnabled() && volume->value() == 0);
        rig.click("mutebutton");  // nothing set yet: back to full volume
        QVERIFY(volume->isEnabled() && volume->value() == 99);
        for (int value = 0; value <= 100; ++value) {
            volume->setValue(value);
            for (int cycle = 0; cycle < 40; ++cycle)  // mute and unmute, twenty times
                rig.click("mutebutton");
            QCOMPARE(volume->value(), qMin(value, 99));
        }
    }

    // Elapsed time and percentage, 100 % held at the slider's maximum; a track under 100 ms
    // has no step, and stays at 0.
    void aTickShowsElapsedTimeAndPercentage()
    {
        WindowRig rig;
        ZUNAListView *view = rig.fill({u"flac16-880.flac"_s, u"short-50ms.flac"_s});
        STEP(rig.doubleClickRow(view, 0));  // 2000 ms: a step of 20 ms
        const auto shown = [&rig](uint ms) {
            emit rig.engine()->Tick(ms);
            return u"%1 %2"_s.arg(rig.label("currenttimelabel")->text())
                .arg(rig.slider("progresslider")->value());
        };
        QCOMPARE(shown(1500), u"00:01 75"_s);
        QCOMPARE(shown(2000), u"00:02 99"_s);
        QCOMPARE(shown(3723000), u"1:02:03 99"_s);
        STEP(rig.doubleClickRow(view, 1));
        QCOMPARE(shown(40), u"00:00 0"_s);
    }

    void aNewTrackShowsItsStartAtOnce()
    {
        WindowRig rig;
        ZUNAListView *view = rig.fill({u"flac16-880.flac"_s, u"cbr-440.mp3"_s});
        STEP(rig.doubleClickRow(view, 0));
        rig.capture().pump(44100);
        QCOMPARE(rig.position(), 1000u);
        QCOMPARE(rig.slider("progresslider")->value(), 50);
        STEP(rig.doubleClickRow(view, 1));
        QCOMPARE(rig.label("currenttimelabel")->text(), u"00:00"_s);
        QCOMPARE(rig.slider("progresslider")->value(), 0);
    }

    // The engine, busy, reports on the track playing once more just as the user starts
    // another: that report is about a track no longer shown.
    void aTickFromBeforeANewTrackIsNotShown()
    {
        WindowRig rig;
        ZUNAListView *view = rig.fill({u"long-6s-8k.flac"_s, u"flac16-880.flac"_s});
        STEP(rig.doubleClickRow(view, 0));
        rig.capture().pump(40000);  // 5 s in
        std::atomic<bool> chosen{false};
        QMetaObject::invokeMethod(rig.engine(), [&chosen, engine = rig.engine()] {
            while (!chosen)
                QThread::yieldCurrentThread();
            engine->Timeout();  // a Tick of 5 s, sent after the next track's Playfile
        });
        emit view->itemDoubleClicked(view->item(1));
        chosen = true;
        rig.sync();
        QCOMPARE(rig.label("currenttimelabel")->text(), u"00:00"_s);
        QCOMPARE(rig.slider("progresslider")->value(), 0);
        rig.capture().pump(44100);  // the new track's own are shown
        QCOMPARE(rig.position(), 1000u);
        QCOMPARE(rig.label("currenttimelabel")->text(), u"00:01"_s);
    }

    // The track ends just as the user starts another: its end, reported before the engine
    // took the new one in, does not move the playlist on past the one chosen.
    void anEndFromBeforeANewChoiceDoesNotSkipIt()
    {
        WindowRig rig;
        ZUNAListView *view =
            rig.fill({u"two-a-1200.flac"_s, u"flac16-880.flac"_s, u"two-b-1500.flac"_s});
        STEP(rig.doubleClickRow(view, 0));
        std::atomic<bool> chosen{false};
        QMetaObject::invokeMethod(rig.engine(), [&chosen] {
            while (!chosen)
                QThread::yieldCurrentThread();
        });
        QCOMPARE(rig.capture().pump(30000), size_t(22050));  // its end waits for the engine
        emit view->itemDoubleClicked(view->item(1));
        chosen = true;
        rig.sync();
        QCOMPARE(rig.played, pathsOf(view).mid(0, 2));
        STEP(rig.checkHeard(u"flac16-880.flac"_s));
    }

    // Moved by setValue(), as the position display moves it, the progress slider does not seek.
    void settingTheProgressSliderDoesNotSeek()
    {
        WindowRig rig;
        STEP(rig.doubleClickRow(rig.fill({u"flac16-880.flac"_s}), 0));  // a step of 20 ms
        rig.capture().pump(44100);
        rig.slider("progresslider")->setValue(50);
        QCOMPARE(rig.position(), 1000u);
    }

    // Dragged, it seeks; a Tick while the handle is held must neither move it nor, through
    // the slider's own sliderMoved, seek back to the reported position.
    void draggingTheProgressHandleSeeksAndATickLeavesItHeld()
    {
        WindowRig rig;
        STEP(rig.doubleClickRow(rig.fill({u"flac16-880.flac"_s}), 0));
        QSlider *progress = rig.slider("progresslider");
        progress->setSliderDown(true);
        progress->setSliderPosition(40);
        emit rig.engine()->Tick(1000);
        QCOMPARE(progress->value(), 40);
        QCOMPARE(rig.position(), 800u);
    }

    void aClickOnTheProgressGrooveSeeksThere()
    {
        WindowRig rig;
        STEP(rig.doubleClickRow(rig.fill({u"flac16-880.flac"_s}), 0));
        QSlider *progress = rig.slider("progresslider");
        QTest::mouseClick(progress, Qt::LeftButton, {},
                          QPoint(progress->width() * 3 / 4, progress->height() / 2));
        const int clicked = progress->value();
        QVERIFY2(clicked > 60 && clicked < 90, qPrintable(QString::number(clicked)));
        QCOMPARE(rig.position(), uint(clicked) * 20);
        QCOMPARE(progress->value(), clicked);
    }

    // Through SDL with no device, the engine stays idle: no progress, no end (which would run
    // through the playlist). With one (the disk driver), two files of one format reach it back
    // to back with no gap, both whole, and nothing after.
    void throughSdlWithoutThenWithADevice()
    {
        QTemporaryDir dir;
        const QString card = dir.filePath(u"card.raw"_s);
        qputenv("SDL_AUDIODRIVER", "zuna-no-such-driver");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(card));
        qputenv("SDL_DISKAUDIODELAY", "20");  // a 4096-frame buffer every 20 ms: 4.6× real time
        const Fixture tracks[] = {fixture(u"two-a-1200.flac"_s), fixture(u"two-b-1500.flac"_s)};
        {
            WindowRig rig(WindowRig::Device::Sdl);
            ZUNAListView *view = rig.playlist(0);
            QVERIFY(dropFiles(view, {fixturePath(tracks[0].file), fixturePath(tracks[1].file)}));
            Heard finished(rig.engine(), &ZUNAAudio::Finish), ticks(rig.engine(), &ZUNAAudio::Tick);
            STEP(rig.doubleClickRow(view, 0));
            rig.click("playbutton");
            rig.click("nextbutton");
            rig.monitor();
            QCOMPARE(rig.label("tracklabel")->text(), u"Second"_s);
            QCOMPARE(finished.size() + ticks.size(), 0);
            qputenv("SDL_AUDIODRIVER", "disk");
            STEP(rig.doubleClickRow(view, 0));
            QCOMPARE(rig.label("tracklabel")->text(), u"First"_s);
            QCOMPARE(rig.label("artistlabel")->text(), u"ZUNA Tests"_s);
            QCOMPARE(rig.label("totaltimelabel")->text(), u"00:01"_s);
            rig.click("prevbutton");  // no wrap-around at the start
            // No monitor runs: ends are reported as they are heard.
            TRY_VERIFY((rig.sync(), finished.size() == 2));
            QCOMPARE(rig.label("tracklabel")->text(), u"Second"_s);
            QCOMPARE(rig.played.size(), 4);  // the second started by itself, and nothing after
        }
        QFile raw(card);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray bytes = raw.readAll();
        const auto *begin = reinterpret_cast<const float *>(bytes.constData());
        std::vector<float> heard(begin, begin + bytes.size() / 4);
        // Amid the silence SDL pads with; within 2 frames, as a sine's end sample can be 0.
        const auto sounds = [](float s) { return s != 0.0f; };
        heard.erase(heard.begin(), std::find_if(heard.begin(), heard.end(), sounds));
        heard.erase(std::find_if(heard.rbegin(), heard.rend(), sounds).base(), heard.end());
        QVERIFY(qAbs(qint64(heard.size()) - tracks[0].frames - tracks[1].frames) <= 2);
        for (int i = 0; i < 2; ++i) {
            const size_t from = size_t(i * tracks[0].frames);
            const ToneStats tone = analyseTone(
                sliceFrames(heard, 1, from, from + size_t(tracks[i].frames)), 1, tracks[i].rate);
            QVERIFY(qAbs(tone.frequency - tracks[i].frequency) < 3);
            QVERIFY(qAbs(tone.peak - tracks[i].peak) < 0.01);
        }
    }

    // Without a mouse: the list has the focus, Enter starts a row as a double-click does, Space
    // pauses and resumes, Delete removes the selected row as "-" does.
    void theKeyboardReachesRowsPauseAndDelete()
    {
        WindowRig rig;
        ZUNAListView *view = rig.fill(kFiles);
        STEP(rig.show());
        QCOMPARE(QApplication::focusWidget(), view);
        for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return})
            QTest::keyClick(view, key);
        STEP(rig.checkHeard(kFiles[2]));
        for (const size_t heard : {0, 100}) {  // paused, then playing again
            QTest::keyClick(view, Qt::Key_Space);
            rig.sync();
            QCOMPARE(rig.capture().pump(100), heard);
        }
        view->setCurrentRow(3);
        QTest::keyClick(view, Qt::Key_Delete);  // the selected row only
        QCOMPARE(pathsOf(view).mid(2),
                 QStringList({fixturePath(kFiles[2]), fixturePath(kFiles[4])}));
    }

    // Another playlist shown and filled through "+": next and previous stay in the one that
    // holds the current entry.
    void stepsStayInTheCurrentPlaylistWhileAnotherIsShown()
    {
        WindowRig rig;
        ZUNAListView *view = rig.fill(kFiles);
        STEP(rig.doubleClickRow(view, 2));
        STEP(addPlaylist(rig, u"Other"_s));
        rig.tabs()->setCurrentIndex(1);
        DialogAnswer answer([](QWidget *dialog) {
            auto *files = qobject_cast<QFileDialog *>(dialog);
            QCOMPARE(files->windowTitle(), u"Select audio files"_s);
            QCOMPARE(files->nameFilters(), QStringList({u"Music files (*.mp3 *.flac)"_s,
                                                        u"*.mp3 (*.mp3)"_s, u"*.flac (*.flac)"_s}));
            files->setDirectory(QStringLiteral(ZUNA_TEST_DATA));
            files->findChild<QLineEdit *>()->setText(u"\"vbr-660.mp3\" \"flac16-880.flac\""_s);
            QMetaObject::invokeMethod(files, "accept");
        });
        rig.click("addtrackbutton");
        TRY_VERIFY(!rig.playlist(1)->takingIn());
        QCOMPARE(pathsOf(rig.playlist(1)),
                 QStringList({fixturePath(kFiles[1]), fixturePath(kFiles[2])}));
        QCOMPARE(view->count(), 5);
        rig.click("nextbutton");
        rig.click("prevbutton");
        rig.click("prevbutton");
        QCOMPARE(rig.played, QStringList({pathsOf(view)[2], pathsOf(view)[3], pathsOf(view)[2],
                                          pathsOf(view)[1]}));
    }

    // The current entry deleted with "-": it plays on, and next and previous go on from the
    // place where it stood, also once the row after it has gone too.
    void aDeletedEntryPlaysOnAndStepsGoOnFromItsPlace()
    {
        WindowRig rig;
        ZUNAListView *view = rig.fill(kFiles);
        const QStringList paths = pathsOf(view);
        STEP(rig.doubleClickRow(view, 2));
        view->setCurrentRow(2);
        rig.click("deltrackbutton");
        QVERIFY(rig.capture().isOpen());
        rig.click("nextbutton");
        QCOMPARE(rig.played.last(), paths[3]);
        view->setCurrentRow(2);
        rig.click("deltrackbutton");
        rig.click("prevbutton");
        QCOMPARE(rig.played.last(), paths[1]);
    }

    // The playlist plays on past unplayable rows, a deleted row's place and a device failing
    // mid-track (on another, or idle until one is back), quietly to its end.
    void playsOnPastUnplayableRowsDeletedRowsAndFailingDevices()
    {
        WindowRig rig;
        Heard finished(rig.engine(), &ZUNAAudio::Finish);
        ZUNAListView *view = rig.fill(
            {u"short-50ms.flac"_s, u"not-audio.mp3"_s, u"missing.mp3"_s, u"two-a-1200.flac"_s,
             u"flac16-880.flac"_s, u"long-6s-8k.flac"_s, u"two-b-1500.flac"_s, u"not-audio.mp3"_s});
        STEP(rig.doubleClickRow(view, 0));
        rig.capture().pump(2205);  // to its end: the next rows are tried, the first good one plays
        TRY_COMPARE((rig.sync(), rig.played.size()), 4);
        STEP(rig.checkHeard(u"two-a-1200.flac"_s));
        view->setCurrentRow(3);
        rig.click("deltrackbutton");
        rig.capture().pump(22050);  // the deleted row's track ends: the one after it starts
        TRY_COMPARE((rig.sync(), rig.played.size()), 5);
        STEP(rig.checkHeard(u"flac16-880.flac"_s));
        for (const int failure : {1, 2}) {  // the second time with no device left
            rig.capture().failOutput();
            rig.capture().setUnavailable(failure == 2);
            QCOMPARE(rig.capture().pump(4410), size_t(0));
            rig.monitor();
            QCOMPARE(finished.size(), 2 + failure);
            QCOMPARE(rig.played.size(), 5 + failure);
            if (failure == 1)
                STEP(rig.checkHeard(u"long-6s-8k.flac"_s));
        }
        rig.sync();
        rig.monitor();
        QCOMPARE(finished.size(), 4);  // idle: no further end, nothing more asked for
        QCOMPARE(rig.played.size(), 7);
        rig.capture().setUnavailable(false);
        STEP(rig.doubleClickRow(view, 5));
        STEP(rig.checkHeard(u"two-b-1500.flac"_s));
        rig.capture().pump(22050);  // and after the last good row, one more try, then quiet
        TRY_COMPARE((rig.sync(), rig.played.size()), 9);
        QVERIFY(!rig.capture().isOpen());
        rig.click("prevbutton");  // back from there: the last good row again
        STEP(rig.checkHeard(u"two-b-1500.flac"_s));
        STEP(rig.doubleClickRow(view, 1));  // chosen by hand, it leaves the player idle
        QVERIFY(!rig.capture().isOpen());
        QCOMPARE(rig.played.size(), 11);
    }

    void tabsAreNamedNumberedAndClosedByTheirRules()
    {
        WindowRig rig;
        for (const QString &typed : {u"  Evening mix  "_s, u"   "_s, u"Two"_s, u"Three"_s})
            STEP(addPlaylist(rig, typed));
        STEP(addPlaylist(rig, u"Cancelled"_s, false));
        QCOMPARE(rig.tabs()->count(), 4);
        QCOMPARE(rig.tabs()->tabText(1), u"Evening mix"_s);
        QCOMPARE(rig.tabs()->currentIndex(), 0);  // appended, not shown
        QPointer<ZUNAListView> closed = rig.playlist(2);
        QVERIFY(!closeTab(rig, 2));    // empty: no question
        QTRY_VERIFY(closed.isNull());  // and its view goes too
        STEP(addPlaylist(rig, u"Four"_s));
        QCOMPARE(rig.playlist(3)->Getid(), 4);  // numbers are never reused
        // "Default" never closes, wherever it was moved and however full.
        rig.tabs()->tabBar()->moveTab(0, 1);
        rig.fill({u"long-6s-8k.flac"_s}, 1);
        QVERIFY(!closeTab(rig, 1));
        QCOMPARE(rig.tabs()->tabText(1), u"Default"_s);
        // A playlist with rows asks first. Cancel or Escape change nothing; Yes closes it, and
        // when it does not hold the playing entry the music and the display are left alone.
        rig.fill(kFiles, 2);
        rig.tabs()->setCurrentIndex(1);
        STEP(rig.doubleClickRow(rig.playlist(1), 0));
        QVERIFY(closeTab(rig, 2, QMessageBox::Cancel));
        QVERIFY(closeTab(rig, 2, QMessageBox::Escape));
        QCOMPARE(rig.tabs()->count(), 4);
        QVERIFY(closeTab(rig, 2, QMessageBox::Yes));
        QCOMPARE(rig.tabs()->tabText(2), u"Four"_s);
        rig.sync();
        QVERIFY(rig.capture().isOpen());
        QCOMPARE(rig.label("totaltimelabel")->text(), u"00:06"_s);
        // Closing the one that holds it stops the music and clears the display but the total
        // time; a Tick the engine sent before it stopped does not paint it again.
        rig.fill(kFiles, 2);
        rig.tabs()->setCurrentIndex(2);
        STEP(rig.doubleClickRow(rig.playlist(2), 0));
        std::atomic<bool> late{false};
        QVERIFY(closeTab(rig, 2, QMessageBox::Yes, [&] {
            // The engine is busy, then ticks just before the stop.
            QMetaObject::invokeMethod(rig.engine(), [&late, e = rig.engine()] {
                while (!late)
                    QThread::yieldCurrentThread();
                emit e->Tick(1500);
            });
        }));
        late = true;
        rig.sync();
        QVERIFY(!rig.capture().isOpen());
        QCOMPARE(rig.label("artistlabel")->text(), u"No track opened now"_s);
        QCOMPARE(rig.label("tracklabel")->text(), QString());
        QCOMPARE(rig.label("currenttimelabel")->text(), u"00:00"_s);
        QCOMPARE(rig.label("totaltimelabel")->text(), u"00:03"_s);
        QCOMPARE(rig.slider("progresslider")->value(), 0);
        QVERIFY(!rig.slider("progresslider")->isEnabled());
        // No current entry: next and previous do nothing; a row started makes seeking possible.
        const QStringList played = rig.played;
        rig.click("nextbutton");
        rig.click("prevbutton");
        QCOMPARE(rig.played, played);
        STEP(rig.doubleClickRow(rig.playlist(1), 0));
        QVERIFY(rig.slider("progresslider")->isEnabled());
    }

    // A player: this program run as main() runs ZUNA, through SDL's disk driver. Last: under
    // ThreadSanitizer a process that has started another may start no more threads.
    void closingOrSigtermEndsAPlayingPlayer()
    {
        QTemporaryDir dir;
        const QString cards[] = {dir.filePath(u"1.raw"_s), dir.filePath(u"2.raw"_s)};
        // SIGTERM, as a session ending sends: the sound library must not swallow it.
        QProcess player;
        player.start(QCoreApplication::applicationFilePath(), {u"--play"_s, cards[0], u"20000"_s});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(cards[0]).size() > 0, scaledMs(10000));
        player.terminate();
        QVERIFY(player.waitForFinished(scaledMs(2000)));
        QCOMPARE(player.exitStatus(), QProcess::CrashExit);  // ended by the signal itself
        // Closed: promptly, code 0, no Qt complaint about threads or timers, card fed till then.
        player.start(QCoreApplication::applicationFilePath(), {u"--play"_s, cards[1], u"700"_s});
        QVERIFY(player.waitForFinished(scaledMs(5000)));
        QCOMPARE(player.exitStatus(), QProcess::NormalExit);
        QCOMPARE(player.exitCode(), 0);
        const QString errors = QString::fromLocal8Bit(player.readAllStandardError());
        QVERIFY2(!errors.contains(u"QThread"_s) && !errors.contains(u"Timers"_s),
                 qPrintable(errors));
        QVERIFY(QFileInfo(cards[1]).size() > 0 &&
                QFileInfo(cards[1]).size() < qint64{6} * 8000 * 4);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 4 && argv[1] == "--play"_ba) {  // --play <sound card file> <ms before closing>
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", argv[2]);
        qunsetenv("SDL_DISKAUDIODELAY");  // in real time, whatever an earlier test asked
        registerIconFont();
        MainWindow window;
        window.show();
        emit window.Playfile(fixturePath(u"long-6s-8k.flac"_s));  // 6 s of 8 kHz mono
        QTimer::singleShot(QString::fromLatin1(argv[3]).toInt(), &window, &QWidget::close);
        return app.exec();
    }
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
