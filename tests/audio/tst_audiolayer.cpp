// The system/stream/channel layer with a capture device: what reaches the speaker, how the
// channel behaves around pause, seek, volume, mute and the end, and that only playing
// touches a device.

#include <QtTest>

#include "audio/audiosystem.h"
#include "audio/captureoutput.h"
#include "support/fixtures.h"
#include "support/toneanalysis.h"

namespace {
std::string pathOf(const QString &name)
{
    return QFile::encodeName(fixturePath(name)).toStdString();
}

struct Rig {
    CaptureDriver *capture = nullptr;
    std::unique_ptr<AudioSystem> system;

    Rig()
    {
        auto driver = std::make_unique<CaptureDriver>();
        capture = driver.get();
        system = std::make_unique<AudioSystem>(std::move(driver));
    }

    std::unique_ptr<AudioStream> open(const QString &name)
    {
        std::unique_ptr<AudioStream> stream;
        system->openStream(pathOf(name), &stream);
        return stream;
    }
};

int64_t pumpToEnd(CaptureDriver &capture)
{
    int64_t total = 0;
    for (size_t got; (got = capture.pump(4096)) > 0;)
        total += int64_t(got);
    return total;
}
}  // namespace

class TestAudioLayer : public QObject {
    Q_OBJECT

private slots:
    void openingNeverTouchesTheDevice()
    {
        Rig rig;
        auto stream = rig.open(QStringLiteral("cbr-440.mp3"));
        QVERIFY(stream);
        QCOMPARE(stream->type(), SoundType::Mpeg);
        QCOMPARE(stream->lengthMs(), 3000u);
        QVERIFY(stream->tagCount() > 0);
        QCOMPARE(rig.capture->outputsOpened(), 0);
        AudioChannel channel;
        QCOMPARE(rig.system->play(*stream, false, &channel), AudioResult::Ok);
        QCOMPARE(rig.capture->outputsOpened(), 1);
    }

    void openFailuresSayWhy()
    {
        Rig rig;
        std::unique_ptr<AudioStream> stream;
        QCOMPARE(rig.system->openStream(pathOf(QStringLiteral("not-audio.mp3")), &stream),
                 AudioResult::Unsupported);
        QCOMPARE(rig.system->openStream(pathOf(QStringLiteral("missing.flac")), &stream),
                 AudioResult::CannotOpen);
        QCOMPARE(rig.system->openStream(ZUNA_TEST_DATA, &stream), AudioResult::NotAFile);
        QVERIFY(!stream);
    }

    void tagsKeepTheirUnifiedNamesAndOrder()
    {
        Rig rig;
        auto mp3 = rig.open(QStringLiteral("cbr-440.mp3"));
        QStringList seen;
        for (int i = 0; i < mp3->tagCount(); ++i)
            seen << QString::fromStdString(mp3->tag(i)->name + "=" + mp3->tag(i)->text);
        QVERIFY(seen.contains(QStringLiteral("TITLE=Tone 440")));
        QVERIFY(seen.contains(QStringLiteral("ARTIST=ZUNA Tests")));
        QVERIFY(seen.contains(QStringLiteral("ALBUM=Fixtures")));
        QVERIFY(!mp3->tag(mp3->tagCount()));
        QVERIFY(!mp3->tag(-1));

        // One tag per value of a multi-valued property, in the file's order.
        auto duet = rig.open(QStringLiteral("two-artists.flac"));
        QStringList artists;
        for (int i = 0; i < duet->tagCount(); ++i)
            if (duet->tag(i)->name == "ARTIST")
                artists << QString::fromStdString(duet->tag(i)->text);
        QCOMPARE(artists,
                 (QStringList{QStringLiteral("First Artist"), QStringLiteral("Second Artist")}));
    }

    void playsEveryFrameThenStops_data()
    {
        QTest::addColumn<QString>("file");
        for (const char *name :
             {"cbr-440.mp3", "vbr-noxing-550.mp3", "flac24-1000.flac", "short-50ms.flac"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void playsEveryFrameThenStops()
    {
        QFETCH(QString, file);
        const Fixture f = fixture(file);
        Rig rig;
        auto stream = rig.open(file);
        AudioChannel channel;
        QCOMPARE(rig.system->play(*stream, false, &channel), AudioResult::Ok);
        QVERIFY(channel.isPlaying());
        QCOMPARE(pumpToEnd(*rig.capture), f.frames);
        QVERIFY(!channel.isPlaying());
        const std::vector<float> heard = rig.capture->takeSamples();
        QCOMPARE(qint64(heard.size()) / f.channels, f.frames);
        const size_t frames = size_t(f.frames);
        const ToneStats tone = analyseTone(
            sliceFrames(heard, f.channels, frames / 10, frames * 9 / 10), f.channels, f.rate);
        QVERIFY(qAbs(tone.frequency - f.frequency) < f.frequency * 0.02);
        // An ended channel is a dead handle.
        QCOMPARE(channel.setPaused(true), AudioResult::InvalidHandle);
        QCOMPARE(channel.position(), 0u);
    }

    void positionIsWhatWasHeardAndFreezesWhilePaused()
    {
        Rig rig;
        auto stream = rig.open(QStringLiteral("flac16-880.flac"));
        AudioChannel channel;
        rig.system->play(*stream, false, &channel);
        QCOMPARE(rig.capture->pump(22050), size_t(22050));
        QCOMPARE(channel.position(), 500u);
        QCOMPARE(channel.setPaused(true), AudioResult::Ok);
        QVERIFY(channel.paused());
        QVERIFY(channel.isPlaying());  // paused is not finished
        QCOMPARE(rig.capture->pump(4410), size_t(0));
        QCOMPARE(channel.position(), 500u);
        channel.setPaused(false);
        QCOMPARE(rig.capture->pump(4410), size_t(4410));
        QCOMPARE(channel.position(), 600u);
    }

    void seekingMovesWhatIsHeard()
    {
        Rig rig;
        auto stream = rig.open(QStringLiteral("long-6s-8k.flac"));
        AudioChannel channel;
        rig.system->play(*stream, false, &channel);
        rig.capture->pump(800);
        QCOMPARE(channel.setPosition(4500), AudioResult::Ok);
        QCOMPARE(channel.position(), 4500u);
        rig.capture->takeSamples();
        // 1.5 s were left: that is exactly what plays before the end.
        QCOMPARE(pumpToEnd(*rig.capture), int64_t(12000));
        QCOMPARE(channel.setPosition(1000), AudioResult::InvalidHandle);

        auto again = rig.open(QStringLiteral("long-6s-8k.flac"));
        rig.system->play(*again, false, &channel);
        QCOMPARE(channel.setPosition(7000), AudioResult::InvalidArgument);
    }

    void volumeScalesAndMuteSilencesWhileTimeRuns()
    {
        Rig rig;
        auto stream = rig.open(QStringLiteral("flac16-880.flac"));
        AudioChannel channel;
        rig.system->play(*stream, false, &channel);
        rig.capture->pump(4410);
        const double full = analyseTone(rig.capture->takeSamples(), 2, 44100).peak;

        channel.setVolume(0.5f);
        rig.capture->pump(4410);  // the change glides in over 10 ms
        rig.capture->takeSamples();
        rig.capture->pump(4410);
        QVERIFY(qAbs(analyseTone(rig.capture->takeSamples(), 2, 44100).peak - full / 2) < 0.01);

        channel.setMuted(true);
        QVERIFY(channel.muted());
        rig.capture->pump(4410);
        rig.capture->takeSamples();
        const uint32_t before = channel.position();
        rig.capture->pump(4410);
        QCOMPARE(peakOf(rig.capture->takeSamples()), 0.0);
        QCOMPARE(channel.position(), before + 100);

        channel.setMuted(false);
        rig.capture->pump(4410);
        rig.capture->takeSamples();
        rig.capture->pump(4410);
        QVERIFY(qAbs(analyseTone(rig.capture->takeSamples(), 2, 44100).peak - full / 2) < 0.01);
        QCOMPARE(channel.setVolume(1.5f), AudioResult::InvalidArgument);
    }

    void volumeChangesDoNotClick()
    {
        Rig rig;
        auto stream = rig.open(QStringLiteral("flac16-880.flac"));
        AudioChannel channel;
        rig.system->play(*stream, false, &channel);
        rig.capture->pump(1000);
        channel.setMuted(true);
        rig.capture->pump(1000);
        const std::vector<float> s = rig.capture->takeSamples();
        // An 880 Hz sine at 0.5 moves at most 0.5·2π·880/44100 ≈ 0.063 per sample; a hard
        // cut would jump by up to 0.5.
        for (size_t i = 2; i < s.size(); i += 2)
            QVERIFY2(std::fabs(s[i] - s[i - 2]) < 0.07, qPrintable(QString::number(i / 2)));
    }

    void releasingTheStreamEndsPlaybackAndLeavesASafeHandle()
    {
        Rig rig;
        auto stream = rig.open(QStringLiteral("cbr-440.mp3"));
        AudioChannel channel;
        rig.system->play(*stream, false, &channel);
        channel.setMuted(true);
        channel.setPaused(true);
        stream.reset();
        QVERIFY(!rig.capture->isOpen());
        QVERIFY(!channel.isPlaying());
        QVERIFY(!channel.paused());
        QVERIFY(!channel.muted());
        QCOMPARE(channel.position(), 0u);
        QCOMPARE(channel.setMuted(false), AudioResult::InvalidHandle);
        QCOMPARE(channel.setVolume(0.5f), AudioResult::InvalidHandle);

        AudioChannel never;
        QVERIFY(!never.isPlaying() && !never.paused() && !never.muted());
        QCOMPARE(never.setPosition(0), AudioResult::InvalidHandle);
    }

    void oneChannelAtATime()
    {
        Rig rig;
        auto first = rig.open(QStringLiteral("cbr-440.mp3"));
        auto second = rig.open(QStringLiteral("flac16-880.flac"));
        AudioChannel a;
        AudioChannel b;
        rig.system->play(*first, false, &a);
        rig.system->play(*second, false, &b);
        QVERIFY(!a.isPlaying());
        QVERIFY(b.isPlaying());
        rig.capture->pump(4410);
        QVERIFY(qAbs(analyseTone(rig.capture->takeSamples(), 2, 44100).frequency - 880) < 5);

        // Playing a stream again starts it over from the beginning.
        rig.capture->pump(22050);
        rig.system->play(*second, false, &b);
        QCOMPARE(b.position(), 0u);
        QCOMPARE(pumpToEnd(*rig.capture), int64_t(88200));
    }

    void noDeviceMeansNoChannel()
    {
        Rig rig;
        rig.capture->setUnavailable(true);
        auto stream = rig.open(QStringLiteral("cbr-440.mp3"));
        AudioChannel channel;
        QCOMPARE(rig.system->play(*stream, false, &channel), AudioResult::NoDevice);
        QVERIFY(!channel.isPlaying());
        rig.capture->setUnavailable(false);
        QCOMPARE(rig.system->play(*stream, false, &channel), AudioResult::Ok);
        QVERIFY(channel.isPlaying());
    }
};

QTEST_GUILESS_MAIN(TestAudioLayer)
#include "tst_audiolayer.moc"
