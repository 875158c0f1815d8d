#include "support/captureoutput.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "support/timescale.h"

namespace zuna {

using namespace std::chrono;

class CaptureOutput : public Output {
public:
    CaptureOutput(CaptureDriver &owner, RenderSource &from) : driver(owner), source(from) {}
    ~CaptureOutput() override
    {
        std::lock_guard<std::mutex> lock(driver.mutex);
        if (driver.current == this) {
            driver.current = nullptr;
            driver.dropHeld();  // a closed device's buffer is never heard
        }
    }
    void setPaused(bool paused) override
    {
        std::unique_lock<std::mutex> lock(driver.mutex);
        running = !paused;
        if (!running || driver.pull != CaptureDriver::Pull::OwnThread)
            return;
        // An eager card: the first block goes before setPaused(false) returns.
        const unsigned long before = driver.pulls;
        driver.changed.wait_for(lock, scaled(seconds(5)),
                                [&] { return driver.pulls != before || !driver.pullable(); });
    }
    bool failed() const override { return lost; }

    CaptureDriver &driver;
    RenderSource &source;
    bool running = false;  // guarded by the driver's mutex
    // Atomic, as the channel asks while holding its own lock, which pulling takes inside ours.
    std::atomic<bool> lost{false};
};

CaptureDriver::~CaptureDriver()
{
    quitting = true;
    if (puller.joinable())
        puller.join();
}

AudioResult CaptureDriver::openOutput(const AudioFormat &format, RenderSource &source,
                                      std::unique_ptr<Output> *output)
{
    output->reset();
    std::lock_guard<std::mutex> lock(mutex);
    if (unavailable || !format.isValid())
        return AudioResult::NoDevice;
    *output = std::make_unique<CaptureOutput>(*this, source);
    current = static_cast<CaptureOutput *>(output->get());
    dropHeld();
    currentFormat = format;
    ++opened;
    return AudioResult::Ok;
}

void CaptureDriver::failOutput()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (CaptureOutput *output = current)
        output->lost = true;
}

bool CaptureDriver::pullable() const
{
    const CaptureOutput *output = current;
    return output && output->running && !output->lost;
}

size_t CaptureDriver::pullLocked(size_t frames, bool *ended)
{
    // The speaker is the recording: what is rendered is heard at once.
    const size_t channels = size_t(currentFormat.load().channels), start = recorded.size();
    recorded.resize(start + frames * channels);
    RenderSource &source = current.load()->source;
    const size_t got = source.render(recorded.data() + start, frames, ended);
    recorded.resize(start + got * channels);
    if (got > 0)
        source.played(got);
    ++pulls;
    changed.notify_all();
    return got;
}

void CaptureDriver::pullOnOwnThread()
{
    // Lets the engine and the feeder in between blocks, longer when nothing came.
    while (!quitting)
        std::this_thread::sleep_for(microseconds(pump(512) > 0 ? 20 : 500));
}

void CaptureDriver::dropHeld()
{
    held.clear();
    runs.clear();
    heldFrames = 0;
}

bool CaptureDriver::fillBuffer(std::unique_lock<std::mutex> &lock, size_t capacity, size_t enough)
{
    const size_t channels = size_t(currentFormat.load().channels);
    const auto deadline = steady_clock::now() + scaled(seconds(5));
    std::vector<float> block;
    while (heldFrames < capacity && pullable()) {
        const size_t room = capacity - heldFrames;
        block.resize(room * channels);
        bool ended = false;
        const size_t got = current.load()->source.render(block.data(), room, &ended);
        if (got > 0) {
            held.insert(held.end(), block.begin(), block.begin() + long(got * channels));
            if (!runs.empty() && runs.back() > 0)
                runs.back() += long(got);
            else
                runs.push_back(long(got));
            heldFrames += got;
        } else if (ended) {
            runs.push_back(-long(room));  // nothing to play for now: silence
            heldFrames += room;
        } else if (heldFrames >= enough) {
            // The channel keeps within its own reach of what was heard, so a device that
            // waited for a full buffer could wait for ever: it plays what it holds, as a
            // sound server does once its start threshold is reached.
            return true;
        } else if (steady_clock::now() > deadline) {
            return false;
        } else {
            changed.wait_for(lock, microseconds(200));  // the decoder lags: a moment for it
        }
    }
    return true;
}

size_t CaptureDriver::playBuffered(std::unique_lock<std::mutex> &lock, size_t frames)
{
    const AudioFormat format = currentFormat;
    const size_t channels = size_t(format.channels);
    const size_t capacity = std::max<size_t>(1, size_t(format.rate) * size_t(bufferMs) / 1000);
    const size_t period = std::max<size_t>(1, std::min(capacity, size_t(format.rate) / 200));
    // The speaker takes a step's frames from what the device holds, which then takes as much
    // as it has room for: frames rendered after a seek come behind those from before it.
    size_t heard = 0;
    if (heldFrames == 0 && !fillBuffer(lock, capacity, period))
        return 0;
    for (size_t done = 0; done < frames && pullable();) {
        size_t left = std::min(period, frames - done), real = 0;
        done += left;
        while (left > 0 && !runs.empty()) {
            long &run = runs.front();
            const size_t take = std::min(left, size_t(std::labs(run)));
            if (run > 0) {
                const auto end = held.begin() + long(take * channels);
                recorded.insert(recorded.end(), held.begin(), end);
                held.erase(held.begin(), end);
                real += take;
                run -= long(take);
            } else {
                run += long(take);
            }
            heldFrames -= take;
            left -= take;
            if (run == 0)
                runs.pop_front();
        }
        if (real > 0)
            current.load()->source.played(real);
        heard += real;
        ++pulls;
        changed.notify_all();
        if (!fillBuffer(lock, capacity, period))
            break;
    }
    return heard;
}

size_t CaptureDriver::pump(size_t frames)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (bufferMs > 0)
        return playBuffered(lock, frames);
    const auto deadline = steady_clock::now() + scaled(seconds(5));
    size_t pulled = 0;
    for (bool ended = false; pulled < frames && pullable() && !ended;) {
        const size_t got = pullLocked(frames - pulled, &ended);
        pulled += got;
        if (steady_clock::now() > deadline)
            break;
        // The decoder runs on its own thread: a moment for it, without holding the lock
        // that the engine needs to close the output.
        if (got == 0 && !ended)
            changed.wait_for(lock, microseconds(200));
    }
    return pulled;
}

}  // namespace zuna
