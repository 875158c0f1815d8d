#pragma once

#include <QList>
#include <QStringList>

class QThread;

// Collects the debug lines written, from any thread, while it exists.
class LogRecorder {
public:
    LogRecorder();
    ~LogRecorder();
    LogRecorder(const LogRecorder &) = delete;
    LogRecorder &operator=(const LogRecorder &) = delete;

    QStringList lines() const;
    // The thread that wrote each line, in the same order.
    QList<QThread *> threads() const;
    void clear();
};
