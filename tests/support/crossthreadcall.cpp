#include "support/crossthreadcall.h"

#include "sanitizers/tsanhandoff.h"

CrossThreadCall::CrossThreadCall(QObject *target)
{
    connect(
        this, &CrossThreadCall::requested, target,
        [this](const std::function<void()> *function) {
            (*function)();
            tsanHandoffRelease(this);  // what the call did, for the waiting thread
        },
        Qt::BlockingQueuedConnection);
}

void CrossThreadCall::run(const std::function<void()> &function)
{
    emit requested(&function);
    tsanHandoffAcquire(this);
}
