#include "support/captureoutput.h"

#include <chrono>

#include "support/timescale.h"

using namespace std::chrono;

class CaptureOutput : public Output {
public:
    CaptureOutput(CaptureDriver &owner, RenderSource &from) : driver(owner), source(from) {}
    ~CaptureOutput() override
    {
        std::lock_guard<std::mutex> lock(driver.mutex);
        if (driver.current == this)
            driver.current = nullptr;
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

size_t CaptureDriver::pump(size_t frames)
{
    const auto deadline = steady_clock::now() + scaled(seconds(5));
    std::unique_lock<std::mutex> lock(mutex);
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
