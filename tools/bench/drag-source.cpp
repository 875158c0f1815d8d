// drag-source PATH...: a small window (title "drag-source", 160 × 100 at the top left of
// the screen) that starts a drag of PATH... as file URLs when a mouse button is pressed on
// it, as a file manager does, and prints "dropped" or "refused" once the drag is over (it
// serves the dragged data for 30 s more, then exits). Driven by xdotool, it takes the drop to
// another program through the platform's own protocol (XDND on X11). Not installed.

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdio>

namespace {
class DragSource : public QWidget {
public:
    explicit DragSource(QList<QUrl> dragged) : urls(std::move(dragged))
    {
        setWindowTitle(QStringLiteral("drag-source"));
        setGeometry(0, 0, 160, 100);
    }

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        auto *drag = new QDrag(this);
        auto *dragged = new QMimeData;
        dragged->setUrls(urls);
        drag->setMimeData(dragged);
        const Qt::DropAction done = drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
        std::printf("%s\n", done == Qt::IgnoreAction ? "refused" : "dropped");
        std::fflush(stdout);
        // The target asks for the data after the drop; it is served while this runs.
        QTimer::singleShot(30000, qApp, &QApplication::quit);
    }

private:
    const QList<QUrl> urls;
};
}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (int i = 1; i < argc; ++i)
        urls << QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]));
    if (urls.isEmpty()) {
        std::fprintf(stderr, "usage: drag-source PATH...\n");
        return 2;
    }
    DragSource source(urls);
    source.show();
    return app.exec();
}
