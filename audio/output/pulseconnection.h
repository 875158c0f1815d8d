#pragma once

#include <functional>
#include <memory>

#include "audio/output/pulseapi.h"

namespace zuna {

// One connection to the sound server: libpulse's main-loop thread and a context on it.
// Everything done with the connection, its streams and their callbacks happens with the
// loop locked (callbacks run on the loop's thread, which holds the lock while it runs them).
class PulseConnection {
public:
    // A connection that the server has accepted, or null when none answers within a few
    // seconds (a server that is stopped must not hang the caller).
    static std::shared_ptr<PulseConnection> open();
    ~PulseConnection();  // on any thread but the loop's

    PulseConnection(const PulseConnection &) = delete;
    PulseConnection &operator=(const PulseConnection &) = delete;

    const PulseApi &api() const { return pa; }
    pa_context *context() const { return ctx; }
    pa_mainloop_api *loopApi() const { return pa.mainloopApi(loop); }
    // Whether the server is still there; with the loop locked.
    bool ready() const { return pa.contextState(ctx) == PA_CONTEXT_READY; }

    void lock() const { pa.lock(loop); }
    void unlock() const { pa.unlock(loop); }
    // Wakes whoever waits in waitUntil(); from the loop's callbacks.
    void signal() const { pa.signal(loop, 0); }
    // With the loop locked: waits until `done` holds, or `timeoutMs` have passed (false).
    // `done` is asked again each time a callback signals.
    bool waitUntil(const std::function<bool()> &done, int timeoutMs) const;

private:
    explicit PulseConnection(const PulseApi &api);

    const PulseApi &pa;
    pa_threaded_mainloop *loop = nullptr;
    pa_context *ctx = nullptr;
};

// Holds the loop's lock for a scope.
class PulseLock {
public:
    explicit PulseLock(const PulseConnection &connection) : held(connection) { held.lock(); }
    ~PulseLock() { held.unlock(); }
    PulseLock(const PulseLock &) = delete;
    PulseLock &operator=(const PulseLock &) = delete;

private:
    const PulseConnection &held;
};

// A time on the loop's clock, `ms` from now, for its time events.
timeval pulseTimeIn(int ms);

}  // namespace zuna
