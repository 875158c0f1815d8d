// The playback engine on a real worker thread, as the window runs it, playing into a
// capture device: what reaches the speaker, the monitor's reports and the log lines.

#include <QtTest>

#include "support/engineharness.h"
#include "support/fixtures.h"
#include "support/logrecorder.h"
#include "support/toneanalysis.h"

using namespace Qt::StringLiterals;

namespace {
struct Rig : EngineHarness {
    QSignalSpy ticks{engine(), &ZUNAAudio::Tick};
    QSignalSpy finished{engine(), &ZUNAAudio::Finish};
    LogRecorder log;

    void play(const char *file) { playfile(fixturePath(QString::fromLatin1(file))); }
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
        h.run([](ZUNAAudio *e) { e->Setvolume(40); });
        h.run([](ZUNAAudio *e) { e->Setprogress(10); });
        QCOMPARE(h.log.lines(), QStringList({u"Event: Playfile( \"%1\" )"_s.arg(a),
                                             u"Event: Playfile( \"%1\" )"_s.arg(b),
                                             u"Event: Play"_s, u"Event: Pause"_s, u"Event: Stop"_s,
                                             u"Event: Loop"_s, u"Event: Mute"_s}));
    }

    void volumeAndMuteAreTheUsersSettings()
    {
        Rig h;
        QSignalSpy muted(h.engine(), &ZUNAAudio::IsMuted);
        // Before any track, Mute flips and reports too, keeping full volume to restore.
        h.run(&ZUNAAudio::Mute);
        QCOMPARE(h.engine()->Getvolume(), 1.0f);
        h.play("flac16-880.flac");
        QCOMPARE(h.level(), 0.0);
        h.run(&ZUNAAudio::Mute);
        QVERIFY(qAbs(h.level() - 0.5) < 0.01);
        h.run([](ZUNAAudio *e) { e->Setvolume(50); });
        QVERIFY(qAbs(h.level() - 0.25) < 0.01);

        // Muted as the window does it (the volume slider drops to 0): silence while the
        // position runs on, through a track change; unmuting brings the level back.
        h.run(&ZUNAAudio::Mute);
        h.run([](ZUNAAudio *e) { e->Setvolume(0); });
        QCOMPARE(h.level(), 0.0);
        h.timeout();
        QVERIFY(h.lastTick() >= 585);  // 4 levels of 6458 frames heard, muted or not
        QCOMPARE(h.engine()->Getvolume(), 0.5f);
        h.play("cbr-440.mp3");
        QCOMPARE(h.level(), 0.0);
        h.run(&ZUNAAudio::Mute);
        h.run([](ZUNAAudio *e) { e->Setvolume(int(e->Getvolume() * 100.0)); });
        QVERIFY(qAbs(h.level() - 0.25) < 0.02);
        QCOMPARE(muted, QList<QVariantList>({{true}, {false}, {true}, {false}}));
        // The level holds across a stop and the next track too.
        h.run(&ZUNAAudio::Stop);
        h.play("flac16-880.flac");
        QVERIFY(qAbs(h.level() - 0.25) < 0.01);
    }

    void pauseFreezesAndSetprogressSeeksByValueTimesStep()
    {
        Rig h;
        h.play("long-6s-8k.flac");             // 8 frames a ms, a step of 60 ms
        QCOMPARE(h.engine()->Getstep(), 60u);  // read from another thread than the engine's
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
    }

    void nearEndThenEndReportedOnceAfterTheRelease()
    {
        Rig h;
        QSignalSpy nearEnd(h.engine(), &ZUNAAudio::AbouthFinish);
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
        h.timeout();
        h.timeout();
        QCOMPARE(h.finished.size(), 1);
        QVERIFY(closedFirst);
        QCOMPARE(h.ticks.size(), ticks);    // none in the call that reports the end
        QCOMPARE(h.pump(4410), size_t(0));  // and silence after it
        QCOMPARE(h.log.lines().count(u"Send event: Finish"_s), 1);
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
