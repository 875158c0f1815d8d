// What the listener hears when the sound device holds a long buffer: the position and the
// ends follow what was heard, not what was handed over; a seek drops what the device holds;
// a device that sets the level itself gets the level and unscaled sound. The arithmetic of
// the sound-server output's clock on a made-up clock, and the channel against a device
// that holds what it is given until the test plays it.

#include <QtTest>
#include <atomic>
#include <deque>
#include <thread>

#include "audio/audiosystem.h"
#include "audio/decode/decoder.h"
#include "audio/decode/trackfile.h"
#include "audio/output/streamclock.h"
#include "audio/playback/channelcore.h"
#include "support/fixtures.h"

using namespace zuna;

namespace {

// A device that, like a sound server, takes as much as it has room for and plays it when
// the test says so.
class HoldingDriver : public OutputDriver, public Output {
public:
    AudioResult openOutput(const AudioFormat &format, RenderSource &from,
                           std::unique_ptr<Output> *output) override
    {
        source = &from;
        channels = size_t(format.channels);
        // The channel owns what it opens; this one stays the test's.
        output->reset(new Forwarder(*this));
        return AudioResult::Ok;
    }
    void setPaused(bool paused) override { isPaused = paused; }
    bool failed() const override { return false; }
    void discard(const std::function<void()> &forget) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        held.clear();
        ++discards;
        forget();
    }
    bool setGain(float value) override
    {
        gains.push_back(value);
        return true;
    }

    // Takes `frames` more into the buffer, waiting for a decoder that lags; fewer at the end.
    size_t take(size_t frames)
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<float> block(frames * channels);
        size_t got = 0;
        bool ended = false;
        while (got < frames && !ended) {
            const size_t n = source->render(block.data() + got * channels, frames - got, &ended);
            if (n == 0 && !ended)
                std::this_thread::yield();
            got += n;
        }
        held.insert(held.end(), block.begin(), block.begin() + long(got * channels));
        return got;
    }
    // Plays `frames` of what it holds; returns what was played.
    std::vector<float> play(size_t frames)
    {
        std::lock_guard<std::mutex> lock(mutex);
        frames = std::min(frames, held.size() / channels);
        std::vector<float> out(held.begin(), held.begin() + long(frames * channels));
        held.erase(held.begin(), held.begin() + long(frames * channels));
        source->played(frames);
        return out;
    }

    std::vector<float> gains;
    int discards = 0;
    bool isPaused = true;

private:
    class Forwarder : public Output {
    public:
        explicit Forwarder(HoldingDriver &to) : driver(to) {}
        void setPaused(bool paused) override { driver.setPaused(paused); }
        bool failed() const override { return driver.failed(); }
        void discard(const std::function<void()> &forget) override { driver.discard(forget); }
        bool setGain(float gain) override { return driver.setGain(gain); }
        HoldingDriver &driver;
    };

    std::mutex mutex;
    RenderSource *source = nullptr;
    size_t channels = 1;
    std::deque<float> held;
};

std::shared_ptr<TrackFile> openTrack(const QString &name)
{
    std::unique_ptr<TrackFile> track;
    if (TrackFile::open(QFile::encodeName(fixturePath(name)).toStdString(), &track) !=
        AudioResult::Ok)
        return nullptr;
    return std::shared_ptr<TrackFile>(std::move(track));
}

// `frames` frames of a file from `from` on, as its own decoder reads them.
std::vector<float> decoded(const QString &name, int64_t from, long frames)
{
    const auto track = openTrack(name);
    std::vector<float> out(size_t(frames) * size_t(track->format().channels));
    long got = 0;
    if (track->decoder().seek(from) != AudioResult::Ok ||
        track->decoder().read(out.data(), frames, &got) != AudioResult::Ok)
        return {};
    out.resize(size_t(got) * size_t(track->format().channels));
    return out;
}

constexpr int kRate = 44100;
constexpr int64_t kMs = 1000;  // microseconds
}  // namespace

class TestOutput : public QObject {
    Q_OBJECT

private slots:
    // Opening a system and a stream touches no sound device: neither libpulse nor SDL2 is
    // loaded until a track plays. First: nothing before it in this process may play.
    void noSoundLibraryBeforeTheFirstPlay()
    {
        AudioSystem system;
        std::unique_ptr<AudioStream> stream;
        QCOMPARE(
            system.openStream(
                QFile::encodeName(fixturePath(QStringLiteral("two-a-1200.flac"))).toStdString(),
                &stream),
            AudioResult::Ok);
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        QVERIFY(!mapped.contains("libpulse.so"));
        QVERIFY(!mapped.contains("libSDL2"));
    }

    // The server says how much of what was written is still ahead of the listener: heard is
    // the rest, told once, never taken back, never more than was written.
    void clockHearsWhatIsNoLongerAhead()
    {
        StreamClock clock(kRate);
        QCOMPARE(clock.takeHeard(0), 0);
        clock.wrote(22050);                // 500 ms
        clock.ahead(400 * kMs, 10 * kMs);  // 100 ms of it heard
        QCOMPARE(clock.takeHeard(10 * kMs), 4410);
        QCOMPARE(clock.takeHeard(11 * kMs), 0);  // told once
        clock.ahead(450 * kMs, 20 * kMs);        // a rough report: no step back
        QCOMPARE(clock.takeHeard(20 * kMs), 0);
        QCOMPARE(clock.heardFrames(), 4410);
        clock.wrote(4410);
        clock.ahead(300 * kMs, 30 * kMs);
        QCOMPARE(clock.takeHeard(30 * kMs), 26460 - 13230 - 4410);
        clock.ahead(-5 * kMs, 40 * kMs);  // the server ahead of its own word: all heard, no more
        QCOMPARE(clock.takeHeard(40 * kMs), 26460 - 13230);
        QCOMPARE(clock.heardFrames(), clock.writtenFrames());
    }

    // After a flush nothing written before it counts; the count starts again at nothing.
    void clockForgetsWhatWasDiscarded()
    {
        StreamClock clock(kRate);
        clock.wrote(44100);
        clock.ahead(500 * kMs, 0);
        QCOMPARE(clock.takeHeard(0), 22050);
        clock.discard();
        QCOMPARE(clock.heardFrames(), 0);
        QCOMPARE(clock.takeHeard(1 * kMs), 0);  // nothing negative
        clock.wrote(8820);
        clock.ahead(150 * kMs, 60 * kMs);
        QCOMPARE(clock.takeHeard(60 * kMs), 8820 - 6615);
    }

    // Once the server has handed everything to the device its word stops moving: the rest
    // plays out by the clock, stands still while paused, and reports count again once more
    // is written.
    void clockPlaysTheTailOutByTheClock()
    {
        StreamClock clock(kRate);
        clock.wrote(44100);
        clock.ahead(100 * kMs, 1000 * kMs);  // 100 ms left, in the device
        QCOMPARE(clock.takeHeard(1000 * kMs), 39690);
        clock.drained(1000 * kMs);
        clock.ahead(100 * kMs, 1050 * kMs);  // stuck at the device's latency
        QCOMPARE(clock.takeHeard(1050 * kMs), 2205);
        clock.setPaused(true, 1060 * kMs);
        QCOMPARE(clock.takeHeard(1500 * kMs), 441);
        clock.setPaused(false, 1500 * kMs);
        QCOMPARE(clock.takeHeard(1520 * kMs), 882);
        QCOMPARE(clock.takeHeard(9000 * kMs), 44100 - 39690 - 2205 - 441 - 882);  // no further
        clock.wrote(4410);  // the source came back to life (a track queued at the last moment)
        clock.ahead(100 * kMs, 9010 * kMs);
        QCOMPARE(clock.takeHeard(9010 * kMs), 0);
        clock.ahead(0, 9100 * kMs);
        QCOMPARE(clock.takeHeard(9100 * kMs), 4410);
    }

    // The position, the seek and the end follow the listener through a device that holds
    // half a second, and the level is left to a device that sets it.
    void channelFollowsTheListenerThroughTheDevice()
    {
        const QString name = QStringLiteral("long-6s-8k.flac");  // 48000 frames at 8 kHz
        HoldingDriver device;
        std::atomic<int> ends{0};
        ChannelCore channel(openTrack(name), [&ends] { ++ends; });
        QCOMPARE(channel.start(device, true), AudioResult::Ok);
        channel.setVolume(0.5f);
        channel.setMuted(true);
        channel.setMuted(false);
        channel.setPaused(false);
        QCOMPARE(device.gains, (std::vector<float>{1.0f, 0.5f, 0.0f, 0.5f}));

        QCOMPARE(device.take(4000), size_t(4000));
        QCOMPARE(channel.positionFrames(), 0);  // handed over, not heard
        const std::vector<float> first = device.play(1000);
        QCOMPARE(channel.positionFrames(), 1000);
        // The device scales: the channel hands the file's sound over as it is.
        QVERIFY(first == decoded(name, 0, 1000));

        // The seek drops what the device holds; the new place is what is played next.
        QVERIFY(channel.seek(40000));
        QCOMPARE(device.discards, 1);
        QCOMPARE(channel.positionFrames(), 40000);
        QCOMPARE(device.take(4000), size_t(4000));
        QVERIFY(device.play(800) == decoded(name, 40000, 800));
        QCOMPARE(channel.positionFrames(), 40800);

        // Decoded and handed over to its end, the track is not over until it is heard.
        QCOMPARE(device.take(8000), size_t(8000 - 4000));
        QVERIFY(channel.isPlaying());
        device.play(8000 - 800 - 1);
        QVERIFY(channel.isPlaying());
        QCOMPARE(ends.load(), 0);
        device.play(1);
        QVERIFY(!channel.isPlaying());
        while (ends.load() == 0)  // told on the feeder's thread, whenever it gets to run
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        QCOMPARE(ends.load(), 1);
    }
};

QTEST_GUILESS_MAIN(TestOutput)
#include "tst_output.moc"
