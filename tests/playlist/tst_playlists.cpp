// The window's playlists: starting entries, stepping through them by identity, the file
// dialog, deleting rows, and opening and closing playlist tabs, with every dialog answered
// by the test.

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include "audio/zunaaudio.h"
#include "metadata/zunalistwidget.h"
#include "playlist/zunalistview.h"
#include "support/fixtures.h"
#include "support/logrecorder.h"
#include "support/windowrig.h"

namespace {
// Five distinct files, so that the path sent to the engine tells which row started.
const QStringList kFiles = {QStringLiteral("cbr-440.mp3"), QStringLiteral("vbr-660.mp3"),
                            QStringLiteral("flac16-880.flac"), QStringLiteral("two-a-1200.flac"),
                            QStringLiteral("two-b-1500.flac")};

void fill(ZUNAListView *view, const QStringList &names = kFiles)
{
    for (const QString &name : names)
        view->AddFile(fixturePath(name));
}

ZUNAListWidget *entryOf(ZUNAListView *view, int row)
{
    return qobject_cast<ZUNAListWidget *>(view->itemWidget(view->item(row)));
}

// Double-clicks the title label of a row, as a user would: the first click of a double
// click arrives as a click of its own.
void doubleClickRow(ZUNAListView *view, int row)
{
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    view->scrollToItem(view->item(row));
    // The list lays out its rows (and moves their entry widgets) after a delay.
    QTRY_COMPARE(entryOf(view, row)->geometry(), view->visualItemRect(view->item(row)));
    QLabel *title = entryOf(view, row)->findChildren<QLabel *>().first();
    QTest::mouseClick(title, Qt::LeftButton, Qt::NoModifier, title->rect().center());
    QCOMPARE(view->currentRow(), row);
    QTest::mouseDClick(title, Qt::LeftButton, Qt::NoModifier, title->rect().center());
}

QString lastPlayed(const QSignalSpy &spy)
{
    return spy.isEmpty() ? QString() : spy.last().at(0).toString();
}

void addPlaylistNamed(WindowRig &rig, const QString &typed, bool accept = true)
{
    DialogAnswer answer([typed, accept](QWidget *dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("New playlist"));
        QVERIFY(dialog->findChild<QLabel *>()->text() == QStringLiteral("Playlist name"));
        dialog->findChild<QLineEdit *>()->setText(typed);
        QMetaObject::invokeMethod(dialog, accept ? "accept" : "reject");
    });
    QTest::mouseClick(rig.button("addplaylistbutton"), Qt::LeftButton);
}

// Presses the close button of the tab at `index`, answering the question with `answer`
// if one comes. Returns whether it was asked.
bool closeTab(WindowRig &rig, int index, QMessageBox::StandardButton answer = QMessageBox::Yes)
{
    DialogAnswer question([answer](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Close playlist without save?"));
        QCOMPARE(box->icon(), QMessageBox::Question);
        QCOMPARE(box->standardButtons(),
                 QMessageBox::Save | QMessageBox::Yes | QMessageBox::Cancel);
        box->button(answer)->click();
    });
    emit rig.tabs()->tabCloseRequested(index);
    QCoreApplication::processEvents();
    return question.answered();
}
}  // namespace

class TestPlaylists : public QObject {
    Q_OBJECT

private slots:
    void doubleClickStartsTheRowAndShowsIt()
    {
        WindowRig rig;
        rig.window().show();
        ZUNAListView *view = rig.playlist(0);
        fill(view);
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        doubleClickRow(view, 2);
        QCOMPARE(lastPlayed(played), fixturePath(kFiles[2]));
        QCOMPARE(rig.label("tracklabel")->text(), QStringLiteral("Tone 880"));
        QCOMPARE(rig.label("artistlabel")->text(), QStringLiteral("ZUNA Tests"));
        QCOMPARE(rig.label("totaltimelabel")->text(), QStringLiteral("00:02"));
        QCOMPARE(view->selectedItems(), QList<QListWidgetItem *>{view->item(2)});
        rig.sync();
        QVERIFY(rig.capture().isOpen());

        // The same row again starts it again.
        doubleClickRow(view, 2);
        QCOMPARE(played.size(), 2);

        // An entry without title or artist leaves those labels empty.
        view->AddFile(fixturePath(QStringLiteral("other-tags-only.flac")));
        doubleClickRow(view, 5);
        QCOMPARE(rig.label("tracklabel")->text(), QString());
        QCOMPARE(rig.label("artistlabel")->text(), QString());
    }

    void nextAndPreviousWalkTheCurrentPlaylistByIdentity()
    {
        WindowRig rig;
        rig.window().show();
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        // Before anything was started, next and previous do nothing.
        QTest::mouseClick(rig.button("nextbutton"), Qt::LeftButton);
        QTest::mouseClick(rig.button("prevbutton"), Qt::LeftButton);
        QVERIFY(played.isEmpty());

        ZUNAListView *view = rig.playlist(0);
        fill(view);
        doubleClickRow(view, 2);
        QTest::mouseClick(rig.button("nextbutton"), Qt::LeftButton);
        QCOMPARE(lastPlayed(played), fixturePath(kFiles[3]));
        QTest::mouseClick(rig.button("prevbutton"), Qt::LeftButton);
        QCOMPARE(lastPlayed(played), fixturePath(kFiles[2]));

        // Rows inserted before, moved, and deleted around the current one: the walk follows
        // the entry itself, not its old row number.
        view->AddFile(fixturePath(QStringLiteral("vbr-noxing-550.mp3")));
        QVERIFY(view->model()->moveRow(QModelIndex(), 5, QModelIndex(), 0));
        QCOMPARE(entryOf(view, 3)->Getpath(), fixturePath(kFiles[2]));
        delete view->item(4);  // the row after the current one
        QTest::mouseClick(rig.button("nextbutton"), Qt::LeftButton);
        QCOMPARE(lastPlayed(played), fixturePath(kFiles[4]));
        QTest::mouseClick(rig.button("prevbutton"), Qt::LeftButton);
        QCOMPARE(lastPlayed(played), fixturePath(kFiles[2]));

        // Another visible tab does not matter: next stays in the current entry's playlist.
        addPlaylistNamed(rig, QStringLiteral("Other"));
        fill(rig.playlist(1), {QStringLiteral("mpeg2-22k-mono.mp3")});
        rig.tabs()->setCurrentIndex(1);
        QTest::mouseClick(rig.button("nextbutton"), Qt::LeftButton);
        QCOMPARE(lastPlayed(played), fixturePath(kFiles[4]));
    }

    void theEndsOfAPlaylistDoNotWrap()
    {
        WindowRig rig;
        rig.window().show();
        ZUNAListView *view = rig.playlist(0);
        fill(view, {QStringLiteral("two-a-1200.flac"), QStringLiteral("two-b-1500.flac")});
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        doubleClickRow(view, 0);
        QTest::mouseClick(rig.button("prevbutton"), Qt::LeftButton);
        QCOMPARE(played.size(), 1);

        // The first track ends: the second starts by itself; when it ends, nothing does.
        rig.sync();
        QCOMPARE(rig.capture().pump(100000), size_t(22050));
        rig.monitor();
        QCOMPARE(lastPlayed(played), fixturePath(QStringLiteral("two-b-1500.flac")));
        QCOMPARE(rig.label("tracklabel")->text(), QStringLiteral("Second"));
        rig.sync();
        QCOMPARE(rig.capture().pump(100000), size_t(22050));
        rig.monitor();
        QCOMPARE(played.size(), 2);
        QTest::mouseClick(rig.button("nextbutton"), Qt::LeftButton);
        QCOMPARE(played.size(), 2);
    }

    void addTrackUsesTheFileDialogOnTheVisiblePlaylist()
    {
        WindowRig rig;
        addPlaylistNamed(rig, QStringLiteral("Second"));
        rig.tabs()->setCurrentIndex(1);
        QStringList filters;
        QString caption;
        DialogAnswer answer([&](QWidget *dialog) {
            auto *files = qobject_cast<QFileDialog *>(dialog);
            QVERIFY(files);
            caption = files->windowTitle();
            filters = files->nameFilters();
            files->setDirectory(QStringLiteral(ZUNA_TEST_DATA));
            files->findChild<QLineEdit *>()->setText(
                QStringLiteral("\"vbr-660.mp3\" \"flac16-880.flac\""));
            QMetaObject::invokeMethod(files, "accept");
        });
        QTest::mouseClick(rig.button("addtrackbutton"), Qt::LeftButton);
        QCOMPARE(caption, QStringLiteral("Select audio files"));
        QCOMPARE(filters,
                 (QStringList{QStringLiteral("Music files (*.mp3 *.flac)"),
                              QStringLiteral("*.mp3 (*.mp3)"), QStringLiteral("*.flac (*.flac)")}));
        ZUNAListView *view = rig.playlist(1);
        QCOMPARE(view->count(), 2);
        QCOMPARE(entryOf(view, 0)->Getpath(), fixturePath(QStringLiteral("vbr-660.mp3")));
        QCOMPARE(entryOf(view, 1)->Getpath(), fixturePath(QStringLiteral("flac16-880.flac")));
        QCOMPARE(rig.playlist(0)->count(), 0);

        DialogAnswer cancel([](QWidget *dialog) { QMetaObject::invokeMethod(dialog, "reject"); });
        QTest::mouseClick(rig.button("addtrackbutton"), Qt::LeftButton);
        QCOMPARE(view->count(), 2);
        QVERIFY(!rig.capture().isOpen());  // adding never starts playback
    }

    void deleteRemovesSelectedRowsOfTheVisiblePlaylist()
    {
        WindowRig rig;
        rig.window().show();
        ZUNAListView *view = rig.playlist(0);
        fill(view);
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        QTest::mouseClick(rig.button("deltrackbutton"), Qt::LeftButton);  // nothing selected
        QCOMPARE(view->count(), 5);

        doubleClickRow(view, 1);
        rig.sync();
        const QString artist = rig.label("artistlabel")->text();
        QTest::mouseClick(rig.button("deltrackbutton"), Qt::LeftButton);
        QCOMPARE(view->count(), 4);
        QVERIFY(view->selectedItems().isEmpty());
        // The track plays on and the labels stay, but there is no current entry any more.
        QVERIFY(rig.capture().isOpen());
        QCOMPARE(rig.label("artistlabel")->text(), artist);
        QTest::mouseClick(rig.button("nextbutton"), Qt::LeftButton);
        QTest::mouseClick(rig.button("prevbutton"), Qt::LeftButton);
        QCOMPARE(played.size(), 1);
        rig.capture().pump(1000000);
        rig.monitor();
        QCOMPARE(played.size(), 1);
    }

    void newPlaylistsAreNamedNumberedAndAppended()
    {
        WindowRig rig;
        addPlaylistNamed(rig, QStringLiteral("  Evening mix  "));
        addPlaylistNamed(rig, QStringLiteral("   "));
        addPlaylistNamed(rig, QStringLiteral("Cancelled"), false);
        addPlaylistNamed(rig, QStringLiteral("Two"));
        addPlaylistNamed(rig, QStringLiteral("Three"));
        QCOMPARE(rig.tabs()->count(), 4);
        QCOMPARE(rig.tabs()->tabText(1), QStringLiteral("Evening mix"));
        QCOMPARE(rig.tabs()->currentIndex(), 0);  // appended, not shown
        QCOMPARE(rig.playlist(1)->Getid(), 1);
        QCOMPARE(rig.playlist(3)->Getid(), 3);

        QPointer<ZUNAListView> closed = rig.playlist(2);
        QVERIFY(!closeTab(rig, 2));    // empty: no question
        QTRY_VERIFY(closed.isNull());  // and its view goes too
        addPlaylistNamed(rig, QStringLiteral("Four"));
        QCOMPARE(rig.playlist(3)->Getid(), 4);  // numbers are never reused
    }

    void defaultNeverClosesWhereverItIs()
    {
        WindowRig rig;
        addPlaylistNamed(rig, QStringLiteral("Other"));
        rig.tabs()->tabBar()->moveTab(0, 1);
        QCOMPARE(rig.tabs()->tabText(1), QStringLiteral("Default"));
        fill(rig.playlist(1), {QStringLiteral("cbr-440.mp3")});
        QVERIFY(!closeTab(rig, 1));
        QCOMPARE(rig.tabs()->count(), 2);
    }

    void closingAPlaylistWithRowsAsksFirst()
    {
        WindowRig rig;
        rig.window().show();
        LogRecorder log;
        for (const char *name : {"A", "B", "C"})
            addPlaylistNamed(rig, QString::fromLatin1(name));
        fill(rig.playlist(2), {QStringLiteral("cbr-440.mp3")});
        fill(rig.playlist(0),
             {QStringLiteral("long-6s-8k.flac"), QStringLiteral("flac16-880.flac")});
        doubleClickRow(rig.playlist(0), 0);
        rig.sync();
        QVERIFY(rig.capture().isOpen());

        // Cancel changes nothing.
        QVERIFY(closeTab(rig, 2, QMessageBox::Cancel));
        QCOMPARE(rig.tabs()->count(), 4);

        // Save closes just that tab, stops what plays even from another playlist, and
        // clears the display.
        QPointer<ZUNAListView> middle = rig.playlist(2);
        QVERIFY(closeTab(rig, 2, QMessageBox::Save));
        QCOMPARE(rig.tabs()->count(), 3);
        QVERIFY(middle.isNull());
        QCOMPARE(rig.tabs()->tabText(1), QStringLiteral("A"));
        QCOMPARE(rig.tabs()->tabText(2), QStringLiteral("C"));
        rig.sync();
        QVERIFY(!rig.capture().isOpen());
        QVERIFY(log.lines().contains(QStringLiteral("Event: Stop")));
        QCOMPARE(rig.label("artistlabel")->text(), QStringLiteral("No track opened now"));
        QCOMPARE(rig.label("currenttimelabel")->text(), QStringLiteral("00:00"));
        QVERIFY(!rig.slider("progresslider")->isEnabled());

        // No current entry now: next does nothing until a row is started again; starting one
        // makes seeking possible again.
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        QTest::mouseClick(rig.button("nextbutton"), Qt::LeftButton);
        QVERIFY(played.isEmpty());
        doubleClickRow(rig.playlist(0), 0);
        QVERIFY(rig.slider("progresslider")->isEnabled());

        // Yes closes as Save does.
        fill(rig.playlist(1), {QStringLiteral("cbr-440.mp3")});
        QVERIFY(closeTab(rig, 1, QMessageBox::Yes));
        QCOMPARE(rig.tabs()->count(), 2);
    }
};

QTEST_MAIN(TestPlaylists)
#include "tst_playlists.moc"
