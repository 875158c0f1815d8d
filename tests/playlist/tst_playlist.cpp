// Playlists at the scale of a library: a dropped folder tree comes in by the block, every row
// in order with its own file's metadata and the artist texts shared; the rows in sight have
// their entries wherever the list is moved or resized, and a row is where arithmetic says; rows
// removed while files still come in take nothing else with them; a row the list says costs
// more goes in after a turn of the event loop. Any map given to an entry comes
// back as it was.

#include <QScrollBar>
#include <QtTest>

#include "playlist/playlistintake.h"
#include "support/fixtures.h"
#include "support/windowrig.h"

using namespace zuna;

using namespace Qt::StringLiterals;

namespace {
// Fixtures with tags, without, with an artist shared by several, and one that is no audio.
const QStringList kSources = {u"flac16-880.flac"_s, u"id3v24-utf8.mp3"_s, u"two-artists.flac"_s,
                              u"no-tags.mp3"_s,     u"not-audio.mp3"_s,   u"truncated.mp3"_s,
                              u"blank-title.mp3"_s, u"vbr-660.mp3"_s};

// FOLDERS artist folders of an album each, FILES links to the fixtures in each, named so
// that a library's order is the order they are made in. Returns the files in that order.
QStringList makeLibrary(const QString &root, int folders, int files)
{
    QStringList made;
    for (int f = 0; f < folders; ++f) {
        const QString album = u"%1/Artist %2/Album"_s.arg(root).arg(f + 1, 3, 10, QChar(u'0'));
        if (!QDir().mkpath(album))
            return {};
        for (int i = 0; i < files; ++i) {
            const QString &source = kSources[(f + i) % kSources.size()];
            const QString link =
                u"%1/%2 %3"_s.arg(album).arg(i + 1, 2, 10, QChar(u'0')).arg(source);
            if (!QFile::link(fixturePath(source), link))
                return {};
            made.append(link);
        }
    }
    return made;
}

bool intakeOver(ZUNAListView *view)
{
    // Thousands of files on a busy machine: a bound for a hang, not a measure.
    return QTest::qWaitFor([view] { return !view->takingIn(); }, scaledMs(90000));
}

// Every row a 40 px slot with its own file's metadata (read once per file here).
void checkRows(ZUNAListView *view, const QStringList &expected)
{
    QCOMPARE(pathsOf(view), expected);
    QHash<QString, TrackMetadata> read;
    for (int row = 0; row < view->count(); ++row) {
        QCOMPARE(view->item(row)->sizeHint(), QSize(0, 40));
        const QString path = entryOf(view, row)->Getpath();
        if (!read.contains(path))
            read.insert(path, readTrackMetadata(path));
        QCOMPARE(entryOf(view, row)->Getmetadata(), read.value(path));
    }
}

// The rows that meet the viewport show their entries, labelled, where they lie; no other
// entry shows. Rows lie 40 px apart from the top, as wide as the list.
void checkSight(ZUNAListView *view)
{
    const int offset = view->verticalScrollBar()->value();
    const QRect sight = view->viewport()->rect();
    int shown = 0;
    for (int row = 0; row < view->count(); ++row) {
        const QRect rect(0, row * 40 - offset, sight.width(), 40);
        QCOMPARE(view->visualItemRect(view->item(row)), rect);
        ZUNAListWidget *entry = entryOf(view, row);
        const bool inSight = rect.intersects(sight);
        QVERIFY2(entry->isVisible() == inSight, qPrintable(QString::number(row)));
        if (!inSight)
            continue;
        ++shown;
        QCOMPARE(entry->geometry(), rect);
        QCOMPARE(entry->findChildren<QLabel *>().size(), 5);
        for (const QPoint at : {rect.topLeft(), rect.center(), rect.bottomRight()}) {
            if (sight.contains(at))
                QCOMPARE(view->indexAt(at).row(), row);
        }
    }
    QVERIFY(shown >= sight.height() / 40);
}
}  // namespace

class TestPlaylist : public QObject {
    Q_OBJECT

private slots:
    void aLibraryComesInByTheBlockInOrderAndItsRowsAreFoundWhereverTheListIs()
    {
        QTemporaryDir dir;
        const QStringList library = makeLibrary(dir.path(), 30, 25);
        QCOMPARE(library.size(), 750);
        ZUNAListView view(0);
        view.resize(300, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // Three drops of the whole tree, one behind the other: 2,250 rows in some 70 blocks.
        // Halfway, a jump to the end as rows still come in.
        for (int drop = 0; drop < 3; ++drop)
            QVERIFY(dropFiles(&view, {dir.path()}, false));
        QVERIFY(QTest::qWaitFor([&view] { return view.count() > 1000; }, scaledMs(90000)));
        view.scrollToBottom();
        QVERIFY(intakeOver(&view));
        STEP(checkRows(&view, library + library + library));
        // The list's end in sight once the rows have stopped coming: jumped to again, as the
        // range has grown since.
        view.scrollToBottom();
        QTRY_VERIFY(entryOf(&view, view.count() - 1)->isVisible());
        STEP(checkSight(&view));
        // One buffer per drop for an artist repeated over hundreds of rows.
        QSet<const QChar *> buffers;
        for (int row = 0; row < view.count(); ++row) {
            const QString artist = entryOf(&view, row)->Getmetadata().value(u"ARTIST"_s);
            if (artist == u"ZUNA Tests"_s)
                buffers.insert(artist.constData());
        }
        QVERIFY(!buffers.isEmpty() && buffers.size() <= 3);
        // Anywhere in between, and moved by the keys: the current row is always in sight.
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2 + 13);
        QTRY_VERIFY(entryOf(&view, view.indexAt({5, 5}).row())->isVisible());
        STEP(checkSight(&view));
        view.setFocus();
        view.setCurrentRow(0);
        QTest::keyClick(&view, Qt::Key_End);
        QCOMPARE(view.currentRow(), view.count() - 1);
        QTest::keyClick(&view, Qt::Key_Down);
        QCOMPARE(view.currentRow(), view.count() - 1);
        QTest::keyClick(&view, Qt::Key_PageUp);
        QCOMPARE(view.currentRow(), view.count() - 1 - view.viewport()->height() / 40);
        QTest::keyClick(&view, Qt::Key_Up);
        QTest::keyClick(&view, Qt::Key_Home);
        QCOMPARE(view.currentRow(), 0);
        QTest::keyClick(&view, Qt::Key_PageDown);
        QTest::keyClick(&view, Qt::Key_Down);
        const int current = view.currentRow();
        QCOMPARE(current, view.viewport()->height() / 40 + 1);
        QTRY_VERIFY(entryOf(&view, current)->isVisible());
        STEP(checkSight(&view));
        // A click selects the row under it.
        const QRect third = view.visualItemRect(view.item(current - 2));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, third.center());
        QCOMPARE(view.selectedItems(), QList<QListWidgetItem *>({view.item(current - 2)}));
        // A row just added is shown at once when asked for, by the list (a file opened from
        // the desktop) or by the keys, before the list has had a turn to take in that it has
        // grown.
        view.AddFile(library.first());
        view.scrollToItem(view.item(view.count() - 1));
        QTRY_VERIFY(entryOf(&view, view.count() - 1)->isVisible());
        view.scrollToTop();
        view.AddFile(library.last());
        QTest::keyClick(&view, Qt::Key_End);
        QCOMPARE(view.currentRow(), view.count() - 1);
        QTRY_VERIFY(entryOf(&view, view.count() - 1)->isVisible());
        STEP(checkSight(&view));
    }

    void rowsRemovedWhileFilesComeInTakeNothingElse()
    {
        QTemporaryDir dir;
        const QStringList library = makeLibrary(dir.path(), 12, 25);
        QCOMPARE(library.size(), 300);
        ZUNAListView view(0);
        view.resize(300, 400);
        view.show();
        // Last, files slow to read (ten minutes of MP3 without a length header, scanned frame
        // by frame), enough of them that a fast machine is still reading when the first rows
        // are in: the rows before them are in long before the intake is over.
        QTemporaryDir elsewhere;
        const QString slow = elsewhere.filePath(u"slow.mp3"_s);
        QFile mp3(fixturePath(u"vbr-noxing-550.mp3"_s)), file(slow);
        QVERIFY(mp3.open(QIODevice::ReadOnly) && file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(mp3.readAll().repeated(200)) > 0 && file.flush());
        const QStringList slowOnes(64, slow);
        QStringList expected = library.mid(0, 25) + library + slowOnes;
        QVERIFY(dropFiles(&view, QStringList{dir.path() + u"/Artist 001"_s, dir.path()} + slowOnes,
                          false));
        QVERIFY(QTest::qWaitFor([&view] { return view.count() > 30; }, scaledMs(90000)));
        // As "Delete" does it, the first rows, one in sight further down, then the last row
        // there is at that moment, while files still come in.
        QVERIFY(view.takingIn());
        for (const int row : {0, 0, 5}) {
            delete view.item(row);
            expected.removeAt(row);
        }
        const int last = view.count() - 1;
        delete view.item(last);
        expected.removeAt(last);
        QVERIFY(intakeOver(&view));
        STEP(checkRows(&view, expected));
        STEP(checkSight(&view));
    }

    void entriesStayOverTheirRowsAsTheListIsResizedAndScrolled()
    {
        QTemporaryDir dir;
        const QStringList library = makeLibrary(dir.path(), 8, 25);
        ZUNAListView view(0);
        view.resize(300, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(dropFiles(&view, {dir.path()}, false));
        QVERIFY(intakeOver(&view));
        QCOMPARE(view.count(), library.size());
        // Halfway down, off the rows' edges; then taller and wider (rows come into sight
        // below), narrower and shorter (they go), and the list walked a step at a time.
        view.verticalScrollBar()->setValue(view.count() * 20 + 7);
        for (const QSize size : {QSize(500, 600), QSize(200, 130), QSize(320, 410)}) {
            view.resize(size);
            QTRY_COMPARE(view.size(), size);
            const int lastInSight = view.indexAt({1, view.viewport()->height() - 1}).row();
            QTRY_VERIFY(entryOf(&view, lastInSight)->isVisible());
            STEP(checkSight(&view));
        }
        for (const int step : {17, 40, 400, -1000, 3, -5}) {
            view.verticalScrollBar()->setValue(view.verticalScrollBar()->value() + step);
            STEP(checkSight(&view));
        }
        STEP(checkRows(&view, library));
    }

    void aRowSaidToCostMoreIsFollowedByATurnOfTheEventLoop()
    {
        // The list says which rows come before a costly one; the intake lets the window
        // turn before it. Anything the loop was asked to do meanwhile has been done then.
        QStringList files;
        for (int i = 0; i < 40; ++i)
            files += kSources;
        QStringList added;
        bool turned = true;
        bool rowsWaitedForTheTurn = true;
        PlaylistIntake intake([&](const QString &path, const StoredMetadata &) {
            rowsWaitedForTheTurn = rowsWaitedForTheTurn && turned;
            added.append(path);
            const bool costlyNext = added.size() % 7 == 0;
            if (costlyNext) {
                turned = false;
                QMetaObject::invokeMethod(
                    &intake, [&turned] { turned = true; }, Qt::QueuedConnection);
            }
            return !costlyNext;
        });
        intake.add(files, false);
        QVERIFY(QTest::qWaitFor([&intake] { return !intake.busy(); }, scaledMs(90000)));
        QCOMPARE(added, files);
        QVERIFY(rowsWaitedForTheTurn);
    }

    void anEntryGivesBackAnyMapAsItCame()
    {
        // As the reader writes them, and shapes it never writes: numbers it would not write
        // so, other keys, none.
        const QList<TrackMetadata> maps = {
            {{u"TITLE"_s, u"Unknow"_s},
             {u"ARTIST"_s, u"Unknow"_s},
             {u"ALBUM"_s, u"Unknow"_s},
             {u"LENGTH"_s, u"0"_s},
             {u"TYPE"_s, u"UNKNOW"_s},
             {u"SIZE"_s, u"0"_s}},
            {{u"LENGTH"_s, u"83456"_s}, {u"TYPE"_s, u"MP3"_s}, {u"SIZE"_s, u"5000000"_s}},
            {{u"LENGTH"_s, u"007"_s}, {u"SIZE"_s, u"+5"_s}},
            {{u"LENGTH"_s, u"99999999999999999999"_s}, {u"SIZE"_s, u" 5"_s}},
            {{u"LENGTH"_s, u"-1000"_s}, {u"SIZE"_s, u""_s}, {u"TITLE"_s, u""_s}},
            {{u"title"_s, u"lower case"_s}, {u"EXTRA"_s, u"kept"_s}, {u"TITLE"_s, u"T"_s}},
            {}};
        const QStringList shown = {u"Unknow Unknow UNKNOW 00:00 0.0MB"_s,
                                   u"  MP3 01:23 4.7MB"_s,
                                   u"   00:00 0.0MB"_s,
                                   u"   00:00 0.0MB"_s,
                                   u"   00:00 0.0MB"_s,
                                   u"T   00:00 0.0MB"_s,
                                   u"   00:00 0.0MB"_s};
        for (int i = 0; i < maps.size(); ++i) {
            ZUNAListWidget entry(maps[i], u"x.mp3"_s);
            entry.ensureLabels();
            QCOMPARE(entry.Getmetadata(), maps[i]);
            QStringList texts;  // title, artist, type, length, size
            const QList<QLabel *> labels = entry.findChildren<QLabel *>();
            for (const int at : {1, 0, 2, 3, 4})
                texts.append(labels.value(at) ? labels.value(at)->text() : u"?"_s);
            QCOMPARE(texts.join(u' '), shown[i]);
        }
    }
};

QTEST_MAIN(TestPlaylist)
#include "tst_playlist.moc"
