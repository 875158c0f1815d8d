// The playback engine on a real worker thread, as the window runs it, playing into a
// capture device: what reaches the speaker, the monitor's reports and the log lines.

#include <QSignalSpy>
#include <QtTest>

#include "support/engineharness.h"
#include "support/fixtures.h"
#include "support/logrecorder.h"
#include "support/toneanalysis.h"

namespace {
double levelOf(CaptureDriver &capture, size_t frames)
{
    capture.takeSamples();
    capture.pump(frames);
    const AudioFormat f = capture.format();
    return analyseTone(capture.takeSamples(), f.channels, f.rate).peak;
}

// Lets a volume or mute change glide in, then measures the level.
double settledLevel(CaptureDriver &capture)
{
    capture.pump(2048);
    return levelOf(capture, 4410);
}

QString playfileLine(const QString &path)
{
    return QStringLiteral("Event: Playfile( \"%1\" )").arg(path);
}
}  // namespace

class TestEngine : public QObject {
    Q_OBJECT

private slots:
    void logsEachRequestWordForWord()
    {
        EngineHarness h;
        LogRecorder log;
        const QString a = fixturePath(QStringLiteral("cbr-440.mp3"));
        const QString b = fixturePath(QStringLiteral("flac16-880.flac"));
        h.playfile(a);
        h.playfile(b);  // replaces a playing track: still one line per request
        h.run([](ZUNAAudio *e) {
            e->Play();
            e->Pause();
            e->Stop();
            e->Loop();
            e->Mute();
            e->Setvolume(40);
            e->Setprogress(10);
            e->Timeout();
        });
        QCOMPARE(log.lines(),
                 (QStringList{playfileLine(a), playfileLine(b), QStringLiteral("Event: Play"),
                              QStringLiteral("Event: Pause"), QStringLiteral("Event: Stop"),
                              QStringLiteral("Event: Loop"), QStringLiteral("Event: Mute")}));
    }

    void playsTheFileToTheSpeaker()
    {
        EngineHarness h;
        QSignalSpy ticks(h.engine(), &ZUNAAudio::Tick);
        h.playfile(fixturePath(QStringLiteral("cbr-440.mp3")));
        QCOMPARE(h.engine()->Getstep(), 30u);
        QCOMPARE(h.capture()->pump(22050), size_t(22050));
        const ToneStats tone =
            analyseTone(sliceFrames(h.capture()->takeSamples(), 2, 4410, 22050), 2, 44100);
        QVERIFY(qAbs(tone.frequency - 440) < 2);
        QVERIFY(qAbs(tone.peak - 0.5) < 0.03);
        h.timeout();
        QCOMPARE(ticks.size(), 1);
        QCOMPARE(ticks.at(0).at(0).toUInt(), 500u);
        h.timeout();  // the position has not moved: no second report
        QCOMPARE(ticks.size(), 1);
    }

    void volumeAndMuteAreTheUsersSettings()
    {
        EngineHarness h;
        CaptureDriver &capture = *h.capture();
        QSignalSpy muted(h.engine(), &ZUNAAudio::IsMuted);
        h.playfile(fixturePath(QStringLiteral("flac16-880.flac")));
        const double full = settledLevel(capture);
        QVERIFY(qAbs(full - 0.5) < 0.01);

        h.run([](ZUNAAudio *e) { e->Setvolume(50); });
        QVERIFY(qAbs(settledLevel(capture) - full / 2) < 0.01);

        // Muting as the window does it: the volume slider drops to 0 while muted.
        h.run([](ZUNAAudio *e) {
            e->Mute();
            e->Setvolume(0);
        });
        QCOMPARE(settledLevel(capture), 0.0);
        QCOMPARE(h.engine()->Getvolume(), 0.5f);

        // A new track while muted stays muted, and unmuting brings back the level from
        // before the mute.
        h.playfile(fixturePath(QStringLiteral("cbr-440.mp3")));
        QCOMPARE(settledLevel(capture), 0.0);
        h.run([](ZUNAAudio *e) {
            e->Mute();
            e->Setvolume(int(e->Getvolume() * 100.0));
        });
        QVERIFY(qAbs(settledLevel(capture) - full / 2) < 0.03);
        QCOMPARE(muted.size(), 2);
        QCOMPARE(muted.at(0).at(0).toBool(), true);
        QCOMPARE(muted.at(1).at(0).toBool(), false);

        // The level holds across a stop and the next track too.
        h.run([](ZUNAAudio *e) { e->Stop(); });
        h.playfile(fixturePath(QStringLiteral("flac16-880.flac")));
        QVERIFY(qAbs(settledLevel(capture) - full / 2) < 0.01);
    }

    void muteBeforeAnyTrackHolds()
    {
        EngineHarness h;
        QSignalSpy muted(h.engine(), &ZUNAAudio::IsMuted);
        h.run([](ZUNAAudio *e) { e->Mute(); });
        QCOMPARE(muted.size(), 1);
        QCOMPARE(muted.at(0).at(0).toBool(), true);
        QCOMPARE(h.engine()->Getvolume(), 1.0f);  // nothing was set: full volume
        h.playfile(fixturePath(QStringLiteral("flac16-880.flac")));
        QCOMPARE(settledLevel(*h.capture()), 0.0);
        h.run([](ZUNAAudio *e) { e->Mute(); });
        QCOMPARE(muted.at(1).at(0).toBool(), false);
        QVERIFY(qAbs(settledLevel(*h.capture()) - 0.5) < 0.01);
    }

    void pauseFreezesPositionAndReports()
    {
        EngineHarness h;
        QSignalSpy ticks(h.engine(), &ZUNAAudio::Tick);
        h.playfile(fixturePath(QStringLiteral("flac16-880.flac")));
        h.capture()->pump(22050);
        h.timeout();
        h.run([](ZUNAAudio *e) { e->Pause(); });
        QCOMPARE(h.capture()->pump(4410), size_t(0));
        h.timeout();
        h.timeout();
        QCOMPARE(ticks.size(), 1);

        // Play resumes where it paused instead of starting over.
        h.run([](ZUNAAudio *e) { e->Play(); });
        QCOMPARE(h.capture()->pump(4410), size_t(4410));
        h.timeout();
        QCOMPARE(ticks.last().at(0).toUInt(), 600u);

        // A second Pause pauses again, a third resumes.
        h.run([](ZUNAAudio *e) { e->Pause(); });
        QCOMPARE(h.capture()->pump(441), size_t(0));
        h.run([](ZUNAAudio *e) { e->Pause(); });
        QCOMPARE(h.capture()->pump(441), size_t(441));
    }

    void setprogressSeeksByValueTimesStep()
    {
        EngineHarness h;
        QSignalSpy ticks(h.engine(), &ZUNAAudio::Tick);
        h.playfile(fixturePath(QStringLiteral("long-6s-8k.flac")));
        QCOMPARE(h.engine()->Getstep(), 60u);
        h.capture()->pump(800);
        h.run([](ZUNAAudio *e) { e->Setprogress(50); });
        h.timeout();
        QCOMPARE(ticks.last().at(0).toUInt(), 3000u);
        h.capture()->pump(8000);
        h.timeout();
        QCOMPARE(ticks.last().at(0).toUInt(), 4000u);

        // Below 100 ms a track has no step: every seek lands at the start.
        h.playfile(fixturePath(QStringLiteral("short-50ms.flac")));
        QCOMPARE(h.engine()->Getstep(), 0u);
        h.capture()->pump(441);
        h.run([](ZUNAAudio *e) { e->Setprogress(50); });
        QCOMPARE(h.capture()->pump(100000), size_t(2205));
    }

    void endOfTrackIsReportedOnceAfterTheRelease()
    {
        EngineHarness h;
        LogRecorder log;
        QSignalSpy ticks(h.engine(), &ZUNAAudio::Tick);
        QSignalSpy finished(h.engine(), &ZUNAAudio::Finish);
        bool deviceClosedBeforeFinish = false;
        QObject::connect(
            h.engine(), &ZUNAAudio::Finish, h.engine(),
            [&] { deviceClosedBeforeFinish = !h.capture()->isOpen(); }, Qt::DirectConnection);
        h.playfile(fixturePath(QStringLiteral("two-a-1200.flac")));
        h.capture()->pump(11025);
        h.timeout();
        QCOMPARE(ticks.size(), 1);
        QCOMPARE(h.capture()->pump(100000), size_t(11025));
        h.timeout();
        QCOMPARE(finished.size(), 1);
        QVERIFY(deviceClosedBeforeFinish);
        QCOMPARE(ticks.size(), 1);  // no Tick in the call that reports the end
        h.timeout();
        h.timeout();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(h.capture()->pump(4410), size_t(0));  // and silence after it
        QCOMPARE(log.lines().count(QStringLiteral("Send event: Finish")), 1);

        // Play after the end starts the last file again from its beginning.
        h.run([](ZUNAAudio *e) { e->Play(); });
        QCOMPARE(h.capture()->pump(100000), size_t(22050));
    }

    void nearEndIsReportedFourToFiveSecondsBefore()
    {
        EngineHarness h;
        LogRecorder log;
        QSignalSpy nearEnd(h.engine(), &ZUNAAudio::AbouthFinish);
        h.playfile(fixturePath(QStringLiteral("long-6s-8k.flac")));  // 6000 ms at 8 frames/ms
        const struct {
            size_t frames;           // to pump before the check
            bool reported;           // with the remaining time that leaves
        } steps[] = {{7992, false},  // 5001 ms left
                     {8, true},      // 5000
                     {4000, true},   // 4500
                     {4000, true},   // 4000
                     {8, false}};    // 3999
        for (const auto &step : steps) {
            const int before = int(nearEnd.size());
            h.capture()->pump(step.frames);
            h.timeout();
            QCOMPARE(nearEnd.size() - before, step.reported ? 1 : 0);
        }
        QCOMPARE(log.lines().count(QStringLiteral("Send event: Abouth Finish")), 3);
    }

    void unplayableFileLeavesTheEngineIdle()
    {
        EngineHarness h;
        QSignalSpy finished(h.engine(), &ZUNAAudio::Finish);
        QSignalSpy ticks(h.engine(), &ZUNAAudio::Tick);
        for (const QString &bad :
             {fixturePath(QStringLiteral("not-audio.mp3")),
              fixturePath(QStringLiteral("missing.mp3")), QStringLiteral(ZUNA_TEST_DATA)}) {
            h.playfile(bad);
            h.timeout();
            QVERIFY(!h.capture()->isOpen());
        }
        h.run([](ZUNAAudio *e) {
            e->Pause();
            e->Play();
        });
        QCOMPARE(finished.size(), 0);
        QCOMPARE(ticks.size(), 0);
        h.playfile(fixturePath(QStringLiteral("two-b-1500.flac")));
        QCOMPARE(h.capture()->pump(100000), size_t(22050));
    }

    void stopReleasesAndPlayStartsOver()
    {
        EngineHarness h;
        h.run([](ZUNAAudio *e) { e->Play(); });  // nothing opened yet: only the log line
        QVERIFY(!h.capture()->isOpen());
        h.playfile(fixturePath(QStringLiteral("two-a-1200.flac")));
        h.capture()->pump(11025);
        h.run([](ZUNAAudio *e) {
            e->Pause();
            e->Stop();
        });
        QVERIFY(!h.capture()->isOpen());
        h.capture()->takeSamples();
        h.run([](ZUNAAudio *e) { e->Play(); });
        QCOMPARE(h.capture()->pump(100000), size_t(22050));
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
