#include "support/engineharness.h"

#include <QCoreApplication>

#include "audio/audiosystem.h"
#include "support/crossthreadcall.h"
#include "support/timescale.h"

EngineHarness::EngineHarness(CaptureDriver::Pull pull) : captured(new CaptureDriver(pull))
{
    worker.start();
    audio =
        new ZUNAAudio(std::make_unique<AudioSystem>(std::unique_ptr<OutputDriver>(captured)), 0);
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
    QCoreApplication::processEvents();  // what the engine reported meanwhile
}

bool EngineHarness::waitFor(const std::function<bool()> &done)
{
    const QDeadlineTimer deadline(scaledMs(5000));
    for (run([](ZUNAAudio *) {}); !done(); run([](ZUNAAudio *) {})) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(1);
    }
    return true;
}
