// A playlist's file intake: rows for any path, and drags from other applications seen the
// way Qt 6 delivers them (enter, moves over the rows, drop) to the list's viewport.

#include <QDragEnterEvent>
#include <QLabel>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

#include "metadata/zunalistwidget.h"
#include "playlist/zunalistview.h"
#include "support/fixtures.h"
#include "support/logrecorder.h"

namespace {
QUrl fileUrl(const QString &fixtureName)
{
    return QUrl::fromLocalFile(fixturePath(fixtureName));
}

struct DragResult {
    bool entered = false;
    bool movesAccepted = true;
};

// Drags `data` in from outside, over several rows, and drops it at the last point.
DragResult dragAndDrop(ZUNAListView &view, const QMimeData &data, bool drop = true)
{
    QWidget *viewport = view.viewport();
    const QList<QPoint> path = {QPoint(20, 5), QPoint(30, 45), QPoint(40, 85), QPoint(50, 30)};
    DragResult result;
    QDragEnterEvent enter(path.first(), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    result.entered = enter.isAccepted();
    if (!result.entered)
        return result;
    for (const QPoint &at : path) {
        QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                            Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        result.movesAccepted = result.movesAccepted && move.isAccepted();
    }
    if (drop) {
        QDropEvent dropped(path.last(), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                           Qt::NoModifier);
        QApplication::sendEvent(viewport, &dropped);
    }
    return result;
}

QStringList pathsOf(const ZUNAListView &view)
{
    QStringList paths;
    for (int row = 0; row < view.count(); ++row)
        paths << qobject_cast<ZUNAListWidget *>(view.itemWidget(view.item(row)))->Getpath();
    return paths;
}
}  // namespace

class TestPlaylistView : public QObject {
    Q_OBJECT

private slots:
    void addFileAppendsOneFortyPixelRowPerPath()
    {
        QTemporaryDir dir;
        ZUNAListView view(3);
        view.resize(300, 400);
        view.show();
        QCOMPARE(view.Getid(), 3);
        const QString flac = fixturePath(QStringLiteral("flac16-880.flac"));
        const QString folder = dir.path();
        const QString missing = dir.filePath(QStringLiteral("gone.mp3"));
        for (const QString &path : {flac, folder, missing, flac})
            view.AddFile(path);
        // Any path gets its row, duplicates included, in the order added.
        QCOMPARE(pathsOf(view), (QStringList{flac, folder, missing, flac}));
        for (int row = 0; row < view.count(); ++row) {
            QCOMPARE(view.item(row)->sizeHint(), QSize(0, 40));
            QCOMPARE(view.visualItemRect(view.item(row)).height(), 40);
        }
        auto *entry = qobject_cast<ZUNAListWidget *>(view.itemWidget(view.item(0)));
        QCOMPARE(entry->Getmetadata().value(QStringLiteral("TITLE")), QStringLiteral("Tone 880"));

        // Deleting an item takes its entry widget along; clear() takes them all.
        QPointer<QWidget> first = view.itemWidget(view.item(0));
        delete view.item(0);
        QTRY_VERIFY(first.isNull());
        QPointer<QWidget> last = view.itemWidget(view.item(2));
        view.clear();
        QTRY_VERIFY(last.isNull());
    }

    void onlyRowsInSightCarryTheirLabels()
    {
        ZUNAListView view(0);
        view.resize(300, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QString flac = fixturePath(QStringLiteral("flac16-880.flac"));
        for (int i = 0; i < 300; ++i)
            view.AddFile(flac);

        // Every row has its entry, in sight or not; in sight, it shows its labels where the
        // row is, out of sight it waits without them.
        const auto check = [&view] {
            const QRect area = view.viewport()->rect();
            int shown = 0;
            for (int row = 0; row < view.count(); ++row) {
                auto *entry = qobject_cast<ZUNAListWidget *>(view.itemWidget(view.item(row)));
                if (!entry || entry->Getpath().isEmpty())
                    return -1;
                const QRect rect = view.visualItemRect(view.item(row));
                const bool inSight = rect.intersects(area);
                const QList<QLabel *> labels = entry->findChildren<QLabel *>();
                if (inSight != entry->isVisible() || inSight != (labels.size() == 5))
                    return -1;
                if (inSight && (entry->geometry() != rect || labels.first()->text().isEmpty()))
                    return -1;
                shown += inSight;
            }
            return shown;
        };
        // At least as many rows as fit whole in the viewport; -1 would mean an inconsistency.
        const auto fullRows = [&view] { return view.viewport()->height() / 40; };
        QTRY_VERIFY(check() >= fullRows());
        view.scrollToBottom();
        QTRY_VERIFY(check() >= fullRows());
        QVERIFY(view.itemWidget(view.item(299))->isVisible());
        QVERIFY(!view.itemWidget(view.item(0))->isVisible());
        view.resize(300, 800);
        QTRY_VERIFY(check() >= fullRows());
        QVERIFY(fullRows() > 15);
        view.scrollToTop();
        QTRY_VERIFY(check() >= fullRows());
        QVERIFY(view.itemWidget(view.item(0))->isVisible());
        QVERIFY(!view.itemWidget(view.item(299))->isVisible());
    }

    void dropAddsLocalFilesInOrder()
    {
        ZUNAListView view(0);
        view.resize(300, 400);
        view.show();
        view.AddFile(fixturePath(QStringLiteral("cbr-440.mp3")));  // rows to move over
        view.AddFile(fixturePath(QStringLiteral("vbr-660.mp3")));
        QMimeData data;
        data.setUrls({fileUrl(QStringLiteral("two-a-1200.flac")),
                      fileUrl(QStringLiteral("two-b-1500.flac")),
                      fileUrl(QStringLiteral("flac24-1000.flac"))});
        const DragResult drag = dragAndDrop(view, data);
        QVERIFY(drag.entered);
        // Qt 6 refuses outside drags moving over an InternalMove view unless told otherwise.
        QVERIFY(drag.movesAccepted);
        QCOMPARE(pathsOf(view).mid(2),
                 (QStringList{fixturePath(QStringLiteral("two-a-1200.flac")),
                              fixturePath(QStringLiteral("two-b-1500.flac")),
                              fixturePath(QStringLiteral("flac24-1000.flac"))}));
    }

    void dropStopsAtTheFirstUrlThatIsNoLocalFile()
    {
        ZUNAListView view(0);
        view.show();
        QMimeData remoteFirst;
        remoteFirst.setUrls({QUrl(QStringLiteral("https://example.org/song.mp3")),
                             fileUrl(QStringLiteral("cbr-440.mp3"))});
        dragAndDrop(view, remoteFirst);
        QCOMPARE(view.count(), 0);

        QMimeData remoteThird;
        remoteThird.setUrls({fileUrl(QStringLiteral("cbr-440.mp3")),
                             fileUrl(QStringLiteral("vbr-660.mp3")),
                             QUrl(QStringLiteral("https://example.org/song.mp3")),
                             fileUrl(QStringLiteral("flac16-880.flac"))});
        dragAndDrop(view, remoteThird);
        QCOMPARE(pathsOf(view), (QStringList{fixturePath(QStringLiteral("cbr-440.mp3")),
                                             fixturePath(QStringLiteral("vbr-660.mp3"))}));
    }

    void dragWithoutUrlsIsRefusedButLogged()
    {
        ZUNAListView view(0);
        view.show();
        LogRecorder log;
        QMimeData text;
        text.setText(QStringLiteral("just words"));
        text.setData(QStringLiteral("application/x-zuna-test"), "x");
        const DragResult drag = dragAndDrop(view, text);
        QVERIFY(!drag.entered);
        QCOMPARE(view.count(), 0);
        QCOMPARE(log.lines().size(), 1);
        const QString line = log.lines().first();
        QVERIFY2(line.contains(QStringLiteral("\"text/plain\"")) &&
                     line.contains(QStringLiteral("\"application/x-zuna-test\"")) &&
                     line.contains(QLatin1Char('(')) && line.endsWith(QLatin1Char(')')),
                 qPrintable(line));

        // A file drag logs its formats too, as one line.
        log.clear();
        QMimeData files;
        files.setUrls({fileUrl(QStringLiteral("cbr-440.mp3"))});
        dragAndDrop(view, files, false);
        QCOMPARE(log.lines().size(), 1);
        QVERIFY(log.lines().first().contains(QStringLiteral("\"text/uri-list\"")));
    }
};

QTEST_MAIN(TestPlaylistView)
#include "tst_playlistview.moc"
