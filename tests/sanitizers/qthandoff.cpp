// ThreadSanitizer builds only. Qt (not built with TSan here) hands a queued call from one
// thread to another through its own futex-based locks, which TSan cannot see; every object
// passed along would look raced. This tells TSan about each handoff, per object: emitting a
// signal releases on the sender, and delivering a queued call from a signal acquires on that
// sender; a functor handed to invokeMethod() releases on the object it is sent to, and a
// queued call without a sender acquires on its receiver; a task handed to a thread pool
// releases, and acquires as it starts (on one address for all pools: the task must not read
// anything of its own before it has). A thread so learns only what the
// objects it hears from did before they spoke. Nothing else is ordered: what threads share
// outside Qt's queues (the channel's ring, the capture device, the engine's atomics) stays
// checked.

#include <QtCore/private/qobject_p.h>
#include <dlfcn.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QThreadPool>

#include "sanitizers/tsanhandoff.h"

extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);

namespace {
void onSignal(QObject *sender, int, void **)
{
    __tsan_release(sender);
}

bool onEvent(void **data)
{
    // data: the receiver, the event, and where a callback's verdict would go.
    const auto *event = static_cast<const QEvent *>(data[1]);
    if (event->type() == QEvent::MetaCall) {
        const QObject *sender = static_cast<const QAbstractMetaCallEvent *>(event)->sender();
        __tsan_acquire(sender ? const_cast<QObject *>(sender) : data[0]);
    }
    return false;  // deliver the event as usual
}

QSignalSpyCallbackSet callbacks{onSignal, nullptr, nullptr, nullptr};

const bool registered = [] {
    qt_register_signal_spy_callbacks(&callbacks);
    return QInternal::registerCallback(QInternal::EventNotifyCallback, onEvent);
}();
}  // namespace

// invokeMethod() with a functor or a member function hands its call object to Qt here.
// This definition takes the place of QtCore's for calls from our code.
bool QMetaObject::invokeMethodImpl(QObject *object, QtPrivate::QSlotObjectBase *slot,
                                   Qt::ConnectionType type, void *ret)
{
    using Invoke = bool (*)(QObject *, QtPrivate::QSlotObjectBase *, Qt::ConnectionType, void *);
    static const auto real = reinterpret_cast<Invoke>(
        dlsym(RTLD_NEXT,
              "_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14"
              "ConnectionTypeEPv"));
    __tsan_release(object);
    return real(object, slot, type, ret);
}

// A function handed to a pool of threads runs on one of them later. This definition takes
// the place of QtCore's for calls from our code.
void QThreadPool::start(std::function<void()> function, int priority)
{
    using Start = void (*)(QThreadPool *, std::function<void()>, int);
    static const auto real =
        reinterpret_cast<Start>(dlsym(RTLD_NEXT, "_ZN11QThreadPool5startESt8functionIFvvEEi"));
    static char handedOver;
    std::function<void()> task = [function = std::move(function)] {
        __tsan_acquire(&handedOver);
        function();
    };
    __tsan_release(&handedOver);  // with the task made
    real(this, std::move(task), priority);
}

// A thread that has ended emitted QThread::finished on its way out (a release on the
// QThread), but wait() may learn of the end from a flag under Qt's futex lock alone; so a
// wait() that returns true acquires on it. This definition takes the place of QtCore's for
// calls from our code.
bool QThread::wait(QDeadlineTimer deadline)
{
    using Wait = bool (*)(QThread *, QDeadlineTimer);
    static const auto real =
        reinterpret_cast<Wait>(dlsym(RTLD_NEXT, "_ZN7QThread4waitE14QDeadlineTimer"));
    const bool ended = real(this, deadline);
    if (ended)
        __tsan_acquire(this);
    return ended;
}

void tsanHandoffRelease(const void *on)
{
    __tsan_release(const_cast<void *>(on));
}

void tsanHandoffAcquire(const void *on)
{
    __tsan_acquire(const_cast<void *>(on));
}
