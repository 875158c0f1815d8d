#pragma once

#include <QList>
#include <QMutex>
#include <QStringList>
#include <QThread>

namespace zuna {

// Collects the debug lines written, from any thread, while it exists.
class LogRecorder {
public:
    LogRecorder()
    {
        clear();
        previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
                if (type != QtDebugMsg)
                    return previous(type, context, message);
                QMutexLocker lock(&mutex);
                recorded.append(message);
                writers.append(QThread::currentThread());
            });
    }
    ~LogRecorder() { qInstallMessageHandler(previous); }
    Q_DISABLE_COPY(LogRecorder)

    QStringList lines() const { return copy(recorded); }
    QList<QThread *> threads() const { return copy(writers); }  // who wrote each line
    void clear()
    {
        QMutexLocker lock(&mutex);
        recorded.clear();
        writers.clear();
    }

private:
    template <typename T>
    static T copy(const T &shared)
    {
        QMutexLocker lock(&mutex);
        return shared;
    }
    static inline QMutex mutex;  // debug lines come from any thread
    static inline QStringList recorded;
    static inline QList<QThread *> writers;
    static inline QtMessageHandler previous = nullptr;
};

}  // namespace zuna
