#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/output/output.h"

class CaptureOutput;

// A sound device for tests and benchmarks that records every frame the speaker would have
// played, and plays into no real device. It pulls in one of two ways:
//   ByHand     pump() does what a sound card's callbacks would do over that many frames,
//              as fast as the caller likes; nothing is pulled otherwise.
//   OwnThread  a thread of its own pulls like an eager sound card, faster than real time:
//              the moment an output is unpaused it takes its first block (setPaused(false)
//              returns once it has), and it goes on until the source ends.
class CaptureDriver : public OutputDriver {
public:
    enum class Pull { ByHand, OwnThread };
    explicit CaptureDriver(Pull how = Pull::ByHand);
    ~CaptureDriver() override;

    AudioResult openOutput(const AudioFormat &format, RenderSource &source,
                           std::unique_ptr<Output> *output) override;

    // ByHand: pulls up to `frames` frames from the open output, waiting a little for a
    // decoder that has not caught up yet, and records them. Returns the frames pulled: fewer
    // only at the end of the stream; none while paused, with no output open or once it failed.
    size_t pump(size_t frames);

    // Every frame recorded so far (interleaved), and forgets them.
    std::vector<float> takeSamples();

    AudioFormat format() const;
    bool isOpen() const;
    int outputsOpened() const;

    // Makes every later openOutput() fail as if no device were present.
    void setUnavailable(bool unavailable);

    // Makes the open output fail as an unplugged device does: it pulls nothing more and
    // reports itself failed.
    void failOutput();

private:
    friend class CaptureOutput;
    void detach(CaptureOutput *output);
    void resumed(std::unique_lock<std::mutex> &lock);
    bool pullable() const;
    size_t pullLocked(size_t frames, bool *ended);
    void pullOnOwnThread();

    const Pull pull;
    mutable std::mutex mutex;  // guards everything below; held while pulling from a source
    std::condition_variable changed;
    CaptureOutput *current = nullptr;
    AudioFormat currentFormat;
    std::vector<float> recorded;
    int opened = 0;
    unsigned long pulls = 0;
    bool unavailable = false;
    bool quitting = false;
    std::thread puller;  // OwnThread only
};
