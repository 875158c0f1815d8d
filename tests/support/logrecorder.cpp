#include "support/logrecorder.h"

#include <QMutex>
#include <QThread>

namespace {
QMutex mutex;  // debug lines come from any thread
QStringList recorded;
QList<QThread *> writers;
QtMessageHandler previous = nullptr;

void record(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg)
        return previous(type, context, message);
    QMutexLocker lock(&mutex);
    recorded.append(message);
    writers.append(QThread::currentThread());
}
}  // namespace

LogRecorder::LogRecorder()
{
    clear();
    previous = qInstallMessageHandler(record);
}

LogRecorder::~LogRecorder()
{
    qInstallMessageHandler(previous);
}

QStringList LogRecorder::lines() const
{
    QMutexLocker lock(&mutex);
    return recorded;
}

QList<QThread *> LogRecorder::threads() const
{
    QMutexLocker lock(&mutex);
    return writers;
}

void LogRecorder::clear()
{
    QMutexLocker lock(&mutex);
    recorded.clear();
    writers.clear();
}
