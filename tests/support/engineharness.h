#pragma once

#include <QThread>
#include <functional>
#include <memory>

#include "audio/captureoutput.h"
#include "audio/zunaaudio.h"

// A ZUNAAudio running on its own worker thread, as in the player, with no monitor timer:
// the test calls Timeout() itself. By default it plays into a CaptureDriver that the test
// pumps by hand.
class EngineHarness {
public:
    EngineHarness();
    explicit EngineHarness(std::unique_ptr<OutputDriver> driver);
    ~EngineHarness();

    ZUNAAudio *engine() const { return audio; }
    CaptureDriver *capture() const { return captured; }  // null with another driver

    // Runs `request` on the engine's thread and returns once it is done.
    void run(const std::function<void(ZUNAAudio *)> &request);
    void playfile(const QString &path);
    void timeout();

private:
    QThread worker;
    ZUNAAudio *audio = nullptr;
    CaptureDriver *captured = nullptr;
};
