#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "audio/output.h"

class CaptureOutput;

// A sound device for tests and benchmarks. It records every frame the speaker would have
// played and is driven by hand: pump() does what a sound card's callbacks would do over
// that many frames, as fast as the caller likes. It plays into no real device.
class CaptureDriver : public OutputDriver {
public:
    ~CaptureDriver() override;

    AudioResult openOutput(const AudioFormat &format, RenderSource &source,
                           std::unique_ptr<Output> *output) override;

    // Pulls up to `frames` frames from the open output, waiting briefly for a decoder that
    // has not caught up yet, and records them. Returns the frames pulled: fewer only at
    // the end of the stream; none while paused, before start(), with no output open or
    // once it failed.
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

    mutable std::mutex mutex;  // guards everything below; held while pulling from a source
    CaptureOutput *current = nullptr;
    AudioFormat currentFormat;
    std::vector<float> recorded;
    int opened = 0;
    bool unavailable = false;
};
