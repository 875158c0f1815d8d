#pragma once

#include <QObject>
#include <functional>

// Runs a function on the thread of a target object and waits until it has run, as
// BlockingQueuedConnection does. It goes through a signal, so that ThreadSanitizer builds
// see the handoff both ways (sanitizers/qthandoff.cpp hooks Qt's signals and events); a
// plain invokeMethod() hands over and frees its call object where TSan cannot see.
class CrossThreadCall : public QObject {
    Q_OBJECT

public:
    explicit CrossThreadCall(QObject *target);

    void run(const std::function<void()> &function);

signals:
    void requested(const std::function<void()> *function);
};
