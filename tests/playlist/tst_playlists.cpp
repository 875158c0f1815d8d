// Playlists: a view's rows and drops, then in the window a play-through on SDL, stepping by
// identity, the file dialog and the tab rules, with every dialog answered by the test.

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>

#include "support/fixtures.h"
#include "support/logrecorder.h"
#include "support/toneanalysis.h"
#include "support/windowrig.h"

using namespace Qt::StringLiterals;

namespace {
// Distinct files, so that the path sent to the engine tells which row started.
const QStringList kFiles = {u"cbr-440.mp3"_s, u"vbr-660.mp3"_s, u"flac16-880.flac"_s,
                            u"two-a-1200.flac"_s, u"two-b-1500.flac"_s};

void fill(ZUNAListView *view, const QStringList &names = kFiles)
{
    for (const QString &name : names)
        view->AddFile(fixturePath(name));
}

QStringList pathsOf(const ZUNAListView *view)
{
    QStringList paths;
    for (int row = 0; row < view->count(); ++row)
        paths << entryOf(view, row)->Getpath();
    return paths;
}

// Opens a playlist through the name dialog, typing `typed`: the dialog's title and label.
QStringList addPlaylist(WindowRig &rig, const QString &typed, bool accept = true)
{
    QStringList seen;
    DialogAnswer answer([&](QWidget *dialog) {
        seen = {dialog->windowTitle(), dialog->findChild<QLabel *>()->text()};
        dialog->findChild<QLineEdit *>()->setText(typed);
        QMetaObject::invokeMethod(dialog, accept ? "accept" : "reject");
    });
    rig.click("addplaylistbutton");
    return seen;
}

// Asks to close a tab, answering the question if one comes: the question's text and
// buttons, or nothing when none came.
QString closeTab(
    WindowRig &rig, int index, QMessageBox::StandardButton answer = QMessageBox::Yes,
    const std::function<void()> &whileAsked = [] {})
{
    QString asked;
    DialogAnswer question([&](QWidget *dialog) {
        whileAsked();
        auto *box = qobject_cast<QMessageBox *>(dialog);
        asked = u"%1|%2|%3|%4|%5"_s.arg(box->text())
                    .arg(box->icon())
                    .arg(box->standardButtons().toInt())
                    .arg(box->windowTitle())
                    .arg(box->parentWidget() == &rig.window());
        if (answer == QMessageBox::Escape)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(answer)->click();
    });
    emit rig.tabs()->tabCloseRequested(index);
    QCoreApplication::processEvents();
    return asked;
}

// Over the window, with a title, offering only what it does: closing or keeping.
const QString kQuestion =
    u"Close playlist without save?|%1|%2|Close playlist|1"_s.arg(QMessageBox::Question)
        .arg((QMessageBox::Yes | QMessageBox::Cancel).toInt());
}  // namespace

class TestPlaylists : public QObject {
    Q_OBJECT

private slots:
    void onlyRowsInSightCarryTheirLabels()
    {
        ZUNAListView view(0);
        view.resize(300, 400);
        view.show();
        for (int i = 0; i < 300; ++i)
            view.AddFile(fixturePath(u"flac16-880.flac"_s));
        // In sight, an entry shows its labels where its row is; out of sight it waits,
        // hidden, without them. And at least the rows that fit whole are in sight.
        const auto consistent = [&view] {
            int shown = 0;
            for (int row = 0; row < view.count(); ++row) {
                ZUNAListWidget *entry = entryOf(&view, row);
                const QRect rect = view.visualItemRect(view.item(row));
                const bool inSight = rect.intersects(view.viewport()->rect());
                const QList<QLabel *> labels = entry->findChildren<QLabel *>();
                if (inSight != entry->isVisible() || inSight != (labels.size() == 5) ||
                    (inSight && (entry->geometry() != rect || labels.first()->text().isEmpty())))
                    return false;
                shown += inSight;
            }
            return shown >= view.viewport()->height() / 40;
        };
        QTRY_VERIFY(consistent());
        view.scrollToBottom();
        QTRY_VERIFY(consistent() && entryOf(&view, 299)->isVisible());
    }

    void dropsAddLocalFilesInOrderUpToTheFirstOtherUrl()
    {
        ZUNAListView view(0);
        view.show();
        LogRecorder log;
        const QUrl remote(u"https://example.org/song.mp3"_s);
        QList<QUrl> files;
        QStringList paths;
        for (const QString &name : kFiles.mid(2)) {
            paths << fixturePath(name);
            files << QUrl::fromLocalFile(paths.last());
        }
        // Qt 6 refuses drags from outside moving over an InternalMove view unless told.
        QVERIFY(dropFiles(&view, files));
        QVERIFY(dropFiles(&view, {remote, files[0]}));
        QVERIFY(dropFiles(&view, {files[0], files[1], remote, files[2]}));
        QCOMPARE(pathsOf(&view), paths + paths.mid(0, 2));
        QCOMPARE(log.lines().size(), 3);  // the offered formats, once a drag
        QVERIFY(log.lines().first().contains(u"\"text/uri-list\""_s));
        // Without a URL list the drag is refused, its formats logged in the toolkit's form.
        log.clear();
        QMimeData text;
        text.setText(u"just words"_s);
        text.setData(u"application/x-zuna-test"_s, "x");
        QVERIFY(!dragAndDrop(&view, text));
        QCOMPARE(view.count(), 5);
        QString formats;
        QDebug(&formats) << text.formats();
        QCOMPARE(log.lines(), QStringList(formats.trimmed()));
    }

    // Two files of one format dropped and the first double-clicked: through SDL, the second
    // follows the first on the card with no gap, both whole, and nothing after.
    void dropDoubleClickAndListen()
    {
        QTemporaryDir dir;
        const QString card = dir.filePath(u"card.raw"_s);
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(card));
        qputenv("SDL_DISKAUDIODELAY", "5");  // a 1024-frame buffer every 5 ms: 4× real time
        const Fixture tracks[] = {fixture(u"two-a-1200.flac"_s), fixture(u"two-b-1500.flac"_s)};
        {
            WindowRig rig(WindowRig::Device::Sdl);
            ZUNAListView *view = rig.playlist(0);
            QVERIFY(dropFiles(view, {QUrl::fromLocalFile(fixturePath(tracks[0].file)),
                                     QUrl::fromLocalFile(fixturePath(tracks[1].file))}));
            QSignalSpy played(&rig.window(), &MainWindow::Playfile);
            Heard finished(rig.engine(), &ZUNAAudio::Finish);
            STEP(rig.doubleClickRow(view, 0));
            QCOMPARE(rig.label("tracklabel")->text(), u"First"_s);
            QCOMPARE(rig.label("artistlabel")->text(), u"ZUNA Tests"_s);
            QCOMPARE(rig.label("totaltimelabel")->text(), u"00:01"_s);
            rig.click("prevbutton");  // no wrap-around at the start
            // No monitor runs: ends are reported as they are heard.
            TRY_VERIFY((rig.sync(), finished.size() == 2));
            QCOMPARE(rig.label("tracklabel")->text(), u"Second"_s);
            QCOMPARE(played.size(), 2);  // the second started by itself, and nothing after
        }
        // Both tracks reached the card whole and back to back, amid the silence SDL pads
        // its buffers with before and after.
        QFile raw(card);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray bytes = raw.readAll();
        const auto *begin = reinterpret_cast<const float *>(bytes.constData());
        std::vector<float> heard(begin, begin + bytes.size() / 4);
        const auto sounds = [](float s) { return s != 0.0f; };
        heard.erase(heard.begin(), std::find_if(heard.begin(), heard.end(), sounds));
        heard.erase(std::find_if(heard.rbegin(), heard.rend(), sounds).base(), heard.end());
        // Within 2 frames: a sine's first or last sample can be 0 itself.
        QVERIFY(qAbs(qint64(heard.size()) - tracks[0].frames - tracks[1].frames) <= 2);
        for (int i = 0; i < 2; ++i) {
            const size_t from = size_t(i * tracks[0].frames);
            const ToneStats tone = analyseTone(
                sliceFrames(heard, 1, from, from + size_t(tracks[i].frames)), 1, tracks[i].rate);
            QVERIFY(qAbs(tone.frequency - tracks[i].frequency) < 3);
            QVERIFY(qAbs(tone.peak - tracks[i].peak) < 0.01);
        }
    }

    void nextAndPreviousWalkTheCurrentPlaylistByIdentity()
    {
        WindowRig rig;
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        const auto last = [&played] { return played.last().at(0).toString(); };
        rig.click("nextbutton");  // nothing started yet: nothing to do
        rig.click("prevbutton");
        QVERIFY(played.isEmpty());
        ZUNAListView *view = rig.playlist(0);
        fill(view);
        STEP(rig.doubleClickRow(view, 2));
        rig.click("nextbutton");
        QCOMPARE(last(), fixturePath(kFiles[3]));
        rig.click("prevbutton");
        QCOMPARE(last(), fixturePath(kFiles[2]));
        // A row added and moved before the current one, the row after it deleted: the walk
        // follows the entry, not its old row number.
        fill(view, {u"other-tags-only.flac"_s});
        QVERIFY(view->model()->moveRow(QModelIndex(), 5, QModelIndex(), 0));
        view->setCurrentRow(4);
        rig.click("deltrackbutton");  // deletes the selected row only
        QCOMPARE(view->count(), 5);
        rig.click("nextbutton");
        QCOMPARE(last(), fixturePath(kFiles[4]));
        rig.click("prevbutton");
        QCOMPARE(last(), fixturePath(kFiles[2]));
        // Another tab shown does not matter: next stays in the current entry's playlist.
        addPlaylist(rig, u"Other"_s);
        fill(rig.playlist(1), {u"mpeg2-22k-mono.mp3"_s});
        rig.tabs()->setCurrentIndex(1);
        rig.click("nextbutton");
        QCOMPARE(last(), fixturePath(kFiles[4]));
        // The current entry deleted: it plays on, and next and previous go on from its place.
        rig.tabs()->setCurrentIndex(0);
        rig.click("prevbutton");
        view->setCurrentRow(3);  // kFiles[2], playing
        rig.click("deltrackbutton");
        QVERIFY(rig.capture().isOpen());
        rig.click("nextbutton");
        QCOMPARE(last(), fixturePath(kFiles[4]));
        view->setCurrentRow(3);
        rig.click("deltrackbutton");
        rig.click("prevbutton");
        QCOMPARE(last(), fixturePath(kFiles[1]));
    }

    // The playlist plays on by itself: past rows that cannot be played, past the place of
    // a deleted row, and quietly to its end.
    void playsOnPastUnplayableAndDeletedRows()
    {
        WindowRig rig;
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        ZUNAListView *view = rig.playlist(0);
        fill(view, {u"short-50ms.flac"_s, u"not-audio.mp3"_s, u"missing.mp3"_s,
                    u"two-a-1200.flac"_s, u"long-6s-8k.flac"_s, u"not-audio.mp3"_s});
        STEP(rig.doubleClickRow(view, 0));
        rig.capture().pump(2205);  // to its end: the next rows are tried, the first good one plays
        TRY_COMPARE((rig.sync(), played.size()), 4);
        STEP(rig.checkHeard(u"two-a-1200.flac"_s));
        view->setCurrentRow(3);
        rig.click("deltrackbutton");
        rig.capture().pump(22050);  // the deleted row's track ends: the one after it starts
        TRY_COMPARE((rig.sync(), played.size()), 5);
        STEP(rig.checkHeard(u"long-6s-8k.flac"_s));
        rig.capture().pump(48000);  // and after the last good row, one more try, then quiet
        TRY_COMPARE((rig.sync(), played.size()), 6);
        QVERIFY(!rig.capture().isOpen());
        rig.click("prevbutton");  // stepping back passes over a row that cannot be played
        STEP(rig.checkHeard(u"long-6s-8k.flac"_s));
        STEP(rig.doubleClickRow(view, 1));  // chosen by hand, it leaves the player idle
        QVERIFY(!rig.capture().isOpen());
        QCOMPARE(played.size(), 8);
    }

    // Without a mouse: the list has the focus from the start, Enter starts the selected row
    // as a double-click does, Space pauses and resumes, Delete removes the row as "-" does.
    void theKeyboardStartsPausesAndRemoves()
    {
        WindowRig rig;
        LogRecorder log;
        ZUNAListView *view = rig.playlist(0);
        fill(view, {u"flac16-880.flac"_s, u"two-b-1500.flac"_s});
        STEP(rig.show());
        QCOMPARE(QApplication::focusWidget(), view);
        for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return})
            QTest::keyClick(view, key);
        rig.sync();
        QCOMPARE(rig.label("tracklabel")->text(), u"Second"_s);
        STEP(rig.checkHeard(u"two-b-1500.flac"_s));
        QTest::keyClick(view, Qt::Key_Space);
        rig.sync();
        QCOMPARE(rig.capture().pump(100), size_t(0));
        QTest::keyClick(view, Qt::Key_Space);
        rig.sync();
        QCOMPARE(rig.capture().pump(100), size_t(100));
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(pathsOf(view), QStringList(fixturePath(u"flac16-880.flac"_s)));
        QCOMPARE(log.lines().filter(u"Event: "_s),
                 QStringList({u"Event: Playfile( \"%1\" )"_s.arg(fixturePath(u"two-b-1500.flac"_s)),
                              u"Event: Pause"_s, u"Event: Pause"_s}));
    }

    void addTrackUsesTheFileDialogOnTheVisiblePlaylist()
    {
        WindowRig rig;
        addPlaylist(rig, u"Second"_s);
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
                 QStringList({fixturePath(u"vbr-660.mp3"_s), fixturePath(u"flac16-880.flac"_s)}));
        QCOMPARE(rig.playlist(0)->count(), 0);
    }

    void tabsAreNamedNumberedAndClosedByTheirRules()
    {
        WindowRig rig;
        rig.window().show();
        for (const QString &typed : {u"  Evening mix  "_s, u"   "_s, u"Two"_s, u"Three"_s})
            QCOMPARE(addPlaylist(rig, typed), QStringList({u"New playlist"_s, u"Playlist name"_s}));
        addPlaylist(rig, u"Cancelled"_s, false);
        QCOMPARE(rig.tabs()->count(), 4);
        QCOMPARE(rig.tabs()->tabText(1), u"Evening mix"_s);
        QCOMPARE(rig.tabs()->currentIndex(), 0);  // appended, not shown
        QPointer<ZUNAListView> closed = rig.playlist(2);
        QCOMPARE(closeTab(rig, 2), QString());  // empty: no question
        QTRY_VERIFY(closed.isNull());           // and its view goes too
        addPlaylist(rig, u"Four"_s);
        QCOMPARE(rig.playlist(3)->Getid(), 4);  // numbers are never reused
        // "Default" never closes, wherever it was moved and however full.
        rig.tabs()->tabBar()->moveTab(0, 1);
        fill(rig.playlist(1), {u"long-6s-8k.flac"_s});
        QCOMPARE(closeTab(rig, 1), QString());
        QCOMPARE(rig.tabs()->tabText(1), u"Default"_s);

        // A playlist with rows asks first. Cancel or Escape change nothing; Yes closes it, and
        // when it does not hold the playing entry the music and the display are left alone.
        fill(rig.playlist(2));
        rig.tabs()->setCurrentIndex(1);
        STEP(rig.doubleClickRow(rig.playlist(1), 0));
        QCOMPARE(closeTab(rig, 2, QMessageBox::Cancel), kQuestion);
        QCOMPARE(closeTab(rig, 2, QMessageBox::Escape), kQuestion);
        QCOMPARE(rig.tabs()->count(), 4);
        QCOMPARE(closeTab(rig, 2, QMessageBox::Yes), kQuestion);
        QCOMPARE(rig.tabs()->tabText(2), u"Four"_s);
        rig.sync();
        QVERIFY(rig.capture().isOpen());
        QCOMPARE(rig.label("totaltimelabel")->text(), u"00:06"_s);
        // Closing the one that holds it stops the music and clears the display but the total
        // time; a Tick the engine sent before it stopped does not paint it again.
        fill(rig.playlist(2));
        rig.tabs()->setCurrentIndex(2);
        STEP(rig.doubleClickRow(rig.playlist(2), 0));
        std::atomic<bool> late{false};
        QCOMPARE(closeTab(rig, 2, QMessageBox::Yes,
                          [&] {  // the engine is busy, then ticks just before the stop
                              QMetaObject::invokeMethod(rig.engine(), [&late, e = rig.engine()] {
                                  while (!late)
                                      QThread::yieldCurrentThread();
                                  emit e->Tick(1500);
                              });
                          }),
                 kQuestion);
        late = true;
        rig.sync();
        QVERIFY(!rig.capture().isOpen());
        QCOMPARE(rig.label("artistlabel")->text(), u"No track opened now"_s);
        QCOMPARE(rig.label("tracklabel")->text(), QString());
        QCOMPARE(rig.label("currenttimelabel")->text(), u"00:00"_s);
        QCOMPARE(rig.label("totaltimelabel")->text(), u"00:03"_s);
        QCOMPARE(rig.slider("progresslider")->value(), 0);
        QVERIFY(!rig.slider("progresslider")->isEnabled());
        // No current entry now: next does nothing; starting a row makes seeking possible again.
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        rig.click("nextbutton");
        QVERIFY(played.isEmpty());
        STEP(rig.doubleClickRow(rig.playlist(1), 0));
        QVERIFY(rig.slider("progresslider")->isEnabled());
        QCOMPARE(rig.tabs()->count(), 2);
    }
};

QTEST_MAIN(TestPlaylists)
#include "tst_playlists.moc"
