#pragma once

#include <QThread>
#include <functional>
#include <memory>

#include "audio/engine/zunaaudio.h"
#include "support/captureoutput.h"

// A ZUNAAudio on its own worker thread, as in the player, without its monitor timer: the
// test calls timeout() itself. It plays into a capture device, pumped by hand unless told
// to pull on its own thread.
class EngineHarness {
public:
    explicit EngineHarness(CaptureDriver::Pull pull = CaptureDriver::Pull::ByHand);
    ~EngineHarness();

    ZUNAAudio *engine() const { return audio; }
    CaptureDriver *capture() const { return captured; }

    // Runs `request` (a lambda or a slot such as &ZUNAAudio::Pause) on the engine's thread
    // and returns once it is done.
    void run(const std::function<void(ZUNAAudio *)> &request);
    void playfile(const QString &path)
    {
        run([&](ZUNAAudio *e) { e->Playfile(path); });
    }
    void timeout() { run(&ZUNAAudio::Timeout); }
    // Lets the engine take in what its own threads told it until `done` holds; false if it
    // never does.
    bool waitFor(const std::function<bool()> &done);

private:
    QThread worker;
    ZUNAAudio *audio = nullptr;
    CaptureDriver *captured = nullptr;
};
