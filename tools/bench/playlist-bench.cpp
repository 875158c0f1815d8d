// playlist-bench MODE ROWS FOLDER: what a playlist of ROWS files costs on the GUI thread,
// offscreen, in a visible 400×400 window. The files of FOLDER are used in turn (a folder
// of 1,000 files gives each ten times for 10,000 rows; their metadata is read each time).
//   MODE zuna: the rows come in as one drop of ROWS file URLs on a ZUNAListView;
//        folder: FOLDER itself is dropped, ROWS times over (its files, walked, as rows);
//        bare: the same number of plain text items added to a bare QListWidget (baseline).
// Prints one line of key=value fields:
//   add_ms      from the drop (or the first addItem) until every row and entry exists
//               and the list has been painted once;
//   stall_ms    the longest the event loop went without turning during that time;
//   scroll_ms   the median and the worst time of one scroll step (a page down, painted),
//               over a walk from the top to the bottom;
//   resize_ms   the worst of four window resizes, each laid out and painted;
//   rss_mb      peak resident memory; row_kb: growth of resident memory per row;
//   cpu_ms      CPU time of the whole process from the drop until every row is in, and
//   gui_cpu_ms  of the GUI thread alone.

#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "playlist/zunalistview.h"
#include "playlist/zunalistwidget.h"

using namespace zuna;

namespace {
double peakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

double currentRssMb()
{
    QFile status(QStringLiteral("/proc/self/statm"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = status.readAll().split(' ');
    return fields.size() > 1 ? double(fields[1].toLongLong()) * 4096.0 / (1024.0 * 1024.0) : 0;
}

double cpuMs(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QStringList audioFiles(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, {QStringLiteral("*.mp3"), QStringLiteral("*.flac")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

// Times the longest gap between turns of the event loop while it exists. A 1 ms timer (so
// gaps read at most 1 ms high): a zero-time one would keep the GUI thread spinning and
// count its own spinning as the list's work.
class StallMeter {
public:
    StallMeter()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            longest = std::max(longest, clock.nsecsElapsed() / 1e6);
            clock.restart();
        });
        clock.start();
        timer.start();
    }
    double longestMs() const { return std::max(longest, clock.nsecsElapsed() / 1e6); }

private:
    QTimer timer;
    QElapsedTimer clock;
    double longest = 0;
};

void settle(QListWidget &list)
{
    QCoreApplication::processEvents();
    list.viewport()->repaint();
}

// Adds the rows, returning once every row (and entry widget) exists.
void addRows(const QString &mode, QListWidget &list, const QStringList &paths,
             const QString &folder, int drops)
{
    if (mode == QLatin1String("bare")) {
        for (const QString &path : paths)
            list.addItem(QFileInfo(path).fileName());
        return;
    }
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    if (mode == QLatin1String("folder"))
        urls = QList<QUrl>(drops, QUrl::fromLocalFile(folder));
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &drop);
    // Intake may go on in slices; wait until the last entry exists.
    QElapsedTimer patience;
    patience.start();
    while (list.count() < paths.size() || !list.itemWidget(list.item(int(paths.size() - 1)))) {
        if (patience.elapsed() > 600000) {
            std::fprintf(stderr, "gave up: %d of %lld rows after 10 minutes\n", int(list.count()),
                         qlonglong(paths.size()));
            std::exit(1);  // NOLINT(concurrency-mt-unsafe): no other thread of ours runs
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
}
}  // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: playlist-bench zuna|folder|bare ROWS FOLDER\n");
        return 2;
    }
    const QString mode = QString::fromLatin1(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[3]);
    const QStringList files = audioFiles(folder);
    // A folder drop brings all its files each time: ROWS is rounded to whole drops.
    const int drops = mode == QLatin1String("folder")
                          ? std::max(1, QString::fromLatin1(argv[2]).toInt() / int(files.size()))
                          : 1;
    const int rows = mode == QLatin1String("folder") ? drops * int(files.size())
                                                     : QString::fromLatin1(argv[2]).toInt();
    if (files.isEmpty() || rows <= 0)
        return 2;
    QStringList paths;
    for (int i = 0; i < rows; ++i)
        paths << files[i % files.size()];

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    QListWidget *list = mode == QLatin1String("bare") ? new QListWidget : new ZUNAListView(0);
    if (mode != QLatin1String("bare") && mode != QLatin1String("zuna") &&
        mode != QLatin1String("folder"))
        return 2;
    layout->addWidget(list);
    window.resize(400, 400);
    window.show();
    settle(*list);
    const double rssBefore = currentRssMb();

    QElapsedTimer clock;
    double stall = 0;
    const double cpuBefore = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const double guiBefore = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    clock.start();
    {
        StallMeter meter;
        addRows(mode, *list, paths, folder, drops);
        settle(*list);
        stall = meter.longestMs();
    }
    const double addMs = clock.nsecsElapsed() / 1e6;
    const double cpuMsUsed = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore;
    const double guiMsUsed = cpuMs(CLOCK_THREAD_CPUTIME_ID) - guiBefore;
    const double rowKb = (currentRssMb() - rssBefore) * 1024.0 / rows;

    QList<double> steps;
    QScrollBar *bar = list->verticalScrollBar();
    for (int value = 0; value <= bar->maximum(); value += std::max(1, bar->pageStep())) {
        clock.restart();
        bar->setValue(value);
        settle(*list);
        steps << clock.nsecsElapsed() / 1e6;
    }
    std::sort(steps.begin(), steps.end());

    double resize = 0;
    for (const QSize size : {QSize(800, 700), QSize(400, 400), QSize(1200, 900), QSize(400, 400)}) {
        clock.restart();
        window.resize(size);
        settle(*list);
        resize = std::max(resize, clock.nsecsElapsed() / 1e6);
    }

    std::printf(
        "mode=%s rows=%d add_ms=%.1f stall_ms=%.1f scroll_median_ms=%.2f scroll_max_ms=%.2f "
        "resize_ms=%.2f rss_mb=%.1f row_kb=%.2f cpu_ms=%.0f gui_cpu_ms=%.0f\n",
        qPrintable(mode), rows, addMs, stall, steps.isEmpty() ? 0.0 : steps[steps.size() / 2],
        steps.isEmpty() ? 0.0 : steps.last(), resize, peakRssMb(), rowKb, cpuMsUsed, guiMsUsed);
    return 0;
}
