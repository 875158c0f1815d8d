#pragma once

#include <QString>

namespace zuna {

// The one way every time in the window is written: a millisecond count cut to whole
// seconds, as "mm:ss" below an hour (01:23 for 83,456 ms) and "h:mm:ss" from an hour on
// (1:02:03), where a plain "mm:ss" would have no valid form.
QString timeText(qint64 milliseconds);

}  // namespace zuna
