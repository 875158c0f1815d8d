// The playback engine on a real worker thread, as the window runs it, playing into a
// capture device: what reaches the speaker, the monitor's reports and the log lines.

#include <QtTest>
#include <atomic>

#include "support/engineharness.h"
#include "support/fixtures.h"
#include "support/heard.h"
#include "support/logrecorder.h"
#include "support/timescale.h"
#include "support/toneanalysis.h"

using namespace Qt::StringLiterals;

namespace {
struct Rig : EngineHarness {
    using EngineHarness::EngineHarness;
    Heard ticks{engine(), &ZUNAAudio::Tick};
    Heard finished{engine(), &ZUNAAudio::Finish};
    LogRecorder log;

    void play(const char *file) { playfile(fixturePath(QString::fromLatin1(file))); }
    void volume(int value)
    {
        run([value](ZUNAAudio *e) { e->Setvolume(value); });
    }
    size_t pump(size_t frames) { return capture()->pump(frames); }
    uint lastTick() const { return ticks.isEmpty() ? 0 : ticks.last().at(0).toUInt(); }
    // The peak of what plays next, once a volume or mute change has glided in.
    double level()
    {
        pump(2048);
        capture()->takeSamples();
        pump(4410);
        return peakOf(capture()->takeSamples());
    }
};
}  // namespace

class TestEngine : public QObject {
    Q_OBJECT

private slots:
    void logsEachRequestWordForWord()
    {
        Rig h;
        const QString a = fixturePath(u"cbr-440.mp3"_s), b = fixturePath(u"flac16-880.flac"_s);
        h.playfile(a);
        h.playfile(b);  // replaces a playing track: still one line per request
        for (auto slot : {&ZUNAAudio::Play, &ZUNAAudio::Pause, &ZUNAAudio::Stop, &ZUNAAudio::Loop,
                          &ZUNAAudio::Mute, &ZUNAAudio::Timeout})
            h.run(slot);
        h.volume(40);
        h.run([](ZUNAAudio *e) { e->Setprogress(10); });
        QCOMPARE(h.log.lines(), QStringList({u"Event: Playfile( \"%1\" )"_s.arg(a),
                                             u"Event: Playfile( \"%1\" )"_s.arg(b),
                                             u"Event: Play"_s, u"Event: Pause"_s, u"Event: Stop"_s,
                                             u"Event: Loop"_s, u"Event: Mute"_s}));
    }

    void volumeAndMuteAreTheUsersSettings()
    {
        Rig h;
        Heard muted(h.engine(), &ZUNAAudio::IsMuted);
        // Before any track, Mute flips and reports too, keeping full volume to restore.
        h.run(&ZUNAAudio::Mute);
        QCOMPARE(h.engine()->Getvolume(), 1.0f);
        h.play("flac16-880.flac");
        QCOMPARE(h.level(), 0.0);
        h.run(&ZUNAAudio::Mute);
        QVERIFY(qAbs(h.level() - 0.5) < 0.01);
        h.volume(50);
        QVERIFY(qAbs(h.level() - 0.25) < 0.01);
        // Muted as the window does it (the volume slider drops to 0): silence while the
        // position runs on, through a track change; unmuting brings the level back.
        h.run(&ZUNAAudio::Mute);
        h.volume(0);
        QCOMPARE(h.level(), 0.0);
        h.timeout();
        QVERIFY(h.lastTick() >= 585);  // 4 levels of 6458 frames heard, muted or not
        QCOMPARE(h.engine()->Getvolume(), 0.5f);
        h.play("cbr-440.mp3");
        QCOMPARE(h.level(), 0.0);
        h.run(&ZUNAAudio::Mute);
        h.volume(50);
        QVERIFY(qAbs(h.level() - 0.25) < 0.02);
        QCOMPARE(muted, QList<QVariantList>({{true}, {false}, {true}, {false}}));
        // The level holds across a stop and the next track too.
        h.run(&ZUNAAudio::Stop);
        h.play("flac16-880.flac");
        QVERIFY(qAbs(h.level() - 0.25) < 0.01);
    }

    // A sound card may take its first block the moment a track is let go: by then the
    // user's level must be in force, not reach the speaker a block late.
    void aNewTracksFirstSamplesAreAtTheUsersLevel()
    {
        Rig h(CaptureDriver::Pull::OwnThread);
        const auto firstBlockPeak = [&h](const char *file) {
            h.run(&ZUNAAudio::Stop);
            h.capture()->takeSamples();
            h.play(file);
            return peakOf(sliceFrames(h.capture()->takeSamples(), 2, 0, 512));
        };
        h.volume(20);
        QVERIFY(qAbs(firstBlockPeak("flac16-880.flac") - 0.1) < 0.01);
        h.run(&ZUNAAudio::Mute);
        QCOMPARE(firstBlockPeak("flac16-880.flac"), 0.0);
    }

    // The window reads step and saved volume on its own thread, while the engine may be
    // starting another file or muting: the values must be whole, whenever read.
    void stepAndVolumeAreSafeToReadWhileTracksChange()
    {
        Rig h;
        const QString files[] = {fixturePath(u"cbr-440.mp3"_s), fixturePath(u"long-6s-8k.flac"_s)};
        std::atomic<bool> reading{false}, done{false};
        ZUNAAudio *engine = h.engine();
        // The engine waits until the reads are under way, then changes track 100 times.
        QMetaObject::invokeMethod(engine, [&reading] {
            while (!reading)
                QThread::yieldCurrentThread();
        });
        for (int i = 0; i < 100; ++i) {
            QMetaObject::invokeMethod(engine, [engine, i, path = files[i % 2]] {
                engine->Setvolume(i % 2 ? 30 : 70);
                engine->Mute();
                engine->Playfile(path);
            });
        }
        QMetaObject::invokeMethod(engine, [&done] { done = true; });
        QElapsedTimer clock;
        clock.start();
        QSet<quint32> steps;
        QSet<float> volumes;
        while (!done && clock.elapsed() < scaledMs(10000)) {
            reading = true;
            steps.insert(engine->Getstep());
            volumes.insert(engine->Getvolume());
        }
        QVERIFY(done);
        QVERIFY(steps.contains(30) && steps.contains(60));  // 3000 and 6000 ms tracks
        QVERIFY(QSet<quint32>({0, 30, 60}).contains(steps));
        QVERIFY(QSet<float>({1.0f, 0.3f, 0.7f}).contains(volumes));
    }

    void pauseFreezesAndSetprogressSeeksByValueTimesStep()
    {
        Rig h;
        h.play("long-6s-8k.flac");  // 8 frames a ms, a step of 60 ms
        QCOMPARE(h.engine()->Getstep(), 60u);
        h.pump(4000);
        h.timeout();
        QCOMPARE(h.lastTick(), 500u);
        h.run(&ZUNAAudio::Pause);
        QCOMPARE(h.pump(800), size_t(0));
        h.timeout();  // a position that has not moved is not reported again
        QCOMPARE(h.ticks.size(), 1);
        h.run(&ZUNAAudio::Play);  // resumes where it paused
        QCOMPARE(h.pump(800), size_t(800));
        h.timeout();
        QCOMPARE(h.lastTick(), 600u);

        h.run([](ZUNAAudio *e) { e->Setprogress(50); });
        h.timeout();
        QCOMPARE(h.lastTick(), 3000u);
        h.pump(8000);
        h.timeout();
        QCOMPARE(h.lastTick(), 4000u);
        // Below 100 ms a track has no step: every seek lands at the start.
        h.play("short-50ms.flac");
        h.pump(441);
        h.run([](ZUNAAudio *e) { e->Setprogress(50); });
        QCOMPARE(h.pump(100000), size_t(2205));
        // A file played again reports its first second again.
        for (int round = 1; round <= 2; ++round) {
            h.play("long-6s-8k.flac");
            h.pump(8000);
            h.timeout();
            QCOMPARE(h.ticks.size(), 4 + round);
            QCOMPARE(h.lastTick(), 1000u);
        }
    }

    void nearEndThenEndReportedOnceAfterTheRelease()
    {
        Rig h;
        Heard nearEnd(h.engine(), &ZUNAAudio::AbouthFinish);
        bool closedFirst = false;
        QObject::connect(
            h.engine(), &ZUNAAudio::Finish, h.engine(),
            [&] { closedFirst = !h.capture()->isOpen(); }, Qt::DirectConnection);
        h.play("long-6s-8k.flac");  // 6000 ms at 8 frames a ms
        // Frames to play, and whether the 5001, 5000, 4500, 4000, 3999 ms left are reported.
        const std::pair<size_t, int> steps[] = {{7992, 0}, {8, 1}, {4000, 1}, {4000, 1}, {8, 0}};
        for (const auto &[frames, reports] : steps) {
            const qsizetype before = nearEnd.size();
            h.pump(frames);
            h.timeout();
            QCOMPARE(nearEnd.size() - before, reports);
        }
        QCOMPARE(h.log.lines().count(u"Send event: Abouth Finish"_s), 3);

        QCOMPARE(h.pump(100000), size_t(48000 - 16008));
        const qsizetype ticks = h.ticks.size();
        // Reported once its last frame has been heard, not at the monitor's next call.
        QVERIFY(h.waitFor([&] { return !h.finished.isEmpty(); }));
        h.timeout();
        QCOMPARE(h.finished.size(), 1);
        QVERIFY(closedFirst);
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
        QTest::newRow("formats differ") << u"two-a-1200.flac"_s << u"flac16-880.flac"_s << 2;
    }

    // The next file named ahead follows the last frame of the one before with its first:
    // what reaches the speaker is each file decoded on its own, end to end. Of another
    // format, it plays whole on an output of its own.
    void aQueuedTrackFollowsWithoutAGap()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, outputs);
        std::vector<float> expected;
        for (const QString &file : {first, second}) {
            Rig alone;
            alone.playfile(fixturePath(file));
            while (alone.pump(8192) > 0) {
            }
            const std::vector<float> samples = alone.capture()->takeSamples();
            expected.insert(expected.end(), samples.begin(), samples.end());
        }
        Rig h;
        h.playfile(fixturePath(first));
        h.run([&](ZUNAAudio *e) { e->Queuefile(fixturePath(second)); });
        h.pump(size_t(fixture(first).frames) + 1000);  // into the second where it joined
        QVERIFY(h.waitFor([&] { return h.finished.size() == 1; }));
        // The window's answer to the end: the engine carries on with what plays already.
        h.playfile(fixturePath(second));
        while (h.pump(8192) > 0) {
        }
        QVERIFY(h.capture()->takeSamples() == expected);
        QCOMPARE(h.capture()->outputsOpened(), outputs);
        QCOMPARE(h.log.lines().filter(u"Event: Playfile"_s).size(), 2);
        QVERIFY(h.waitFor([&] { return h.finished.size() == 2; }));
    }

    void unplayableFileLeavesTheEngineIdle()
    {
        Rig h;
        h.run(&ZUNAAudio::Play);                                        // nothing opened yet
        for (const char *bad : {"not-audio.mp3", "missing.mp3", ""}) {  // "" is the folder
            h.play(bad);
            h.timeout();
            QVERIFY(!h.capture()->isOpen());
        }
        h.run(&ZUNAAudio::Pause);
        h.run(&ZUNAAudio::Play);
        QCOMPARE(h.finished.size() + h.ticks.size(), 0);
        h.play("two-b-1500.flac");  // the next file plays
        QCOMPARE(h.pump(100000), size_t(22050));
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
