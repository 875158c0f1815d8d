#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "audio/output/output.h"

namespace zuna {

class CaptureOutput;

// A sound device for tests and benchmarks that records every frame the speaker would have
// played, and plays into no real device. It pulls in one of two ways:
//   ByHand     pump() does what a sound card's callbacks would do over that many frames,
//              as fast as the caller likes; nothing is pulled otherwise.
//   OwnThread  a thread of its own pulls like an eager sound card, faster than real time:
//              the moment an output is unpaused it takes its first block (setPaused(false)
//              returns once it has), and it goes on until the source ends.
// Without a buffer what is rendered is heard at once. With one (`heldMs`), the device holds
// that much rendered sound ahead of the speaker, as a sound server does: played() comes that
// much later than render(), and while the source has nothing (between tracks) the device
// plays silence, which takes its time in the buffer too.
class CaptureDriver : public OutputDriver {
public:
    enum class Pull { ByHand, OwnThread };
    explicit CaptureDriver(Pull how = Pull::ByHand, int heldMs = 0) : pull(how), bufferMs(heldMs) {}
    ~CaptureDriver() override;

    AudioResult openOutput(const AudioFormat &format, RenderSource &source,
                           std::unique_ptr<Output> *output) override;

    // Without a buffer: pulls and records up to `frames` frames, waiting a little for a
    // decoder that lags; fewer only at the end of the stream. With one: the speaker plays
    // `frames` frames' time, and the count of real frames among them is returned. None
    // while paused, closed or failed.
    size_t pump(size_t frames);
    // Every frame recorded so far (interleaved), and forgets them.
    std::vector<float> takeSamples()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(recorded, {});
    }
    AudioFormat format() const { return currentFormat; }
    bool isOpen() const { return current != nullptr; }
    int outputsOpened() const { return opened; }
    // Makes every later openOutput() fail as if no device were present.
    void setUnavailable(bool value) { unavailable = value; }
    // Fails the open output as an unplugged device does: it pulls no more, failed() says so.
    void failOutput();

private:
    friend class CaptureOutput;
    bool pullable() const;
    size_t pullLocked(size_t frames, bool *ended);
    size_t playBuffered(std::unique_lock<std::mutex> &lock, size_t frames);
    bool fillBuffer(std::unique_lock<std::mutex> &lock, size_t capacity, size_t enough);
    void dropHeld();
    void pullOnOwnThread();

    const Pull pull;
    const int bufferMs;
    // What the device holds, oldest first: the samples of real frames, and runs of frames
    // (positive: real, negative: silence) in the order they are to be heard.
    std::deque<float> held;
    std::deque<long> runs;
    size_t heldFrames = 0;  // real and silent
    std::mutex mutex;       // held while pulling from a source, and for what it touches
    std::condition_variable changed;
    std::vector<float> recorded;
    unsigned long pulls = 0;
    // Atomic, as the test reads and sets them without the lock.
    std::atomic<CaptureOutput *> current{nullptr};
    std::atomic<AudioFormat> currentFormat{AudioFormat()};
    std::atomic<int> opened{0};
    std::atomic<bool> unavailable{false}, quitting{false};
    std::thread puller = pull == Pull::OwnThread
                             ? std::thread(&CaptureDriver::pullOnOwnThread, this)
                             : std::thread();  // last: it uses all above
};

}  // namespace zuna
