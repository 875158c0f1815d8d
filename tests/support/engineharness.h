#pragma once

#include <QThread>
#include <functional>
#include <memory>

#include "support/captureoutput.h"
#include "audio/engine/zunaaudio.h"

// A ZUNAAudio on its own worker thread, as in the player, without its monitor timer: the
// test calls timeout() itself. By default it plays into a CaptureDriver pumped by hand.
class EngineHarness {
public:
    EngineHarness();
    explicit EngineHarness(std::unique_ptr<OutputDriver> driver);
    ~EngineHarness();

    ZUNAAudio *engine() const { return audio; }
    CaptureDriver *capture() const { return captured; }  // null with another driver

    // Runs `request` (a lambda or a slot such as &ZUNAAudio::Pause) on the engine's thread
    // and returns once it is done.
    void run(const std::function<void(ZUNAAudio *)> &request);
    void playfile(const QString &path)
    {
        run([&](ZUNAAudio *e) { e->Playfile(path); });
    }
    void timeout() { run(&ZUNAAudio::Timeout); }

private:
    QThread worker;
    ZUNAAudio *audio = nullptr;
    CaptureDriver *captured = nullptr;
};
