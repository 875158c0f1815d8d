// The audio layer on a capture device, for what the engine's tests cannot show: every frame
// of each format, dead handles, the click-free ramp, one channel per system, no device.

#include <QtTest>

#include "audio/audiosystem.h"
#include "support/captureoutput.h"
#include "support/fixtures.h"
#include "support/toneanalysis.h"

using namespace Qt::StringLiterals;

namespace {
struct Rig {
    CaptureDriver *capture = new CaptureDriver;  // owned by the system
    AudioSystem system{std::unique_ptr<OutputDriver>(capture)};
    AudioChannel channel;

    // Opens a fixture; with `play`, also plays it on `channel`.
    std::unique_ptr<AudioStream> open(const QString &name, bool play = false)
    {
        std::unique_ptr<AudioStream> stream;
        system.openStream(QFile::encodeName(fixturePath(name)).toStdString(), &stream);
        if (play)
            system.play(*stream, false, &channel);
        return stream;
    }
};
}  // namespace

class TestAudioLayer : public QObject {
    Q_OBJECT

private slots:
    void playsEveryFrameThenEnds_data()
    {
        QTest::addColumn<QString>("file");
        for (const char *name :
             {"cbr-440.mp3", "vbr-noxing-550.mp3", "flac24-1000.flac", "short-50ms.flac"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void playsEveryFrameThenEnds()
    {
        QFETCH(QString, file);
        const Fixture f = fixture(file);
        Rig rig;
        auto stream = rig.open(file);
        QVERIFY(stream);
        QCOMPARE(rig.capture->outputsOpened(), 0);  // only playing opens the device
        QCOMPARE(rig.system.play(*stream, false, &rig.channel), AudioResult::Ok);
        QVERIFY(rig.channel.isPlaying());
        qint64 heard = 0;
        for (size_t got; (got = rig.capture->pump(4096)) > 0;)
            heard += qint64(got);
        QCOMPARE(heard, f.frames);
        QVERIFY(!rig.channel.isPlaying());
        const size_t n = size_t(f.frames);
        const ToneStats tone =
            analyseTone(sliceFrames(rig.capture->takeSamples(), f.channels, n / 10, n * 9 / 10),
                        f.channels, f.rate);
        QVERIFY(qAbs(tone.frequency - f.frequency) < f.frequency * 0.02);
        // The ended channel's handle is dead: calls fail harmlessly.
        QCOMPARE(rig.channel.setPaused(true), AudioResult::InvalidHandle);
        QCOMPARE(rig.channel.position(), 0u);
    }

    void releasedStreamLeavesADeadHandle()
    {
        Rig rig;
        auto stream = rig.open(u"cbr-440.mp3"_s, true);
        rig.channel.setMuted(true);
        rig.channel.setPaused(true);
        stream.reset();  // ends playback at once
        QVERIFY(!rig.capture->isOpen());
        for (AudioChannel dead : {rig.channel, AudioChannel()}) {  // and one never used
            QVERIFY(!dead.isPlaying() && !dead.paused() && !dead.muted());
            QCOMPARE(dead.position(), 0u);
            QCOMPARE(dead.setVolume(0.5f), AudioResult::InvalidHandle);
        }
    }

    void gainChangesDoNotClick()
    {
        Rig rig;
        auto stream = rig.open(u"flac16-880.flac"_s, true);
        rig.capture->pump(1000);
        rig.channel.setMuted(true);
        rig.capture->pump(1000);
        const std::vector<float> s = rig.capture->takeSamples();
        // An 880 Hz sine at 0.5 moves at most 0.5·2π·880/44100 ≈ 0.063 per sample; a hard
        // cut would jump by up to 0.5.
        for (size_t i = 2; i < s.size(); i += 2)
            QVERIFY2(std::fabs(s[i] - s[i - 2]) < 0.07, qPrintable(QString::number(i / 2)));
        QCOMPARE(peakOf(sliceFrames(s, 2, 1500, 2000)), 0.0);  // and it does reach silence
    }

    void oneChannelAtATimeAndNoneWithoutADevice()
    {
        Rig rig;
        rig.capture->setUnavailable(true);
        auto first = rig.open(u"cbr-440.mp3"_s);
        QCOMPARE(rig.system.play(*first, false, &rig.channel), AudioResult::NoDevice);
        QVERIFY(!rig.channel.isPlaying());
        rig.capture->setUnavailable(false);
        QCOMPARE(rig.system.play(*first, false, &rig.channel), AudioResult::Ok);
        const AudioChannel a = rig.channel;
        auto second = rig.open(u"flac16-880.flac"_s, true);
        QVERIFY(!a.isPlaying() && rig.channel.isPlaying());
        rig.capture->pump(4410);
        QVERIFY(qAbs(analyseTone(rig.capture->takeSamples(), 2, 44100).frequency - 880) < 5);
    }
};

QTEST_GUILESS_MAIN(TestAudioLayer)
#include "tst_audiolayer.moc"
