// Files taken into a playlist by the thousand: dropped folders walked in library order,
// rows in exactly the order asked for while a pool of threads reads them, drops queued
// behind a running intake, and a playlist closed before its files are all in.

#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

#include "playlist/folderwalk.h"
#include "support/fixtures.h"
#include "support/permissions.h"
#include "support/windowrig.h"

using namespace Qt::StringLiterals;

namespace {
QStringList pathsOf(const ZUNAListView &view)
{
    QStringList paths;
    for (int row = 0; row < view.count(); ++row)
        paths << entryOf(&view, row)->Getpath();
    return paths;
}

// Drops `paths` on `view` as a file manager does, without waiting for them to be in.
void drop(ZUNAListView &view, const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    QVERIFY(dropFiles(&view, urls, false));
}

// Fixtures whose reading takes from microseconds to a scan of every frame, many times over.
QStringList mixedFiles(int count)
{
    const QStringList kinds = {
        u"vbr-noxing-550.mp3"_s, u"no-tags.mp3"_s,   u"cbr-noinfo-330-cover.mp3"_s,
        u"flac24-1000.flac"_s,   u"not-audio.mp3"_s, u"missing.mp3"_s};
    QStringList files;
    for (int i = 0; i < count; ++i)
        files << fixturePath(kinds[(i * 7 + i / 5) % kinds.size()]);
    return files;
}
}  // namespace

class TestIntake : public QObject {
    Q_OBJECT

private slots:
    void foldersGiveTheirMusicInLibraryOrder()
    {
        QTemporaryDir dir;
        const auto make = [&dir](const QString &path) {
            QDir().mkpath(QFileInfo(dir.filePath(path)).path());
            QFile file(dir.filePath(path));
            return file.open(QIODevice::WriteOnly);
        };
        for (const QString &path :
             {u"Lib/b.mp3"_s, u"Lib/A10.flac"_s, u"Lib/a2.FLAC"_s, u"Lib/notes.txt"_s,
              u"Lib/artist 2/10.mp3"_s, u"Lib/artist 2/9.Mp3"_s, u"Lib/artist 2/1.mp3"_s,
              u"Lib/Artist 10/x.mp3"_s, u"Lib/locked/y.mp3"_s, u"Empty/cover.jpg"_s, u"loose.txt"_s,
              u"song.MP3"_s})
            QVERIFY(make(path));
        QVERIFY(QFile::link(dir.filePath(u"Lib"_s), dir.filePath(u"Lib/artist 2/again"_s)));
        QVERIFY(QFile::setPermissions(dir.filePath(u"Lib/locked"_s), {}));
        const QStringList dropped = {u"loose.txt"_s, u"Lib"_s, u"Empty"_s, u"song.MP3"_s};
        QStringList expected = {
            u"loose.txt"_s,           u"Lib/a2.FLAC"_s,         u"Lib/A10.flac"_s,
            u"Lib/b.mp3"_s,           u"Lib/artist 2/1.mp3"_s,  u"Lib/artist 2/9.Mp3"_s,
            u"Lib/artist 2/10.mp3"_s, u"Lib/Artist 10/x.mp3"_s, u"song.MP3"_s};
        QStringList paths;
        for (const QString &name : dropped)
            paths << dir.filePath(name);
        for (QString &name : expected)
            name = dir.filePath(name);
        QCOMPARE(expandFolders(paths), expected);
        QFile::setPermissions(dir.filePath(u"Lib/locked"_s), QFile::ReadOwner | QFile::ExeOwner);
    }

    // Blocks are read in parallel and finish in any order; the rows go in as asked, and a
    // second drop, and a file added on its own, wait their turn.
    void rowsComeInOrderAndDropsQueueBehindEachOther()
    {
        ZUNAListView view(1);
        view.show();
        const QStringList first = mixedFiles(400), second = mixedFiles(37);
        STEP(drop(view, first));
        QVERIFY(view.takingIn());
        QCOMPARE(view.viewport()->cursor().shape(), Qt::BusyCursor);
        STEP(drop(view, second));
        view.AddFile(fixturePath(u"two-a-1200.flac"_s));  // there when it returns
        QCOMPARE(pathsOf(view), first + second + QStringList(fixturePath(u"two-a-1200.flac"_s)));
        QVERIFY(!view.takingIn());
        QCOMPARE(view.viewport()->cursor().shape(), Qt::ArrowCursor);
        const TrackMetadata read = entryOf(&view, 2)->Getmetadata();
        QCOMPARE(read, readTrackMetadata(first[2]));
    }

    void aPlaylistClosedWhileFilesComeInStopsTakingThem()
    {
        WindowRig rig;
        auto *view = new ZUNAListView(7);
        rig.tabs()->addTab(view, u"Big"_s);
        QPointer<ZUNAListView> alive(view);
        STEP(drop(*view, mixedFiles(3000)));
        TRY_VERIFY(view->count() > 0);
        QVERIFY(view->takingIn());
        delete view;  // as a tab's closing does
        QVERIFY(alive.isNull());
        QTest::qWait(50);  // anything still coming would land in a deleted list
        QCOMPARE(rig.tabs()->count(), 1);
    }
};

int main(int argc, char **argv)
{
    dropReadOverride();  // so that a folder without permissions is one for root too
    QApplication app(argc, argv);
    TestIntake test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_intake.moc"
