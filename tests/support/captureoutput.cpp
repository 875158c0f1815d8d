#include "support/captureoutput.h"

#include <atomic>
#include <chrono>

#include "support/timescale.h"

class CaptureOutput : public Output {
public:
    CaptureOutput(CaptureDriver &owner, RenderSource &from) : driver(owner), source(from) {}
    ~CaptureOutput() override { driver.detach(this); }

    void setPaused(bool paused) override
    {
        std::unique_lock<std::mutex> lock(driver.mutex);
        running = !paused;
        if (running)
            driver.resumed(lock);
    }
    bool failed() const override { return lost.load(); }

    CaptureDriver &driver;
    RenderSource &source;
    bool running = false;  // guarded by the driver's mutex
    // Atomic, as the channel asks while holding its own lock, which pulling takes inside ours.
    std::atomic<bool> lost{false};
};

CaptureDriver::CaptureDriver(Pull how) : pull(how)
{
    if (pull == Pull::OwnThread)
        puller = std::thread(&CaptureDriver::pullOnOwnThread, this);
}

CaptureDriver::~CaptureDriver()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        quitting = true;
    }
    changed.notify_all();
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
    auto capture = std::make_unique<CaptureOutput>(*this, source);
    current = capture.get();
    currentFormat = format;
    ++opened;
    *output = std::move(capture);
    return AudioResult::Ok;
}

void CaptureDriver::detach(CaptureOutput *output)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (current == output)
        current = nullptr;
}

bool CaptureDriver::pullable() const
{
    return current && current->running && !current->lost;
}

size_t CaptureDriver::pullLocked(size_t frames, bool *ended)
{
    // The speaker is the recording: what is rendered is heard at once.
    const size_t channels = size_t(currentFormat.channels);
    const size_t start = recorded.size();
    recorded.resize(start + frames * channels);
    const size_t got = current->source.render(recorded.data() + start, frames, ended);
    recorded.resize(start + got * channels);
    if (got > 0)
        current->source.played(got);
    ++pulls;
    return got;
}

void CaptureDriver::resumed(std::unique_lock<std::mutex> &lock)
{
    if (pull != Pull::OwnThread)
        return;
    // An eager card: the first block goes before setPaused(false) returns.
    const unsigned long before = pulls;
    changed.notify_all();
    changed.wait_for(lock, scaled(std::chrono::seconds(5)),
                     [&] { return pulls != before || !pullable(); });
}

void CaptureDriver::pullOnOwnThread()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!quitting) {
        if (!pullable()) {
            changed.wait(lock);
            continue;
        }
        bool ended = false;
        const size_t got = pullLocked(512, &ended);
        changed.notify_all();
        // Let the engine and the feeder in between blocks; wait longer for a decoder that
        // has nothing ready or a source that has ended.
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::microseconds(got > 0 ? 20 : 500));
        lock.lock();
    }
}

size_t CaptureDriver::pump(size_t frames)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + scaled(seconds(5));
    std::unique_lock<std::mutex> lock(mutex);
    size_t pulled = 0;
    while (pulled < frames && pullable()) {
        bool ended = false;
        const size_t got = pullLocked(frames - pulled, &ended);
        pulled += got;
        if (ended || steady_clock::now() > deadline)
            break;
        if (got == 0) {
            // The decoder runs on its own thread; give it a moment without holding the lock
            // that the engine needs to close the output.
            lock.unlock();
            std::this_thread::sleep_for(microseconds(200));
            lock.lock();
        }
    }
    return pulled;
}

std::vector<float> CaptureDriver::takeSamples()
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<float> taken;
    taken.swap(recorded);
    return taken;
}

AudioFormat CaptureDriver::format() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return currentFormat;
}

bool CaptureDriver::isOpen() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return current != nullptr;
}

int CaptureDriver::outputsOpened() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return opened;
}

void CaptureDriver::failOutput()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (current)
        current->lost = true;
}

void CaptureDriver::setUnavailable(bool value)
{
    std::lock_guard<std::mutex> lock(mutex);
    unavailable = value;
}
