#pragma once

#include <QString>

namespace zuna {

// A byte count as "<whole MB>.<hundreds of KB>MB", both parts truncated (5,000,000 bytes
// read 4.7MB). The digit counts whole hundreds of kilobytes in the remainder and stops at
// 9, so 1000-1023 KB over a whole megabyte read ".9" rather than ".10". Negative counts
// read as 0.
QString sizeText(qint64 bytes);

}  // namespace zuna
