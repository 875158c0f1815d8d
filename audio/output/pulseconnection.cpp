#include "audio/output/pulseconnection.h"

#include <sys/time.h>

namespace zuna {

namespace {
constexpr int kConnectTimeoutMs = 3000;
}

timeval pulseTimeIn(int ms)
{
    timeval now{};
    gettimeofday(&now, nullptr);
    const long usec = now.tv_usec + long(ms) * 1000;
    now.tv_sec += usec / 1000000;
    now.tv_usec = usec % 1000000;
    return now;
}

PulseConnection::PulseConnection(const PulseApi &api) : pa(api) {}

std::shared_ptr<PulseConnection> PulseConnection::open()
{
    const PulseApi *api = pulseApi();
    if (!api)
        return nullptr;
    std::shared_ptr<PulseConnection> connection(new PulseConnection(*api));
    PulseConnection &c = *connection;
    c.loop = api->mainloopNew();
    if (!c.loop)
        return nullptr;
    c.ctx = api->contextNew(c.loopApi(), "ZUNA");
    if (!c.ctx)
        return nullptr;
    api->contextSetStateCallback(
        c.ctx, [](pa_context *, void *self) { static_cast<PulseConnection *>(self)->signal(); },
        &c);
    // No server started on our behalf: without one, the fallback device plays.
    if (api->contextConnect(c.ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        api->mainloopStart(c.loop) < 0)
        return nullptr;
    PulseLock lock(c);
    const bool answered = c.waitUntil(
        [&c] {
            const pa_context_state_t state = c.pa.contextState(c.ctx);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        kConnectTimeoutMs);
    return answered && c.ready() ? connection : nullptr;
}

PulseConnection::~PulseConnection()
{
    if (loop)
        pa.mainloopStop(loop);  // joins the loop's thread: no callback runs after this
    if (ctx) {
        pa.contextSetStateCallback(ctx, nullptr, nullptr);
        pa.contextDisconnect(ctx);
        pa.contextUnref(ctx);
    }
    if (loop)
        pa.mainloopFree(loop);
}

bool PulseConnection::waitUntil(const std::function<bool()> &done, int timeoutMs) const
{
    struct Alarm {
        const PulseConnection *connection;
        bool rang = false;
    } alarm{this};
    const timeval when = pulseTimeIn(timeoutMs);
    pa_time_event *event = loopApi()->time_new(
        loopApi(), &when,
        [](pa_mainloop_api *, pa_time_event *, const timeval *, void *data) {
            auto *a = static_cast<Alarm *>(data);
            a->rang = true;
            a->connection->signal();
        },
        &alarm);
    bool result = true;
    while (!done()) {
        if (alarm.rang) {
            result = false;
            break;
        }
        pa.wait(loop);
    }
    loopApi()->time_free(event);
    return result;
}

}  // namespace zuna
