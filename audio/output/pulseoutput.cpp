// Playback through the sound server's asynchronous API. The server holds about half a
// second of our audio, so the sink never starves while the machine is busy; pause corks
// the stream and a seek flushes it, so neither waits for that buffer to play out, and the
// position heard is what was written less what the server says is still ahead.

#include "audio/output/pulseoutput.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "audio/output/pulseconnection.h"
#include "audio/output/streamclock.h"

namespace zuna {

namespace {

constexpr int kBufferMs = 500;
constexpr int kRequestMs = 50;  // the server asks for more in pieces of at least this
// Little is needed to start: the buffer fills right behind it, faster than it plays, and
// a flush must be heard at once.
constexpr int kStartMs = 20;
// How often the position is brought up to date, and writing is retried after a request
// found the decoder behind (once as much room as a request has come free).
constexpr int kTickMs = 20;
constexpr int kOpenTimeoutMs = 3000;

int64_t nowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

uint32_t bytesFor(int ms, const pa_sample_spec &spec)
{
    return uint32_t(int64_t(spec.rate) * ms / 1000) * uint32_t(spec.channels) *
           uint32_t(sizeof(float));
}

class PulseOutput : public Output {
public:
    PulseOutput(std::shared_ptr<PulseConnection> to, RenderSource &from, const AudioFormat &f)
        : connection(std::move(to)), pa(connection->api()), source(from), clock(f.rate)
    {
        spec.format = PA_SAMPLE_FLOAT32NE;
        spec.rate = uint32_t(f.rate);
        spec.channels = uint8_t(f.channels);
        frameBytes = sizeof(float) * size_t(f.channels);
    }

    ~PulseOutput() override
    {
        PulseLock lock(*connection);
        if (ticker)
            connection->loopApi()->time_free(ticker);
        if (stream) {
            pa.streamSetStateCallback(stream, nullptr, nullptr);
            pa.setWriteCallback(stream, nullptr, nullptr);
            pa.setUnderflowCallback(stream, nullptr, nullptr);
            pa.streamDisconnect(stream);  // the server drops what it held: silence at once
            pa.streamUnref(stream);
        }
    }

    AudioResult open()
    {
        PulseLock lock(*connection);
        stream = pa.streamNew(connection->context(), "ZUNA", &spec, nullptr);
        if (!stream)
            return AudioResult::NoDevice;
        pa.streamSetStateCallback(stream, &PulseOutput::stateChanged, this);
        pa.setWriteCallback(stream, &PulseOutput::writable, this);
        pa.setUnderflowCallback(stream, &PulseOutput::underflowed, this);
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.tlength = bytesFor(kBufferMs, spec);
        attr.prebuf = bytesFor(kStartMs, spec);
        attr.minreq = bytesFor(kRequestMs, spec);
        attr.fragsize = uint32_t(-1);
        const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                                             PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa.connectPlayback(stream, nullptr, &attr, flags, nullptr, nullptr) < 0)
            return AudioResult::NoDevice;
        connection->waitUntil([this] { return pa.streamState(stream) != PA_STREAM_CREATING; },
                              kOpenTimeoutMs);
        if (pa.streamState(stream) != PA_STREAM_READY)
            return AudioResult::NoDevice;
        const timeval first = pulseTimeIn(kTickMs);
        ticker = connection->loopApi()->time_new(connection->loopApi(), &first, &PulseOutput::tick,
                                                 this);
        return AudioResult::Ok;
    }

    void setPaused(bool paused) override
    {
        PulseLock lock(*connection);
        if (!usable())
            return;
        // Nothing is rendered before the first uncork: the level is set by then.
        playing = !paused;
        if (playing)
            fill();
        operation(pa.cork(stream, paused ? 1 : 0, nullptr, nullptr));
        clock.setPaused(paused, nowUs());
    }

    bool setGain(float gain) override
    {
        PulseLock lock(*connection);
        if (usable()) {
            pa_cvolume volumes;
            pa.setVolumes(&volumes, spec.channels, pa.volumeFromLinear(double(gain)));
            operation(pa.setStreamVolume(connection->context(), pa.streamIndex(stream), &volumes,
                                         nullptr, nullptr));
        }
        return true;
    }

    bool failed() const override { return lost.load(); }

    void discard(const std::function<void()> &forget) override
    {
        PulseLock lock(*connection);  // no write can come between the flush and `forget`
        if (usable())
            operation(pa.flush(stream, nullptr, nullptr));
        clock.discard();
        endTriggered = false;
        forget();
    }

private:
    bool usable() const { return stream && pa.streamState(stream) == PA_STREAM_READY; }
    void operation(pa_operation *op)
    {
        if (op)
            pa.operationUnref(op);
    }

    // Writes what the source has, up to what the server has room for, if that is at least
    // `enough` bytes.
    void fill(size_t enough = 0)
    {
        if (!playing || !usable())
            return;
        size_t room = pa.writableSize(stream);
        if (room < std::max(enough, frameBytes))
            return;
        bool ended = false;
        while (room >= frameBytes && !ended) {
            void *data = nullptr;
            size_t bytes = room;
            if (pa.beginWrite(stream, &data, &bytes) < 0 || !data)
                return;
            const size_t frames = std::min(bytes, room) / frameBytes;
            const size_t got = source.render(static_cast<float *>(data), frames, &ended);
            if (got == 0) {
                pa.cancelWrite(stream);
                break;
            }
            pa.write(stream, data, got * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
            clock.wrote(int64_t(got));
            endTriggered = false;
            room -= got * frameBytes;
            if (got < frames)
                break;  // the decoder is behind; the next tick writes more
        }
        // A last piece shorter than the start threshold would otherwise wait for more.
        if (ended && !endTriggered) {
            operation(pa.trigger(stream, nullptr, nullptr));
            endTriggered = true;
        }
    }

    // Tells the source what the listener has heard since the last time.
    void report()
    {
        if (!usable())
            return;
        const int64_t now = nowUs();
        pa_usec_t ahead = 0;
        int negative = 0;
        // Fails until the server's first timing report, and right after a flush.
        if (pa.latency(stream, &ahead, &negative) == 0)
            clock.ahead(negative ? 0 : int64_t(ahead), now);
        const int64_t heard = clock.takeHeard(now);
        if (heard > 0)
            source.played(size_t(heard));
    }

    static void stateChanged(pa_stream *s, void *self)
    {
        auto *output = static_cast<PulseOutput *>(self);
        if (!PA_STREAM_IS_GOOD(output->pa.streamState(s)))
            output->lost.store(true);  // the server went away, or dropped us
        output->connection->signal();
    }
    static void writable(pa_stream *, size_t, void *self)
    {
        static_cast<PulseOutput *>(self)->fill();
    }
    static void underflowed(pa_stream *, void *self)
    {
        auto *output = static_cast<PulseOutput *>(self);
        // Only the end of the sound empties a buffer this size; what the device still holds
        // plays out by the clock.
        if (output->endTriggered)
            output->clock.drained(nowUs());
    }
    static void tick(pa_mainloop_api *api, pa_time_event *event, const timeval *, void *self)
    {
        auto *output = static_cast<PulseOutput *>(self);
        output->fill(bytesFor(kRequestMs, output->spec));
        output->report();
        const timeval next = pulseTimeIn(kTickMs);
        api->time_restart(event, &next);
    }

    const std::shared_ptr<PulseConnection> connection;  // first: outlives the stream
    const PulseApi &pa;
    RenderSource &source;
    pa_sample_spec spec{};
    size_t frameBytes = 0;
    pa_stream *stream = nullptr;
    pa_time_event *ticker = nullptr;
    StreamClock clock;
    bool playing = false;       // uncorked, and the source may be rendered
    bool endTriggered = false;  // the source's end was written and the server told to play it
    std::atomic<bool> lost{false};
};

class PulseOutputDriver : public OutputDriver {
public:
    AudioResult openOutput(const AudioFormat &format, RenderSource &source,
                           std::unique_ptr<Output> *output) override
    {
        output->reset();
        if (!format.isValid())
            return AudioResult::NoDevice;
        // A server that went away (killed, restarted) is asked for again: the next track
        // plays on whatever answers now.
        if (connection && !stillReady())
            connection.reset();
        if (!connection)
            connection = PulseConnection::open();
        if (!connection)
            return AudioResult::NoDevice;
        auto pulse = std::make_unique<PulseOutput>(connection, source, format);
        const AudioResult result = pulse->open();
        if (result == AudioResult::Ok)
            *output = std::move(pulse);
        return result;
    }

private:
    bool stillReady() const
    {
        PulseLock lock(*connection);
        return connection->ready();
    }

    std::shared_ptr<PulseConnection> connection;
};

}  // namespace

std::unique_ptr<OutputDriver> makePulseOutputDriver()
{
    return std::make_unique<PulseOutputDriver>();
}

}  // namespace zuna
