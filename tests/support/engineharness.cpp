#include "support/engineharness.h"

#include "audio/audiosystem.h"
#include "support/crossthreadcall.h"

EngineHarness::EngineHarness() : EngineHarness(std::make_unique<CaptureDriver>()) {}

EngineHarness::EngineHarness(std::unique_ptr<OutputDriver> driver)
    : captured(dynamic_cast<CaptureDriver *>(driver.get()))
{
    worker.start();
    audio = new ZUNAAudio(std::make_unique<AudioSystem>(std::move(driver)), 0);
    audio->moveToThread(&worker);
}

EngineHarness::~EngineHarness()
{
    worker.quit();
    worker.wait();
    delete audio;
}

void EngineHarness::run(const std::function<void(ZUNAAudio *)> &request)
{
    CrossThreadCall(audio).run([this, &request] { request(audio); });
}
