// The playback engine on a real worker thread, as the window runs it, playing into a
// capture device: what reaches the speaker, the monitor's reports and the log lines.

#include <QtTest>
#include <atomic>

#include "audio/audiosystem.h"
#include "audio/engine/zunaaudio.h"
#include "support/captureoutput.h"
#include "support/crossthreadcall.h"
#include "support/fixtures.h"
#include "support/heard.h"
#include "support/logrecorder.h"
#include "support/timescale.h"
#include "support/toneanalysis.h"

using namespace zuna;

using namespace Qt::StringLiterals;

namespace {
// The engine on its own thread as in the player, without its monitor timer: the test runs
// it. The capture device is pumped by hand unless told to pull on a thread of its own.
struct Rig {
    explicit Rig(CaptureDriver::Pull pull = CaptureDriver::Pull::ByHand, int bufferMs = 0)
        : capture(new CaptureDriver(pull, bufferMs)),
          engine(new ZUNAAudio(
              std::make_unique<AudioSystem>(std::unique_ptr<OutputDriver>(capture)), 0))
    {
        worker.start();
        engine->moveToThread(&worker);
    }
    ~Rig()
    {
        worker.quit();
        worker.wait();
        delete engine;
    }
    // Runs `request` on the engine's thread and lets the engine do what it put off behind
    // it (a track is opened once the requests waiting before it are taken), then takes in
    // what the engine reported meanwhile.
    void run(const std::function<void(ZUNAAudio *)> &request)
    {
        CrossThreadCall(engine).run([this, &request] { request(engine); });
        CrossThreadCall(engine).run([] {});
        QCoreApplication::processEvents();
    }
    void play(const QString &file)
    {
        run([path = fixturePath(file)](ZUNAAudio *e) { e->Playfile(path); });
    }
    size_t pump(size_t frames) { return capture->pump(frames); }
    // Plays `frames` more and runs the monitor: the last position reported.
    uint after(size_t frames)
    {
        pump(frames);
        run(&ZUNAAudio::Timeout);
        return ticks.isEmpty() ? 0 : ticks.last().at(0).toUInt();
    }
    // The peak of what plays next, once a volume or mute change has glided in.
    double level()
    {
        pump(2048);
        capture->takeSamples();
        pump(4410);
        return peakOf(capture->takeSamples());
    }
    std::vector<float> drain()
    {
        while (pump(8192) > 0) {
        }
        return capture->takeSamples();
    }

    QThread worker;
    CaptureDriver *capture;
    ZUNAAudio *engine;
    Heard ticks{engine, &ZUNAAudio::Tick};
    Heard finished{engine, &ZUNAAudio::Finish};
    LogRecorder log;
};
}  // namespace

class TestEngine : public QObject {
    Q_OBJECT

private slots:
    void logsEachRequestWordForWord()
    {
        Rig h;
        const QStringList files = {u"cbr-440.mp3"_s, u"flac16-880.flac"_s};
        h.play(files[0]);
        h.play(files[1]);  // replaces a playing track: still one line per request
        for (auto slot : {&ZUNAAudio::Play, &ZUNAAudio::Pause, &ZUNAAudio::Stop, &ZUNAAudio::Loop,
                          &ZUNAAudio::Mute, &ZUNAAudio::Timeout})
            h.run(slot);
        h.run([](ZUNAAudio *e) { e->Setvolume(40); });
        h.run([](ZUNAAudio *e) { e->Setprogress(10); });
        QCOMPARE(h.log.lines(),
                 QStringList({u"Event: Playfile( \"%1\" )"_s.arg(fixturePath(files[0])),
                              u"Event: Playfile( \"%1\" )"_s.arg(fixturePath(files[1])),
                              u"Event: Play"_s, u"Event: Pause"_s, u"Event: Stop"_s,
                              u"Event: Loop"_s, u"Event: Mute"_s}));
    }

    void volumeAndMuteAreTheUsersSettings()
    {
        Rig h;
        Heard muted(h.engine, &ZUNAAudio::IsMuted);
        const auto heardAt = [&h](double level) { return qAbs(h.level() - level) < 0.01; };
        h.run(&ZUNAAudio::Mute);  // before any track too, keeping full volume to restore
        QCOMPARE(h.engine->Getvolume(), 1.0f);
        h.play(u"flac16-880.flac"_s);
        QCOMPARE(h.level(), 0.0);
        h.run(&ZUNAAudio::Mute);
        QVERIFY(heardAt(0.5));
        h.run([](ZUNAAudio *e) { e->Setvolume(50); });
        QVERIFY(heardAt(0.25));
        // Muted as the window does it (the volume slider drops to 0): silence while the
        // position runs on, through a track change; unmuting brings the level back.
        h.run(&ZUNAAudio::Mute);
        h.run([](ZUNAAudio *e) { e->Setvolume(0); });
        QCOMPARE(h.level(), 0.0);
        QVERIFY(h.after(0) >= 585);  // 4 levels of 6458 frames heard, muted or not
        h.play(u"cbr-440.mp3"_s);
        QCOMPARE(h.level(), 0.0);
        h.run(&ZUNAAudio::Mute);
        QCOMPARE(h.engine->Getvolume(), 0.5f);  // the level before muting, for the slider
        h.run([](ZUNAAudio *e) { e->Setvolume(50); });
        QVERIFY(qAbs(h.level() - 0.25) < 0.02);
        QCOMPARE(muted, QList<QVariantList>({{true}, {false}, {true}, {false}}));
        h.run(&ZUNAAudio::Stop);  // and it holds across a stop and a track's end
        h.play(u"short-50ms.flac"_s);
        h.drain();
        h.play(u"flac16-880.flac"_s);
        QVERIFY(heardAt(0.25));
    }

    // A sound card may take its first block the moment a track is let go: by then the
    // user's level must be in force, not reach the speaker a block late.
    void aNewTracksFirstSamplesAreAtTheUsersLevel()
    {
        Rig h(CaptureDriver::Pull::OwnThread);
        const auto firstBlockPeak = [&h] {
            h.run(&ZUNAAudio::Stop);
            h.capture->takeSamples();
            h.play(u"flac16-880.flac"_s);
            return peakOf(sliceFrames(h.capture->takeSamples(), 2, 0, 512));
        };
        h.run([](ZUNAAudio *e) { e->Setvolume(20); });
        QVERIFY(qAbs(firstBlockPeak() - 0.1) < 0.01);
        h.run(&ZUNAAudio::Mute);
        QCOMPARE(firstBlockPeak(), 0.0);
    }

    // The window reads step and saved volume on its own thread, while the engine may be
    // starting another file or muting: the values must be whole, whenever read.
    void stepAndVolumeAreSafeToReadWhileTracksChange()
    {
        Rig h;
        ZUNAAudio *engine = h.engine;
        std::atomic<bool> reading{false}, done{false};
        // One request after the other, each track started before the next is asked for.
        std::function<void(int)> change = [&](int i) {
            engine->Setvolume(i % 2 ? 30 : 70);
            engine->Mute();
            engine->Playfile(fixturePath(i % 2 ? u"long-6s-8k.flac"_s : u"cbr-440.mp3"_s));
            if (i < 100)
                QMetaObject::invokeMethod(
                    engine, [&change, i] { change(i + 1); }, Qt::QueuedConnection);
            else
                QMetaObject::invokeMethod(
                    engine, [&done] { done = true; }, Qt::QueuedConnection);
        };
        QMetaObject::invokeMethod(engine, [&] {
            while (!reading)  // until the reads are under way
                QThread::yieldCurrentThread();
            change(1);
        });
        QSet<quint32> steps;
        QSet<float> volumes;
        for (const QDeadlineTimer limit(scaledMs(10000)); !done && !limit.hasExpired();) {
            reading = true;
            steps.insert(engine->Getstep());
            volumes.insert(engine->Getvolume());
        }
        QVERIFY(done);
        QVERIFY(steps.contains(30) && steps.contains(60));  // 3000 and 6000 ms tracks
        QVERIFY(QSet<quint32>({0, 30, 60}).contains(steps));
        QVERIFY(QSet<float>({1.0f, 0.3f, 0.7f}).contains(volumes));
    }

    // The window counts the Playfile and Stop requests it sends and drops reports stamped
    // lower: the engine begins a generation with each one it takes, whatever it does with it
    // (a Stop while idle, a Playfile that carries on with a join), says so at once, and stamps
    // everything it reports with it. Nothing else begins one.
    void eachPlayfileAndStopBeginsAGeneration()
    {
        Rig h;
        Heard playback(h.engine->reports(), &EngineReports::PlaybackChanged);
        Heard position(h.engine->reports(), &EngineReports::Position);
        Heard unplayable(h.engine->reports(), &EngineReports::Unplayable);
        Heard ended(h.engine->reports(), &EngineReports::Ended);
        const auto stamp = [](const Heard &heard) { return heard.last().at(0).toULongLong(); };
        h.run(&ZUNAAudio::Stop);
        QCOMPARE(stamp(playback), 1u);
        h.play(u"long-6s-8k.flac"_s);
        QCOMPARE(stamp(playback), 2u);
        for (auto request : {&ZUNAAudio::Pause, &ZUNAAudio::Play, &ZUNAAudio::Mute})
            h.run(request);
        h.run([](ZUNAAudio *e) { e->Setprogress(10); });
        QCOMPARE(h.after(800), 700u);
        QCOMPARE(position.last(), QVariantList({2u, 700u}));
        QCOMPARE(stamp(playback), 2u);
        QCOMPARE(playback.size(), 4);  // stopped, playing, paused, playing
        h.play(u"not-audio.mp3"_s);
        QCOMPARE(stamp(unplayable), 3u);
        QCOMPARE(stamp(playback), 3u);
        h.play(u"join-a.flac"_s);
        h.run([](ZUNAAudio *e) { e->Queuefile(fixturePath(u"join-b.flac"_s)); });
        h.pump(size_t(fixture(u"join-a.flac"_s).frames) + 1000);
        QTRY_COMPARE_WITH_TIMEOUT(h.finished.size(), 1, scaledMs(5000));
        QCOMPARE(stamp(ended), 4u);
        h.play(u"join-b.flac"_s);
        QCOMPARE(stamp(playback), 5u);
    }

    void pauseFreezesAndSetprogressSeeksByValueTimesStep()
    {
        Rig h;
        h.play(u"long-6s-8k.flac"_s);  // 8 frames a ms, a step of 60 ms
        QCOMPARE(h.engine->Getstep(), 60u);
        QCOMPARE(h.after(4000), 500u);
        h.run(&ZUNAAudio::Pause);
        QCOMPARE(h.pump(800), size_t(0));
        h.after(0);  // a position that has not moved is not reported again
        QCOMPARE(h.ticks.size(), 1);
        h.run(&ZUNAAudio::Play);  // resumes where it paused
        QCOMPARE(h.pump(800), size_t(800));
        QCOMPARE(h.after(0), 600u);
        h.run([](ZUNAAudio *e) { e->Setprogress(50); });
        QCOMPARE(h.after(0), 3000u);
        QCOMPARE(h.after(8000), 4000u);
        h.play(u"short-50ms.flac"_s);  // below 100 ms a track has no step: seeks go to the start
        h.pump(441);
        h.run([](ZUNAAudio *e) { e->Setprogress(50); });
        QCOMPARE(h.pump(100000), size_t(2205));
        for (int round = 1; round <= 2; ++round) {  // played again, its first second again
            h.play(u"long-6s-8k.flac"_s);
            QCOMPARE(h.after(8000), 1000u);
            QCOMPARE(h.ticks.size(), 4 + round);
        }
    }

    void nearEndThenEndReportedOnceAfterTheRelease()
    {
        Rig h;
        Heard nearEnd(h.engine, &ZUNAAudio::AbouthFinish);
        bool closedFirst = false;
        QObject::connect(
            h.engine, &ZUNAAudio::Finish, h.engine, [&] { closedFirst = !h.capture->isOpen(); },
            Qt::DirectConnection);
        h.play(u"long-6s-8k.flac"_s);  // 6000 ms at 8 frames a ms
        // Frames to play, and whether the 5001, 5000, 4500, 4000, 3999 ms left are reported.
        const std::pair<size_t, int> steps[] = {{7992, 0}, {8, 1}, {4000, 1}, {4000, 1}, {8, 0}};
        for (const auto &[frames, reports] : steps) {
            const qsizetype before = nearEnd.size();
            h.after(frames);
            QCOMPARE(nearEnd.size() - before, reports);
        }
        QCOMPARE(h.log.lines().count(u"Send event: Abouth Finish"_s), 3);
        QCOMPARE(h.pump(100000), size_t(48000 - 16008));
        const qsizetype ticks = h.ticks.size();
        // Reported once its last frame has been heard, not at the monitor's next call.
        QTRY_VERIFY_WITH_TIMEOUT(!h.finished.isEmpty(), scaledMs(5000));
        h.after(0);
        QVERIFY(h.finished.size() == 1 && closedFirst);
        QCOMPARE(h.ticks.size(), ticks);    // none in the call that reports the end
        QCOMPARE(h.pump(4410), size_t(0));  // and silence after it
        QCOMPARE(h.log.lines().count(u"Send event: Finish"_s), 1);
    }

    void aQueuedTrackFollowsWithoutAGap_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("outputs");
        QTest::newRow("FLAC") << u"join-a.flac"_s << u"join-b.flac"_s << 1;
        QTest::newRow("MP3, gapless headers") << u"join-a.mp3"_s << u"join-b.mp3"_s << 1;
        QTest::newRow("Opus, pre-skip and end trimming")
            << u"join-a.opus"_s << u"join-b.opus"_s << 1;
        QTest::newRow("AAC, edit lists") << u"join-a.m4a"_s << u"join-b.m4a"_s << 1;
        QTest::newRow("formats differ") << u"two-a-1200.flac"_s << u"flac16-880.flac"_s << 2;
    }

    // The file named ahead follows the last frame of the one before with its first: what is
    // heard is each file played on its own, end to end; of another format, on its own output.
    void aQueuedTrackFollowsWithoutAGap()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, outputs);
        std::vector<float> expected;
        for (const QString &file : {first, second}) {
            Rig alone;
            alone.play(file);
            const std::vector<float> samples = alone.drain();
            expected.insert(expected.end(), samples.begin(), samples.end());
        }
        Rig h;
        h.play(first);
        h.run([&](ZUNAAudio *e) { e->Queuefile(fixturePath(second)); });
        h.pump(size_t(fixture(first).frames) + 1000);  // into the second where it joined
        QTRY_COMPARE_WITH_TIMEOUT(h.finished.size(), 1, scaledMs(5000));
        h.play(second);  // the window's answer to the end: it carries on
        QVERIFY(h.drain() == expected);
        QCOMPARE(h.capture->outputsOpened(), outputs);
        QCOMPARE(h.log.lines().filter(u"Event: Playfile"_s).size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(h.finished.size(), 2, scaledMs(5000));
    }

    // Taken back once the channel has gone on decoding into it, the next file leaves nothing
    // of itself behind: the first plays to its last frame, then silence.
    void aQueuedTrackTakenBackLeavesNothing()
    {
        Rig h;
        h.play(u"join-a.flac"_s);
        h.run([](ZUNAAudio *e) { e->Queuefile(fixturePath(u"join-b.flac"_s)); });
        const size_t first = size_t(fixture(u"join-a.flac"_s).frames);
        QCOMPARE(h.pump(first - 2000), first - 2000);
        // The feeder decodes half a second ahead on a thread of its own: it is into the next
        // file by the time the 2,000 frames left of the first are all it has to go.
        QThread::msleep(uint(scaledMs(100)));
        h.run([](ZUNAAudio *e) { e->Queuefile(QString()); });
        QCOMPARE(h.drain().size(), first * 2);  // all recorded: the first file's frames, stereo
    }

    // A sound server plays what it holds from before a seek after it: those frames are no
    // part of the new place, which is where the seek was sent until new ones come through.
    void aSeekIsWhereItWasSentWhileTheDeviceStillPlaysWhatCameBefore()
    {
        Rig h(CaptureDriver::Pull::ByHand, 500);
        h.play(u"long-6s-8k.flac"_s);  // 8 frames a ms: the device holds 4,000
        QCOMPARE(h.after(8000), 1000u);
        h.run([](ZUNAAudio *e) { e->Setposition(3000); });
        QCOMPARE(h.after(40), 3000u);  // the device's first step: only frames from before
    }

    void unplayableFileLeavesTheEngineIdle()
    {
        Rig h;
        h.run(&ZUNAAudio::Play);  // nothing opened yet
        for (const QString &bad : {u"not-audio.mp3"_s, u"missing.mp3"_s, QString()}) {
            h.play(bad);  // the last, the fixtures' folder
            h.after(0);
            QVERIFY(!h.capture->isOpen());
        }
        h.run(&ZUNAAudio::Pause);
        h.run(&ZUNAAudio::Play);
        QCOMPARE(h.finished.size() + h.ticks.size(), 0);
        h.play(u"two-b-1500.flac"_s);  // the next file plays
        QCOMPARE(h.pump(100000), size_t(22050));
    }

    // A media key held down sends request after request faster than files open: the engine
    // opens only the last file of those already waiting. The others cost their line and
    // their report, and what was asked of the last meanwhile (a seek, a pause) holds.
    void requestsWaitingBehindALaterOneCostOnlyTheirLine()
    {
        Rig h;
        Heard playback(h.engine->reports(), &EngineReports::PlaybackChanged);
        h.run([](ZUNAAudio *e) {  // all sent before the engine takes the first
            const auto send = [e](auto request) {
                QMetaObject::invokeMethod(e, request, Qt::QueuedConnection);
            };
            for (const QString &file : {u"cbr-440.mp3"_s, u"flac16-880.flac"_s}) {
                send([e, path = fixturePath(file)] { e->Playfile(path); });
                send([e] { e->Stop(); });
            }
            send([e] { e->Playfile(fixturePath(u"long-6s-8k.flac"_s)); });
            send([e] { e->Setposition(3000); });
            send([e] { e->Pause(); });
        });
        h.run([](ZUNAAudio *) {});  // behind the requests, what they put off
        QCOMPARE(h.log.lines().size(), 6);
        QCOMPARE(h.capture->outputsOpened(), 1);
        QCOMPARE(h.pump(800), size_t(0));  // paused as asked
        using Playback = EngineReports::Playback;
        QList<QVariantList> reported;
        for (quint64 generation = 1; generation <= 4; ++generation)
            reported.append({generation, QVariant::fromValue(Playback::Stopped)});
        reported.append({5u, QVariant::fromValue(Playback::Paused)});
        QCOMPARE(playback, reported);
        h.run(&ZUNAAudio::Play);
        QCOMPARE(h.after(800), 3100u);  // from where it was sent
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
