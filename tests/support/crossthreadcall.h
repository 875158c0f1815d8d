#pragma once

#include <QObject>
#include <functional>

#include "sanitizers/tsanhandoff.h"

namespace zuna {

// Runs a function on the target's thread and waits for it, through a signal that
// ThreadSanitizer builds see (sanitizers/qthandoff.cpp): invokeMethod() would hide it.
class CrossThreadCall : public QObject {
    Q_OBJECT

public:
    explicit CrossThreadCall(QObject *target)
    {
        const auto call = [this](const std::function<void()> *function) {
            (*function)();
            tsanHandoffRelease(this);  // what the call did, for the waiting thread
        };
        connect(this, &CrossThreadCall::requested, target, call, Qt::BlockingQueuedConnection);
    }
    void run(const std::function<void()> &function)
    {
        emit requested(&function);
        tsanHandoffAcquire(this);
    }

signals:
    void requested(const std::function<void()> *function);
};

}  // namespace zuna
