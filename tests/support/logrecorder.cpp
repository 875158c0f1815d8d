#include "support/logrecorder.h"

#include <QMutex>
#include <QtGlobal>

namespace {
QMutex mutex;
QStringList recorded;
QtMessageHandler previous = nullptr;

void record(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg) {
        QMutexLocker lock(&mutex);
        recorded.append(message);
        return;
    }
    previous(type, context, message);
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

void LogRecorder::clear()
{
    QMutexLocker lock(&mutex);
    recorded.clear();
}
