// The transport, the reports it takes and the desktop's controls over it, without widgets or
// a real engine: a playlist of paths in a list model, and the test speaking for the engine,
// which answers each request in order as the real one does.

#include <QStringListModel>
#include <QtTest>

#include "app/enginerequests.h"
#include "app/mprisservice.h"
#include "app/trackreports.h"
#include "app/transport.h"

using namespace zuna;

using namespace Qt::StringLiterals;

namespace {
// Rows named "x…" are files the engine cannot play.
class Paths : public PlaylistRows {
public:
    explicit Paths(const QStringList &paths) : rows(paths) {}
    const QAbstractItemModel *model() const override { return &rows; }
    QString path(int row) const override { return rows.index(row).data().toString(); }
    TrackMetadata metadata(int row) const override
    {
        return {{u"TITLE"_s, path(row)}, {u"LENGTH"_s, u"6000"_s}};
    }
    QStringListModel rows;
};

// The transport as the window wires it. The test stands in for the engine: settle() lets it
// take every request sent so far, in order, and report on each.
struct Player {
    Player()
    {
        // As the window's Playfile, which the transport's start leads to, and its stops.
        QObject::connect(&transport, &Transport::started, [this](const QString &path) {
            started << path;
            if (!path.isEmpty()) {
                reports.requested();
                waiting << path;
            }
        });
        QObject::connect(&requests, &EngineRequests::Stop, [this] {
            reports.requested();
            waiting << QString();
        });
        QObject::connect(&requests, &EngineRequests::Queuefile,
                         [this](const QString &path) { queued << path; });
        QObject::connect(&requests, &EngineRequests::Play, [this] { asked << u"Play"_s; });
        QObject::connect(&requests, &EngineRequests::Pause, [this] { asked << u"Pause"_s; });
    }
    void settle()
    {
        while (!waiting.isEmpty()) {
            const QString path = waiting.takeFirst();
            ++generation;
            const bool plays = !path.isEmpty() && !path.startsWith(u'x');
            emit engine.PlaybackChanged(generation, plays ? EngineReports::Playback::Playing
                                                          : EngineReports::Playback::Stopped);
            if (!path.isEmpty() && !plays)
                emit engine.Unplayable(generation, path);
        }
        QCoreApplication::processEvents();  // what the transport looks at once rows settle
    }
    // Runs one of the transport's steps by name, then lets the engine answer.
    void act(const QString &action, Paths &list)
    {
        if (action == u"next")
            transport.next();
        else if (action == u"previous")
            transport.previous();
        else
            transport.choose(&list, action.toInt());
        settle();
    }

    EngineReports engine;
    EngineRequests requests;
    TrackReports reports{&engine};
    Transport transport{&requests, &reports};
    quint64 generation = 0;
    QStringList waiting;  // requests the engine has not taken yet
    QStringList started, queued, asked;
};

const QStringList kFive = {u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s};
using Edit = std::function<void(QStringListModel &)>;
}  // namespace

Q_DECLARE_METATYPE(Edit)

class TestTransport : public QObject {
    Q_OBJECT

private slots:
    void stepsAndPassesOverUnplayableRowsTheWayItGoes_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("actions");  // a row number chooses it by hand
        QTest::addColumn<QStringList>("started");
        const auto list = [](const char *text) { return QString::fromLatin1(text).split(u' '); };
        QTest::newRow("next and previous")
            << kFive << list("2 next previous previous") << list("c d c b");
        QTest::newRow("no wrap-around") << list("a b") << list("1 next 0 previous") << list("b a");
        QTest::newRow("next passes over")
            << list("a x1 x2 d") << list("0 next") << list("a x1 x2 d");
        QTest::newRow("previous passes over, backwards")
            << list("a x1 x2 d") << list("3 previous") << list("d x2 x1 a");
        QTest::newRow("unplayable last row") << list("a x") << list("0 next") << list("a x");
        QTest::newRow("unplayable first row") << list("x b") << list("1 previous") << list("b x");
        QTest::newRow("chosen by hand: no passing over") << list("a x c") << list("1") << list("x");
        QTest::newRow("from there, on as usual")
            << list("a x c") << list("1 next previous") << list("x c x a");
    }

    void stepsAndPassesOverUnplayableRowsTheWayItGoes()
    {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, actions);
        Paths list(rows);
        Player player;
        for (const QString &action : actions)
            player.act(action, list);
        QTEST(player.started, "started");
    }

    // Next and previous follow the entry that was started, wherever its row has gone since.
    void theEntryKeepsItsIdentityAsRowsComeAndGo()
    {
        Paths list(kFive);
        Player player;
        player.act(u"2"_s, list);  // c
        list.rows.insertRows(0, 2);
        list.rows.setData(list.rows.index(0), u"new"_s);
        QVERIFY(list.rows.moveRows({}, 6, 1, {}, 1));  // e before a
        QVERIFY(list.rows.removeRows(6, 1));           // d, after c
        QCOMPARE(list.rows.stringList(),
                 QStringList({u"new"_s, u"e"_s, u""_s, u"a"_s, u"b"_s, u"c"_s}));
        QCOMPARE(player.transport.row(), 5);
        player.act(u"previous"_s, list);
        player.act(u"next"_s, list);
        QCOMPARE(player.started, QStringList({u"c"_s, u"b"_s, u"c"_s}));
        QVERIFY(!player.transport.canGoNext());
    }

    void aDeletedEntryKeepsItsPlace_data()
    {
        QTest::addColumn<QList<int>>("removed");  // rows, one after the other
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("previous");
        QTest::newRow("the entry") << QList<int>{2} << u"d"_s << u"b"_s;
        QTest::newRow("then the row after it") << QList<int>{2, 2} << u"e"_s << u"b"_s;
        QTest::newRow("then the row before it") << QList<int>{2, 1} << u"d"_s << u"a"_s;
        QTest::newRow("the last row") << QList<int>{4} << QString() << u"d"_s;
        QTest::newRow("and all before it") << QList<int>{4, 0, 0, 0, 0} << QString() << QString();
    }

    void aDeletedEntryKeepsItsPlace()
    {
        QFETCH(QList<int>, removed);
        Paths list(kFive);
        Player player;
        player.act(QString::number(removed.first()), list);
        QSignalSpy entryChanged(&player.transport, &Transport::entryChanged);
        for (const int row : removed)
            list.rows.removeRows(row, 1);
        QCOMPARE(entryChanged.size(), 1);  // once: when the entry went
        QCOMPARE(player.transport.row(), -1);
        QCOMPARE(player.transport.playlist(), &list);
        const QStringList before = player.started;
        player.transport.next();
        QTEST(before == player.started ? QString() : player.started.last(), "next");
        player.started = before;
        player.transport.previous();
        QTEST(before == player.started ? QString() : player.started.last(), "previous");
    }

    void whatTheEndWouldStartIsQueuedAhead_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QStringList>("queued");
        QTest::newRow("as started") << Edit([](QStringListModel &) {}) << QStringList{u"c"_s};
        QTest::newRow("the next row deleted")
            << Edit([](QStringListModel &m) { m.removeRows(2, 1); }) << QStringList{u"c"_s, u"d"_s};
        QTest::newRow("the rest deleted") << Edit([](QStringListModel &m) { m.removeRows(2, 3); })
                                          << QStringList{u"c"_s, QString()};
        QTest::newRow("a row moved in after it")
            << Edit([](QStringListModel &m) { m.moveRows({}, 4, 1, {}, 2); })
            << QStringList{u"c"_s, u"e"_s};
        QTest::newRow("rows added elsewhere")
            << Edit([](QStringListModel &m) { m.insertRows(5, 3); }) << QStringList{u"c"_s};
        QTest::newRow("the playlist cleared")
            << Edit([](QStringListModel &m) { m.setStringList({}); })
            << QStringList{u"c"_s, QString()};
    }

    void whatTheEndWouldStartIsQueuedAhead()
    {
        QFETCH(Edit, edit);
        Paths list(kFive);
        Player player;
        player.act(u"1"_s, list);
        edit(list.rows);
        player.settle();
        QTEST(player.queued, "queued");
    }

    // Each start clears what the engine had opened ahead, so it is named again; ten thousand
    // rows coming in one at a time after the entry are looked at once.
    void theQueueIsNamedAfterEachStartAndOnceForABurstOfRows()
    {
        Paths list({u"a"_s, u"b"_s});
        Player player;
        player.act(u"0"_s, list);
        player.act(u"0"_s, list);
        QCOMPARE(player.queued, QStringList({u"b"_s, u"b"_s}));
        QSignalSpy looked(&player.transport, &Transport::neighboursChanged);
        for (int row = 1; row <= 10000; ++row) {
            list.rows.insertRows(row, 1);
            list.rows.setData(list.rows.index(row), QString::number(row));
        }
        player.settle();
        QCOMPARE(player.queued.last(), u"1"_s);
        QCOMPARE(looked.size(), 1);
    }

    void aClosedPlaylistTakesTheEntryAlong()
    {
        Paths list(kFive), other({u"z"_s});
        Player player;
        player.act(u"1"_s, list);
        player.transport.forget(&other);
        QCOMPARE(player.transport.row(), 1);
        player.transport.forget(&list);
        QCOMPARE(player.transport.playlist(), nullptr);
        QCOMPARE(player.transport.row(), -1);
        QCOMPARE(player.queued.last(), QString());
        player.act(u"next"_s, list);
        player.act(u"previous"_s, list);
        QCOMPARE(player.started, QStringList({u"b"_s}));
    }

    // A report stamped before the latest Playfile or Stop was sent goes no further; one of
    // that request or later does. Tick and Finish, unstamped, follow the last stamped one.
    void reportsFromBeforeTheLatestRequestAreDropped_data()
    {
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("stamp");
        QTest::addColumn<bool>("taken");
        QTest::newRow("nothing asked yet") << 0 << 0 << true;
        QTest::newRow("of the latest request") << 2 << 2 << true;
        QTest::newRow("from before it") << 2 << 1 << false;
        QTest::newRow("the engine asked by others too") << 1 << 3 << true;
    }

    void reportsFromBeforeTheLatestRequestAreDropped()
    {
        QFETCH(int, sent);
        QFETCH(int, stamp);
        QFETCH(bool, taken);
        EngineReports engine;
        TrackReports reports(&engine);
        QSignalSpy playback(&reports, &TrackReports::playbackChanged);
        QSignalSpy position(&reports, &TrackReports::positionHeard);
        QSignalSpy unplayable(&reports, &TrackReports::unplayable);
        for (int i = 0; i < sent; ++i)
            reports.requested();
        emit engine.PlaybackChanged(stamp, EngineReports::Playback::Playing);
        emit engine.Position(stamp, 1000);
        emit engine.Unplayable(stamp, u"x"_s);
        QCOMPARE(playback.size() + position.size() + unplayable.size(), taken ? 3 : 0);
        emit engine.Ended(stamp);
        QCOMPARE(reports.stale(), !taken);
    }

    // The desktop's pause and play-pause act by what the engine last reported: its Pause
    // turns pausing on and off, so a pause while paused must not resume.
    void pauseActsOnlyOnPlayback_data()
    {
        QTest::addColumn<EngineReports::Playback>("playback");
        QTest::addColumn<QStringList>("asked");  // by pause, then by play-pause
        QTest::newRow("playing") << EngineReports::Playback::Playing
                                 << QStringList({u"Pause"_s, u"Pause"_s});
        QTest::newRow("paused") << EngineReports::Playback::Paused << QStringList({u"Play"_s});
        QTest::newRow("stopped") << EngineReports::Playback::Stopped << QStringList({u"Play"_s});
    }

    void pauseActsOnlyOnPlayback()
    {
        QFETCH(EngineReports::Playback, playback);
        Player player;
        emit player.engine.PlaybackChanged(0, playback);
        player.transport.pause();
        player.transport.playPause();
        QTEST(player.asked, "asked");
    }

    // After a new track starts, the desktop's position is the new track's, not a Tick of the
    // last one that the engine sent before it took the new one in.
    void theDesktopsPositionIsTheNewTracksAtOnce()
    {
        Paths list(kFive);
        Player player;
        MprisService mpris(&player.transport, nullptr);
        player.act(u"0"_s, list);
        emit player.engine.Position(player.generation, 5000);
        QVERIFY(mpris.position() >= 5'000'000);
        QElapsedTimer sinceStart;
        sinceStart.start();
        player.transport.next();
        emit player.engine.Position(player.generation, 5500);  // before it took the next
        player.settle();
        QCOMPARE(mpris.metadata().value(u"xesam:title"_s), u"b"_s);
        QVERIFY2(mpris.position() / 1000 <= sinceStart.elapsed(),
                 qPrintable(QString::number(mpris.position())));
    }
};

int main(int argc, char **argv)
{
    // The desktop's controls are built here without a bus to speak on.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zuna-tests");
    QCoreApplication app(argc, argv);
    TestTransport test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_transport.moc"
