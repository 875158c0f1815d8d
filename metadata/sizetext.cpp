#include "metadata/sizetext.h"

#include <QtGlobal>

namespace zuna {

QString sizeText(qint64 bytes)
{
    const qint64 kilobytes = qMax<qint64>(0, bytes) / 1024;
    const qint64 digit = qMin<qint64>(kilobytes % 1024 / 100, 9);
    return QString::number(kilobytes / 1024) + QLatin1Char('.') + QString::number(digit) +
           QStringLiteral("MB");
}

}  // namespace zuna
