// Runs of tracks played from the first row to the last as the player plays them: the engine on
// its thread, the transport answering each end with the next row, a capture device with a
// sound server's buffer. Every track is heard once, in order, to its last frame, however short.

#include <QStringListModel>
#include <QTemporaryDir>
#include <QtTest>

#include "app/enginerequests.h"
#include "app/trackreports.h"
#include "app/transport.h"
#include "audio/audiosystem.h"
#include "audio/engine/zunaaudio.h"
#include "support/captureoutput.h"
#include "support/crossthreadcall.h"
#include "support/fixtures.h"
#include "support/heard.h"
#include "support/logrecorder.h"

using namespace zuna;

using namespace Qt::StringLiterals;

namespace {
struct Track {
    int rate = 44100;
    int channels = 2;
    qint64 frames = 0;
};

// The 16-bit value of frame `i` of track `k` on its first channel (the second has its
// negative): which track and which frame can be read back from any sample heard.
int sampleValue(int k, qint64 i)
{
    return (k + 1) * 1500 + int(i % 1000);
}

// The track a heard sample belongs to.
int trackOf(float sample)
{
    return int(std::lround(sample * 32768)) / 1500 - 1;
}

void putLe(QByteArray &out, quint32 value, int bytes)
{
    for (int b = 0; b < bytes; ++b)
        out.append(char((value >> (8 * b)) & 0xff));
}

QByteArray wavFile(int k, const Track &t)
{
    QByteArray pcm;
    for (qint64 i = 0; i < t.frames; ++i)
        for (int c = 0; c < t.channels; ++c)
            putLe(pcm, quint32(c == 0 ? sampleValue(k, i) : -sampleValue(k, i)), 2);
    QByteArray wav("RIFF");
    putLe(wav, quint32(36 + pcm.size()), 4);
    wav += "WAVEfmt ";
    putLe(wav, 16, 4);
    putLe(wav, 1, 2);  // integer PCM
    putLe(wav, quint32(t.channels), 2);
    putLe(wav, quint32(t.rate), 4);
    putLe(wav, quint32(t.rate * t.channels * 2), 4);
    putLe(wav, quint32(t.channels * 2), 2);
    putLe(wav, 16, 2);
    wav += "data";
    putLe(wav, quint32(pcm.size()), 4);
    return wav + pcm;
}

// What the speaker must play for a run: each track's samples, end to end.
std::vector<float> concatenation(const QList<Track> &tracks)
{
    std::vector<float> all;
    for (int k = 0; k < tracks.size(); ++k)
        for (qint64 i = 0; i < tracks[k].frames; ++i)
            for (int c = 0; c < tracks[k].channels; ++c)
                all.push_back(float(c == 0 ? sampleValue(k, i) : -sampleValue(k, i)) / 32768);
    return all;
}

// "track×frames" for each stretch of one track in what was heard, to read a failure by.
QString stretches(const std::vector<float> &heard, const QList<Track> &tracks)
{
    QStringList parts;
    int last = -1;
    qint64 count = 0;
    size_t at = 0;
    while (at < heard.size()) {
        const int k = trackOf(heard[at]);
        const int channels = k >= 0 && k < tracks.size() ? tracks[k].channels : 1;
        if (k != last && last >= 0) {
            parts << u"%1x%2"_s.arg(last).arg(count);
            count = 0;
        }
        last = k;
        ++count;
        at += size_t(channels);
    }
    if (last >= 0)
        parts << u"%1x%2"_s.arg(last).arg(count);
    return parts.join(u' ');
}

class Paths : public PlaylistRows {
public:
    explicit Paths(const QStringList &paths) : rows(paths) {}
    const QAbstractItemModel *model() const override { return &rows; }
    QString path(int row) const override { return rows.index(row).data().toString(); }
    TrackMetadata metadata(int) const override { return {}; }
    QStringListModel rows;
};

// The engine on its own thread, wired to the transport as the window wires them: the window's
// Playfile for each track the transport starts, and the next row at each end it is told of.
struct Player {
    explicit Player(int bufferMs)
        : capture(new CaptureDriver(CaptureDriver::Pull::ByHand, bufferMs)),
          engine(new ZUNAAudio(
              std::make_unique<AudioSystem>(std::unique_ptr<OutputDriver>(capture)), 0))
    {
        worker.start();
        engine->moveToThread(&worker);
        QObject::connect(&transport, &Transport::started, [this](const QString &path) {
            if (path.isEmpty())
                return;
            reports.requested();
            QMetaObject::invokeMethod(engine, [this, path] { engine->Playfile(path); });
        });
        QObject::connect(&requests, &EngineRequests::Queuefile, engine, &ZUNAAudio::Queuefile);
        QObject::connect(&requests, &EngineRequests::Play, engine, &ZUNAAudio::Play);
        QObject::connect(&requests, &EngineRequests::Stop, engine, &ZUNAAudio::Stop);
        QObject::connect(&requests, &EngineRequests::Stop, &reports, &TrackReports::requested);
        QObject::connect(engine, &ZUNAAudio::Finish, &transport, [this] {
            if (!reports.stale())
                transport.next();
        });
    }
    ~Player()
    {
        worker.quit();
        worker.wait();
        delete engine;
    }
    // Lets the engine take every request and notice so far, and the transport its reports.
    void settle()
    {
        for (int round = 0; round < 3; ++round) {
            CrossThreadCall(engine).run([] {});
            QCoreApplication::processEvents();
        }
    }
    // Starts the first row and plays `frames` (past the first track's end, into the one
    // joined to it), then waits until the engine has taken that end and before the window
    // (this thread) has heard of it: the moment between a join and its confirmation.
    void playIntoTheJoin(const Paths &list, size_t frames)
    {
        std::atomic<bool> ended{false};
        const QMetaObject::Connection watch = QObject::connect(
            engine, &ZUNAAudio::Finish, engine, [&ended] { ended = true; }, Qt::DirectConnection);
        transport.choose(&list, 0);
        settle();
        capture->pump(frames);
        while (!ended)
            CrossThreadCall(engine).run([] {});
        QObject::disconnect(watch);
    }
    // Plays the playlist from its first row, `step` frames at a time, until its last track
    // has ended (or the speaker has played `limit` frames' time).
    void playAll(Paths &list, size_t step, size_t limit)
    {
        transport.choose(&list, 0);
        settle();
        playOn(list, step, limit);
    }
    void playOn(Paths &list, size_t step, size_t limit)
    {
        const int last = list.rows.rowCount() - 1;
        for (size_t played = 0; played < limit; played += step) {
            capture->pump(step);
            settle();
            monitor();
            if (transport.row() == last && transport.playback() == EngineReports::Playback::Stopped)
                break;
        }
    }
    // Runs the engine's monitor; a position it reports must be of the track heard last, and
    // (as only Playfile begins a generation here) the n-th Playfile's track is the n-1-th row.
    void monitor()
    {
        const std::vector<float> heard = capture->takeSamples();
        samples.insert(samples.end(), heard.begin(), heard.end());
        const qsizetype before = positions.size();
        CrossThreadCall(engine).run([this] { engine->Timeout(); });
        QCoreApplication::processEvents();
        for (qsizetype i = before; i < positions.size(); ++i) {
            const int track = int(positions[i].at(0).toULongLong()) - 1;
            // Every track is in stereo: the last frame's first sample.
            if (samples.size() < 2 || trackOf(samples[samples.size() - 2]) != track)
                misplaced << u"%1 ms of %2"_s.arg(positions[i].at(1).toUInt()).arg(track);
        }
    }

    QThread worker;
    CaptureDriver *capture;
    ZUNAAudio *engine;
    EngineReports *engineReports = engine->reports();
    EngineRequests requests;
    TrackReports reports{engineReports};
    Transport transport{&requests, &reports};
    LogRecorder log;
    std::vector<float> samples;  // heard so far
    Heard positions{engineReports, &EngineReports::Position};
    QStringList misplaced;  // positions reported of another track than the one heard
};
}  // namespace

class TestTrackRuns : public QObject {
    Q_OBJECT
    QTemporaryDir scratch;

    // Writes the tracks as files; their paths in order.
    QStringList write(const QList<Track> &tracks, const QString &prefix)
    {
        QStringList paths;
        for (int k = 0; k < tracks.size(); ++k) {
            const QString path =
                writeScratchFile(scratch, u"%1-%2.wav"_s.arg(prefix).arg(k, 2, 10, QChar(u'0')),
                                 wavFile(k, tracks[k]));
            if (path.isEmpty())
                qFatal("cannot write a track");
            paths << path;
        }
        return paths;
    }

private slots:
    void everyTrackIsHeardOnceInOrder_data()
    {
        QTest::addColumn<int>("bufferMs");
        QTest::addColumn<bool>("rateAlternates");
        for (const int buffer : {20, 500}) {
            QTest::addRow("one format, %d ms buffer", buffer) << buffer << false;
            QTest::addRow("alternating rates, %d ms buffer", buffer) << buffer << true;
        }
    }

    // One frame, 10, 50, 100, 300 ms and a second, with an empty file among them: heard end
    // to end as they are, each once; the empty one passed over; one line asking for each file
    // and one telling of each end, in the order they have always come.
    void everyTrackIsHeardOnceInOrder()
    {
        QFETCH(int, bufferMs);
        QFETCH(bool, rateAlternates);
        const double lengthsMs[] = {0, 10, 50, 0, 100, 300, 0, 1000, 10, 50, 0, 100, 300, 10};
        QList<Track> tracks;
        for (const double ms : lengthsMs) {
            Track t;
            t.rate = rateAlternates && tracks.size() % 2 ? 22050 : 44100;
            t.frames = ms > 0 ? qint64(ms * t.rate / 1000) : 1;
            tracks << t;
        }
        tracks[6].frames = 0;  // empty
        const QStringList paths =
            write(tracks, QString::number(bufferMs) + (rateAlternates ? u"a"_s : u"s"_s));
        Paths list(paths);
        Player player(bufferMs);
        player.playAll(list, 441, size_t(44100) * 20);

        player.monitor();
        const std::vector<float> &heard = player.samples;
        const std::vector<float> expected = concatenation(tracks);
        QVERIFY2(heard == expected, qPrintable(u"heard: "_s + stretches(heard, tracks)));
        QStringList lines;
        for (int k = 0; k < tracks.size(); ++k) {
            lines << u"Event: Playfile( \"%1\" )"_s.arg(paths[k]);
            if (tracks[k].frames > 0)
                lines << u"Send event: Finish"_s;
        }
        QCOMPARE(player.log.lines(), lines);
        QVERIFY2(player.misplaced.isEmpty(), qPrintable(player.misplaced.mid(0, 8).join(u", ")));
        QVERIFY(player.positions.size() > 5);
    }

    void aDeletedNextRowEndsTheTrackJoinedToIt_data()
    {
        QTest::addColumn<bool>("rowAfter");
        QTest::newRow("nothing after it") << false;
        QTest::newRow("another row after it") << true;
    }

    // The next row is deleted just as the track before it ends: the channel has gone on into
    // its file, and the window, told of the end, starts the row after it or nothing. The
    // deleted row's audio stops at once; with nothing after it the engine is idle, and Play
    // starts the last file asked for again.
    void aDeletedNextRowEndsTheTrackJoinedToIt()
    {
        QFETCH(bool, rowAfter);
        const QList<Track> tracks = {{44100, 2, 13230}, {44100, 2, 44100}, {44100, 2, 4410}};
        QStringList paths = write(tracks, rowAfter ? u"deleted-then"_s : u"deleted-last"_s);
        if (!rowAfter)
            paths.removeLast();
        Paths list(paths);
        Player player(20);
        player.playIntoTheJoin(list, 13230 + 2000);  // into the next file by 2,000 frames
        list.rows.removeRows(1, 1);
        player.settle();
        player.playOn(list, 441, 44100);

        QList<Track> heard = {tracks[0], {44100, 2, 2000}};
        QStringList lines = {u"Event: Playfile( \"%1\" )"_s.arg(paths[0]), u"Send event: Finish"_s};
        if (rowAfter) {
            heard << tracks[2];
            lines << u"Event: Playfile( \"%1\" )"_s.arg(paths[2]) << u"Send event: Finish"_s;
        }
        const std::vector<float> expected = concatenation(heard);
        player.monitor();
        QVERIFY2(player.samples == expected, qPrintable(stretches(player.samples, tracks)));
        QCOMPARE(player.log.lines(), lines);
        QVERIFY(!player.capture->isOpen());
        QCOMPARE(player.transport.playback(), EngineReports::Playback::Stopped);
        if (rowAfter)
            return;
        player.transport.play();
        player.settle();
        QCOMPARE(player.transport.playback(), EngineReports::Playback::Playing);
        player.capture->pump(13230);
        QVERIFY(player.capture->takeSamples() == concatenation({tracks[0]}));
    }

    // Pause is pressed just as a short track has led into the next, before the window knows
    // of the end: the track heard stops, and Play goes on with it where it stopped.
    void aPauseAsOneTrackLeadsIntoTheNextPausesTheOneHeard()
    {
        const QList<Track> tracks = {{44100, 2, 4410}, {44100, 2, 13230}};
        const QStringList paths = write(tracks, u"paused"_s);
        Paths list(paths);
        Player player(20);
        player.playIntoTheJoin(list, 4410 + 1000);
        CrossThreadCall(player.engine).run([e = player.engine] { e->Pause(); });
        QCOMPARE(player.capture->pump(4410), size_t(0));
        player.settle();  // the window takes the end and asks for the next file
        QCOMPARE(player.transport.playback(), EngineReports::Playback::Paused);
        player.transport.play();
        player.playOn(list, 441, 44100);
        player.monitor();
        QVERIFY2(player.samples == concatenation(tracks),
                 qPrintable(stretches(player.samples, tracks)));
        QCOMPARE(player.log.lines().filter(u"Send event: Finish"_s).size(), 2);
    }

    // The next file is named and taken back just as the channel may be decoding it behind
    // the track playing, at one moment after another: nothing of it is heard, the track is
    // heard whole each time.
    void aNextFileTakenBackMidDecodeLeavesNothing()
    {
        const QList<Track> tracks = {{44100, 2, 2205}, {44100, 2, 44100}};
        const QStringList paths = write(tracks, u"taken-back"_s);
        Paths list({paths[0]});
        Player player(20);
        for (int round = 0; round < 60; ++round) {
            player.transport.choose(&list, 0);
            player.settle();
            CrossThreadCall(player.engine).run([e = player.engine, &paths, round] {
                e->Queuefile(paths[1]);
                QThread::usleep(ulong(round % 30) * 5);  // the feeder somewhere in a chunk of it
                e->Queuefile(QString());
            });
            player.playOn(list, 441, 44100);
            player.monitor();
            const std::vector<float> heard = std::exchange(player.samples, {});
            QVERIFY2(heard == concatenation({tracks[0]}),
                     qPrintable(u"round %1: "_s.arg(round) + stretches(heard, tracks)));
        }
    }
};

QTEST_GUILESS_MAIN(TestTrackRuns)
#include "tst_trackruns.moc"
