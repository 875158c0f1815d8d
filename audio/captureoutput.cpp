#include "audio/captureoutput.h"

#include <chrono>
#include <thread>

class CaptureOutput : public Output {
public:
    CaptureOutput(CaptureDriver &driver, RenderSource &source) : driver(driver), source(source) {}
    ~CaptureOutput() override { driver.detach(this); }

    void start() override { setPaused(false); }
    void setPaused(bool paused) override
    {
        std::lock_guard<std::mutex> lock(driver.mutex);
        running = !paused;
    }
    int64_t framesPlayed() const override { return heard.load(std::memory_order_acquire); }
    bool failed() const override { return lost.load(); }

    CaptureDriver &driver;
    RenderSource &source;
    bool running = false;  // guarded by the driver's mutex
    std::atomic<int64_t> heard{0};
    // Atomic, as the channel asks while holding its own lock, which pump() takes inside ours.
    std::atomic<bool> lost{false};
};

CaptureDriver::~CaptureDriver() = default;

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

size_t CaptureDriver::pump(size_t frames)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + seconds(5);
    std::unique_lock<std::mutex> lock(mutex);
    size_t pulled = 0;
    while (pulled < frames && current && current->running && !current->lost.load()) {
        const size_t channels = size_t(currentFormat.channels);
        const size_t start = recorded.size();
        recorded.resize(start + (frames - pulled) * channels);
        bool ended = false;
        const size_t got = current->source.render(recorded.data() + start, frames - pulled, &ended);
        recorded.resize(start + got * channels);
        current->heard.fetch_add(int64_t(got), std::memory_order_acq_rel);
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
        current->lost.store(true);
}

void CaptureDriver::setUnavailable(bool value)
{
    std::lock_guard<std::mutex> lock(mutex);
    unavailable = value;
}
