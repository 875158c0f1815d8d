// ThreadSanitizer builds only. Qt (not built with TSan here) hands queued signals and
// events from one thread to another through its own futex-based locks, which TSan cannot
// see; every object passed along then looks raced on. This tells TSan about that handoff,
// as a Qt built with TSan would: emitting a signal releases, and delivering any event
// acquires, one shared synchronisation point. What our own threads share outside Qt's
// queues (the channel's ring, the capture device, the engine's atomics) is untouched by it.

#include <dlfcn.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QObject>
#include <QThread>

extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);

// Qt's hook for signal spies (QtCore's private qobject_p.h), declared here as QtCore
// exports it: four callbacks run at the start and end of each signal and slot.
struct QSignalSpyCallbackSet {
    using BeginCallback = void (*)(QObject *caller, int signalOrMethodIndex, void **argv);
    using EndCallback = void (*)(QObject *caller, int signalOrMethodIndex);
    BeginCallback signal_begin_callback, slot_begin_callback;
    EndCallback signal_end_callback, slot_end_callback;
};
void Q_CORE_EXPORT qt_register_signal_spy_callbacks(QSignalSpyCallbackSet *callback_set);

namespace {
char handoff;

void onSignal(QObject *, int, void **)
{
    __tsan_release(&handoff);
}

bool onEvent(void **)
{
    // What this thread did before is published, and what others posted is taken in.
    __tsan_release(&handoff);
    __tsan_acquire(&handoff);
    return false;  // deliver the event as usual
}

QSignalSpyCallbackSet callbacks{onSignal, nullptr, nullptr, nullptr};

const bool registered = [] {
    qt_register_signal_spy_callbacks(&callbacks);
    return QInternal::registerCallback(QInternal::EventNotifyCallback, onEvent);
}();
}  // namespace

// A thread that has ended emitted QThread::finished on its way out (a release above), but
// wait() may learn of the end from a flag under Qt's futex lock alone; so a wait() that
// returns true acquires. This definition takes the place of QtCore's for calls from our code.
bool QThread::wait(QDeadlineTimer deadline)
{
    using Wait = bool (*)(QThread *, QDeadlineTimer);
    static const auto real =
        reinterpret_cast<Wait>(dlsym(RTLD_NEXT, "_ZN7QThread4waitE14QDeadlineTimer"));
    const bool ended = real(this, deadline);
    if (ended)
        __tsan_acquire(&handoff);
    return ended;
}

// For handoffs Qt makes without a signal (invokeMethod with a functor, a blocking call's
// return): the test support calls these around them.
void tsanHandoffRelease()
{
    __tsan_release(&handoff);
}

void tsanHandoffAcquire()
{
    __tsan_acquire(&handoff);
}
