#include "playlist/intakeprobe.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <algorithm>

#include "playlist/zunalistview.h"

namespace zuna {

namespace {
constexpr double kFrameMs = 16;

class IntakeProbe : public QObject {
public:
    IntakeProbe(ZUNAListView *watched, QString file)
        : QObject(watched), view(watched), path(std::move(file))
    {
        ticks.setTimerType(Qt::PreciseTimer);
        ticks.setInterval(1);
        connect(&ticks, &QTimer::timeout, this, &IntakeProbe::tick);
        sinceTick.start();
        ticks.start();
    }

private:
    void tick()
    {
        const double gapMs = double(sinceTick.nsecsElapsed()) / 1e6;
        sinceTick.restart();
        const bool busy = view->takingIn();
        if (busy && !running) {
            running = true;
            rowsBefore = view->count();
            firstRowMs = -1;
            longestGapMs = 0;
            longGaps = 0;
            rowsAtLongestGap = 0;
            clock.start();
            return;
        }
        if (!running)
            return;
        if (gapMs > longestGapMs) {
            longestGapMs = gapMs;
            rowsAtLongestGap = view->count() - rowsBefore;
        }
        if (gapMs > kFrameMs)
            ++longGaps;
        if (firstRowMs < 0 && view->count() > rowsBefore)
            firstRowMs = double(clock.nsecsElapsed()) / 1e6;
        if (busy)
            return;
        running = false;
        QFile out(path);
        if (out.open(QIODevice::Append | QIODevice::Text))
            out.write(QStringLiteral("rows=%1 intake_ms=%2 first_row_ms=%3 stall_ms=%4 "
                                     "stalls_over_16ms=%5 stall_at_row=%6\n")
                          .arg(view->count() - rowsBefore)
                          .arg(double(clock.nsecsElapsed()) / 1e6, 0, 'f', 1)
                          .arg(firstRowMs, 0, 'f', 1)
                          .arg(longestGapMs, 0, 'f', 1)
                          .arg(longGaps)
                          .arg(rowsAtLongestGap)
                          .toUtf8());
    }

    ZUNAListView *const view;
    const QString path;
    QTimer ticks;
    QElapsedTimer sinceTick;
    QElapsedTimer clock;
    bool running = false;
    int rowsBefore = 0;
    double firstRowMs = -1;
    double longestGapMs = 0;
    int longGaps = 0;  // turns of the event loop that came later than a frame
    int rowsAtLongestGap = 0;
};
}  // namespace

void probeIntakeIfAsked(ZUNAListView *view)
{
    const QString path = qEnvironmentVariable("ZUNA_INTAKE_PROBE");
    if (!path.isEmpty())
        new IntakeProbe(view, path);
}

}  // namespace zuna
