#include "metadata/timetext.h"

#include <QTime>

namespace zuna {

QString timeText(qint64 milliseconds)
{
    const qint64 seconds = qMax<qint64>(0, milliseconds) / 1000;
    if (seconds < 3600)
        return QTime(0, int(seconds / 60), int(seconds % 60)).toString(QStringLiteral("mm:ss"));
    const QLatin1Char zero('0');
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, zero)
        .arg(seconds % 60, 2, 10, zero);
}

}  // namespace zuna
