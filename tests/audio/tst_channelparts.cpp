// The pieces a channel is made of, each on its own: the ring between the feeder and the
// output, the gain ramp, the timeline's arithmetic from tables of events, and a queued
// track's decoder handed back only once the feeder has left it.

#include <QtTest>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>

#include "audio/decode/decoder.h"
#include "audio/decode/filereader.h"
#include "audio/decode/trackfile.h"
#include "audio/playback/channelcore.h"
#include "audio/playback/gainramp.h"
#include "audio/playback/spscring.h"
#include "audio/playback/timeline.h"
#include "support/captureoutput.h"
#include "support/fixtures.h"

using namespace Qt::StringLiterals;
using namespace zuna;

namespace {

std::vector<float> stagePublish(SpscRing &ring, std::vector<float> samples)
{
    samples.resize(ring.stage(samples.data(), samples.size()));
    ring.publish();
    return samples;
}

std::vector<float> claimDrain(SpscRing &ring, size_t most)
{
    std::vector<float> out(ring.claim(most));
    ring.drain(out.data());
    return out;
}

// A mono decoder of silence at 8 kHz. With a gate, each read waits until the test opens
// it; it tells whether a read was under way when anyone else touched it.
class GatedDecoder : public Decoder {
public:
    explicit GatedDecoder(int64_t frames, bool gated) : length(frames), closed(gated) {}

    AudioFormat format() const override { return {8000, 1}; }
    int64_t lengthFrames() const override { return length; }
    AudioResult read(float *out, long frames, long *decoded) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        ++reads;
        inRead = true;
        changed.notify_all();
        changed.wait(lock, [this] { return !closed; });
        *decoded = long(std::min<int64_t>(frames, length - position));
        std::fill(out, out + *decoded, 0.0f);
        position += *decoded;
        inRead = false;
        return AudioResult::Ok;
    }
    AudioResult seek(int64_t frame) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        overlapped = overlapped || inRead;
        position = frame;
        return AudioResult::Ok;
    }

    void waitForRead()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return inRead; });
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed = false;
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    const int64_t length;
    int64_t position = 0;
    bool closed;
    bool inRead = false;
    bool overlapped = false;
    int reads = 0;
};

std::shared_ptr<TrackFile> adopt(std::unique_ptr<GatedDecoder> decoder)
{
    std::unique_ptr<FileReader> file;
    FileReader::open(QFile::encodeName(fixturePath(QStringLiteral("cbr-440.mp3"))).toStdString(),
                     &file);
    return TrackFile::adopt(SoundType::Other, std::move(file), std::move(decoder));
}

// Plays a timeline through events such as "push 100, render 60, play 80 =1": `push`,
// `render` and `play` frames, `decoded` (the end of what the feeder decodes), `decoded>next`
// (and it goes straight on into the queued track), `go-on` (into one queued later),
// `withdraw` (and the ring must keep that many frames), `restart` at a frame. "=n": that
// event must report n ends. Returns what went wrong, or nothing; counts the go-ons.
QString playEvents(Timeline &timeline, const QString &events, int *wentOn)
{
    for (const QString &event : events.split(QStringLiteral(", "))) {
        const QStringList words = event.split(u' ');
        const QString &verb = words[0];
        const int64_t n =
            words.size() > 1 && !words[1].startsWith(u'=') ? words[1].toLongLong() : 0;
        const int ends = words.last().startsWith(u'=') ? words.last().mid(1).toInt() : 0;
        Timeline::Passed passed;
        if (verb == QLatin1String("push"))
            timeline.pushed(n);
        else if (verb == QLatin1String("render"))
            timeline.rendered(n);
        else if (verb == QLatin1String("play"))
            passed = timeline.played(n);
        else if (verb == QLatin1String("decoded") || verb == QLatin1String("decoded>next"))
            passed = timeline.decodedToEnd(verb.endsWith(QLatin1String("next")));
        else if (verb == QLatin1String("go-on"))
            timeline.goOnIntoQueued();
        else if (verb == QLatin1String("restart"))
            timeline.restart(n);
        else if (verb != QLatin1String("withdraw"))
            return QStringLiteral("no such event: ") + event;
        else if (const int64_t kept = timeline.withdrawQueued(); kept != n)
            return QStringLiteral("%1: kept %2").arg(event).arg(kept);
        if (passed.ends != ends)
            return QStringLiteral("%1: %2 ends").arg(event).arg(passed.ends);
        *wentOn += passed.wentOn ? 1 : 0;
    }
    return {};
}

}  // namespace

class TestChannelParts : public QObject {
    Q_OBJECT

private slots:
    void ringWrapsAroundInOrder()
    {
        SpscRing ring(8);
        QCOMPARE(stagePublish(ring, {1, 2, 3, 4, 5, 6}).size(), size_t(6));
        QCOMPARE(claimDrain(ring, 4), (std::vector<float>{1, 2, 3, 4}));
        QCOMPARE(stagePublish(ring, {7, 8, 9, 10, 11}).size(), size_t(5));  // past the end
        QCOMPARE(claimDrain(ring, 100), (std::vector<float>{5, 6, 7, 8, 9, 10, 11}));
    }

    void ringFullAndEmpty()
    {
        SpscRing ring(8);
        QCOMPARE(ring.fill(), size_t(0));
        QCOMPARE(ring.room(), size_t(8));
        QCOMPARE(claimDrain(ring, 4).size(), size_t(0));
        QCOMPARE(stagePublish(ring, std::vector<float>(10, 1.0f)).size(), size_t(8));
        QCOMPARE(ring.room(), size_t(0));
        QCOMPARE(ring.fill(), size_t(8));
        // Claimed samples hold their space until they are copied out.
        QCOMPARE(ring.claim(3), size_t(3));
        QCOMPARE(ring.room(), size_t(0));
        std::vector<float> out(3);
        ring.drain(out.data());
        QCOMPARE(ring.room(), size_t(3));
        QCOMPARE(ring.fill(), size_t(5));
    }

    void ringTakesBackWhatIsNotClaimed()
    {
        SpscRing ring(8);
        stagePublish(ring, {1, 2, 3, 4, 5, 6});
        QCOMPARE(ring.claim(2), size_t(2));
        ring.truncate(1);  // the claimed two are the consumer's; one more stays
        QCOMPARE(ring.fill(), size_t(1));
        std::vector<float> out(2);
        ring.drain(out.data());
        QCOMPARE(out, (std::vector<float>{1, 2}));
        // Staged before a take-back: never published; the next samples follow what was kept.
        ring.stage(std::vector<float>{7, 7}.data(), 2);
        ring.clear();
        QVERIFY(!ring.publish());
        QCOMPARE(ring.fill(), size_t(0));
        stagePublish(ring, {8, 9});
        QCOMPARE(claimDrain(ring, 8), (std::vector<float>{8, 9}));
    }

    // A producer and a consumer on two threads, in blocks of changing sizes: every sample
    // arrives once, in order.
    void ringCarriesEverySampleAcrossThreads()
    {
        constexpr size_t kTotal = size_t(1) << 20;
        SpscRing ring(1000);
        std::thread producer([&ring] {
            std::vector<float> block(300);
            for (size_t sent = 0, turn = 0; sent < kTotal; ++turn) {
                const size_t n = std::min(kTotal - sent, 1 + turn * 37 % block.size());
                std::iota(block.begin(), block.begin() + long(n), float(sent));
                sent += ring.stage(block.data(), n);
                ring.publish();
                if (ring.room() == 0)
                    std::this_thread::yield();
            }
        });
        size_t received = 0, outOfOrder = 0;
        double sum = 0;
        std::vector<float> block(500);
        for (size_t turn = 0; received < kTotal; ++turn) {
            const size_t n = ring.claim(1 + turn * 53 % block.size());
            ring.drain(block.data());
            for (size_t i = 0; i < n; ++i, ++received) {
                outOfOrder += block[i] != float(received) ? 1 : 0;
                sum += double(block[i]);
            }
            if (n == 0)
                std::this_thread::yield();
        }
        producer.join();
        QCOMPARE(outOfOrder, size_t(0));
        QCOMPARE(sum, double(kTotal) * double(kTotal - 1) / 2);
        QCOMPARE(ring.fill(), size_t(0));
    }

    // At 1000 frames a second the gain moves 0.1 a frame (a 10 ms glide).
    void gainGlidesTowardTheSetting()
    {
        struct Case {
            const char *name;
            int channels;
            float before;     // volume of a first, one-frame block (negative: none)
            float volume;     // then set
            bool muted;       // then set
            bool deviceGain;  // the device sets the level
            std::vector<float> gains;
        };
        const std::vector<Case> cases = {
            {"starts at the setting", 1, -1, 0.5f, false, false, {0.5f, 0.5f, 0.5f}},
            {"down", 1, 1.0f, 0.5f, false, false, {0.9f, 0.8f, 0.7f, 0.6f, 0.5f, 0.5f}},
            {"up", 1, 0.2f, 0.4f, false, false, {0.3f, 0.4f, 0.4f}},
            {"muted", 1, 0.3f, 0.3f, true, false, {0.2f, 0.1f, 0.0f, 0.0f}},
            {"both channels alike", 2, 1.0f, 0.8f, false, false, {0.9f, 0.9f, 0.8f, 0.8f}},
            {"by the device", 1, 1.0f, 0.2f, false, true, {1.0f, 1.0f}},
        };
        for (const Case &c : cases) {
            GainRamp ramp(1000, c.channels);
            if (c.before >= 0) {
                ramp.setVolume(c.before);
                float one[2] = {1.0f, 1.0f};
                ramp.apply(one, 1);
            }
            ramp.setVolume(c.volume);
            ramp.setMuted(c.muted);
            ramp.setDeviceGain(c.deviceGain);
            std::vector<float> samples(c.gains.size(), 1.0f);
            ramp.apply(samples.data(), samples.size() / size_t(c.channels));
            for (size_t i = 0; i < samples.size(); ++i)
                QVERIFY2(std::abs(samples[i] - c.gains[i]) < 1e-5f,
                         qPrintable(QStringLiteral("%1: sample %2 is %3, not %4")
                                        .arg(QLatin1String(c.name))
                                        .arg(i)
                                        .arg(samples[i])
                                        .arg(c.gains[i])));
        }
    }

    // Worked out by hand: the position is where the run began plus what was heard (no more
    // than was rendered), `ahead` what was pushed and not yet heard.
    void timelineFollowsTheListener_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<qint64>("position");
        QTest::addColumn<qint64>("ahead");
        QTest::addColumn<bool>("lastEnded");
        QTest::addColumn<int>("wentOn");
        QTest::newRow("heard no further than rendered")
            << u"push 100, render 60, play 80"_s << 60ll << 40ll << false << 0;
        QTest::newRow("the end once its last frame is heard, once")
            << u"push 100, decoded, render 100, play 99, play 1 =1, play 5"_s << 100ll << 0ll
            << true << 0;
        QTest::newRow("an end known after it was heard")
            << u"push 100, render 100, play 100, decoded =1"_s << 100ll << 0ll << true << 0;
        QTest::newRow("into the queued track, counted from its start")
            << u"push 100, decoded>next, push 50, render 120, play 110 =1"_s << 10ll << 40ll
            << false << 1;
        QTest::newRow("a short queued track heard in the same block")
            << u"push 100, decoded>next, push 30, decoded, render 130, play 130 =2"_s << 30ll << 0ll
            << true << 1;
        QTest::newRow("a seek starts a run; frames from before it count for nothing")
            << u"push 100, render 80, play 50, restart 1000, play 20, push 10, render 10, play 5"_s
            << 1005ll << 5ll << false << 0;
        QTest::newRow("a seek forgets an end heard before it")
            << u"push 10, decoded, render 10, play 10 =1, restart 3"_s << 3ll << 0ll << false << 0;
        QTest::newRow("withdrawn: the current track's audio stays, and ends it")
            << u"push 100, decoded>next, push 40, render 70, withdraw 30, render 30, play 100 =1"_s
            << 100ll << 0ll << true << 0;
        QTest::newRow("withdrawn after the output took some of it: nothing stays")
            << u"push 100, decoded>next, push 40, render 120, withdraw 0"_s << 0ll << 120ll << false
            << 0;
        QTest::newRow("withdrawn before the feeder went on: the ring stays")
            << u"push 100, render 30, withdraw 70"_s << 0ll << 100ll << false << 0;
        QTest::newRow("withdrawn, its end forgotten, another queued")
            << u"push 100, decoded>next, push 30, decoded, withdraw 100, go-on, push 50, "
               u"render 140, play 140 =1"_s
            << 40ll << 10ll << false << 1;
    }

    void timelineFollowsTheListener()
    {
        QFETCH(QString, events);
        Timeline timeline;
        int wentOn = 0;
        const QString wrong = playEvents(timeline, events, &wentOn);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QTEST(qint64(timeline.position()), "position");
        QTEST(qint64(timeline.aheadOfHeard()), "ahead");
        QTEST(timeline.lastEnded(), "lastEnded");
        QTEST(wentOn, "wentOn");
    }

    void restartForgetsTheQueuedTracksAudio()
    {
        Timeline timeline;
        timeline.pushed(100);
        QVERIFY(!timeline.restart(10));
        timeline.pushed(100);
        timeline.decodedToEnd(true);
        timeline.pushed(20);
        QVERIFY(timeline.restart(5));  // the queued track was decoded from: it starts afresh
        QVERIFY(!timeline.feedingQueued());
    }

    // The queued track's owner may use its decoder once release() returns: a read under way
    // ends first, and none follows.
    void releasingAQueuedTrackWaitsForItsRead()
    {
        auto gate = std::make_unique<GatedDecoder>(100000, true);
        GatedDecoder &gated = *gate;
        const std::shared_ptr<TrackFile> queued = adopt(std::move(gate));
        CaptureDriver device;
        ChannelCore channel(adopt(std::make_unique<GatedDecoder>(1000, false)), {});
        QCOMPARE(channel.start(device, false), AudioResult::Ok);  // decoded to its end
        QCOMPARE(channel.queue(queued, false), AudioResult::Ok);
        gated.waitForRead();  // the feeder went on into it, and waits in its read

        std::atomic<bool> returned{false};
        bool readUnderWay = true;
        std::thread releaser([&] {
            channel.release(*queued);
            std::lock_guard<std::mutex> lock(gated.mutex);
            readUnderWay = gated.inRead;
            returned = true;
        });
        // Time for a release that does not wait to return; one that waits cannot.
        for (int i = 0; i < 10000 && !returned; ++i)
            std::this_thread::yield();
        const bool returnedDuringRead = returned;
        gated.open();
        releaser.join();
        QVERIFY(!returnedDuringRead);
        QVERIFY(!readUnderWay);

        const int reads = gated.reads;
        QCOMPARE(queued->decoder().seek(0), AudioResult::Ok);  // the test's decoder now
        QCOMPARE(device.pump(1000), size_t(1000));             // the first track plays out
        QVERIFY(!channel.isPlaying());
        channel.stop();
        QCOMPARE(gated.reads, reads);
        QVERIFY(!gated.overlapped);
    }
};

QTEST_GUILESS_MAIN(TestChannelParts)
#include "tst_channelparts.moc"
