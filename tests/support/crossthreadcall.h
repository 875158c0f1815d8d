#pragma once

#include <QObject>
#include <functional>

// Runs a function on the target's thread and waits for it, through a signal that
// ThreadSanitizer builds see (sanitizers/qthandoff.cpp): invokeMethod() would hide it.
class CrossThreadCall : public QObject {
    Q_OBJECT

public:
    explicit CrossThreadCall(QObject *target);

    void run(const std::function<void()> &function);

signals:
    void requested(const std::function<void()> *function);
};
