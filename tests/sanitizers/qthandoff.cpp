// ThreadSanitizer builds only. Qt (not built with TSan) hands queued calls between threads
// under futex locks TSan cannot see. This marks each handoff, per object: signal and queued call,
// invokeMethod() and its receiver, a thread-pool task handed over and started. What threads
// share outside Qt's queues stays checked.

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
    const auto *event = static_cast<const QEvent *>(data[1]);  // data: receiver, event, verdict
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

// Each definition below takes the place of QtCore's for calls from our code.
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

void QThreadPool::start(std::function<void()> function, int priority)
{
    using Start = void (*)(QThreadPool *, std::function<void()>, int);
    static const auto real =
        reinterpret_cast<Start>(dlsym(RTLD_NEXT, "_ZN11QThreadPool5startESt8functionIFvvEEi"));
    static char handedOver;  // one address for all pools: a task reads nothing of its own first
    std::function<void()> task = [function = std::move(function)] {
        __tsan_acquire(&handedOver);
        function();
    };
    __tsan_release(&handedOver);  // with the task made
    real(this, std::move(task), priority);
}

// wait() may learn of a thread's end (its finished signal, a release) from a flag alone.
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
