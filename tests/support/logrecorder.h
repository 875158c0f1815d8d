#pragma once

#include <QStringList>

// Collects the debug lines written, from any thread, while it exists.
class LogRecorder {
public:
    LogRecorder();
    ~LogRecorder();
    LogRecorder(const LogRecorder &) = delete;
    LogRecorder &operator=(const LogRecorder &) = delete;

    QStringList lines() const;
    void clear();
};
