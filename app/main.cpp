#include <malloc.h>

#include <QApplication>
#include <QSaveFile>
#include <QTimer>
#include <QWidget>

#include "app/iconfont.h"
#include "app/instancehandoff.h"
#include "app/mainwindow.h"

using namespace zuna;

namespace {
// Test hook for the end-to-end suite (tests/e2e), off unless ZUNA_DUMP_GEOMETRY names a
// file: once the window is up, writes "objectName x y width height" (screen coordinates)
// for each visible named widget, so the suite clicks real widget positions instead of
// guessing them from font metrics.
void dumpGeometryOnceShown(const QWidget &window)
{
    const QString path = qEnvironmentVariable("ZUNA_DUMP_GEOMETRY");
    if (path.isEmpty())
        return;
    QTimer::singleShot(0, &window, [&window, path] {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
            return;
        const QList<QWidget *> widgets = window.findChildren<QWidget *>();
        for (const QWidget *widget : widgets) {
            if (!widget->isVisible() || widget->objectName().isEmpty())
                continue;
            const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
            file.write(QStringLiteral("%1 %2 %3 %4 %5\n")
                           .arg(widget->objectName())
                           .arg(origin.x())
                           .arg(origin.y())
                           .arg(widget->width())
                           .arg(widget->height())
                           .toUtf8());
        }
        file.commit();
    });
}

// Reading a file's metadata allocates and frees some hundreds of kilobytes (read-ahead
// windows, decoder state) on each reader thread. By default glibc hands the free top of a
// thread's heap back to the system as soon as it passes 128 KiB, and the next file takes it
// back a page fault at a time: with the TLB flushes that go with it, that cost more than the
// reading itself. Free memory is kept for reuse up to a few megabytes instead, and blocks of
// up to 4 MiB (pictures TagLib reads) come from the heaps rather than mappings of their own.
void keepFreedMemoryForReuse()
{
#ifdef __GLIBC__
    // Called first thing in main, before any thread starts.
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);  // NOLINT(concurrency-mt-unsafe)
    mallopt(M_TRIM_THRESHOLD, 8 * 1024 * 1024);  // NOLINT(concurrency-mt-unsafe)
#endif
}
}  // namespace

int main(int argc, char *argv[])
{
    keepFreedMemoryForReuse();
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(ZUNA_VERSION));
    // Ties the window to the installed launcher entry and its icon (Wayland's app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.zuna.Zuna"));
    // Files from a file manager's Open With; a player already running takes them. This one
    // question to the session bus (who owns the player's name) is all it asks before the
    // window shows.
    const QStringList files = pathsFromArguments(app.arguments().mid(1));
    if (const std::optional<int> handedOver = handOverToRunningPlayer(files))
        return *handedOver;
    registerIconFont();
    MainWindow window;
    window.show();
    // The desktop's media controls, and the files, come once the window is up.
    QTimer::singleShot(0, &window, [&window, files] {
        window.offerMediaControls();
        if (!files.isEmpty())
            window.openFiles(files);
    });
    dumpGeometryOnceShown(window);
    return app.exec();
}
