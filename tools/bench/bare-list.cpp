// bare-list: the baseline of the window-drop benchmark. A 400×400 window titled "ZUNA"
// holding a bare QListWidget that takes a drop of files and folders as a minimal player
// would: each folder walked for its MP3 and FLAC files, one plain text item per file,
// all at once on the GUI thread (no metadata read). When ZUNA_INTAKE_PROBE names a file,
// appends "rows=N intake_ms=T first_row_ms=T stall_ms=T" to it once the items are in and
// painted, as the player's own probe does. Not installed.

#include <QApplication>
#include <QDirIterator>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMimeData>
#include <QVBoxLayout>

namespace {
class BareList : public QListWidget {
public:
    BareList() { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override { event->acceptProposedAction(); }
    void dragMoveEvent(QDragMoveEvent *event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent *event) override
    {
        QElapsedTimer clock;
        clock.start();
        const int before = count();
        const QList<QUrl> urls = event->mimeData()->urls();
        for (const QUrl &url : urls) {
            const QString path = url.toLocalFile();
            if (!QFileInfo(path).isDir()) {
                addItem(QFileInfo(path).fileName());
                continue;
            }
            // Name filters would keep the iterator out of folders not named like music.
            QDirIterator it(path, QDir::Files | QDir::AllDirs | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString name = it.nextFileInfo().fileName();
                if (name.endsWith(QLatin1String(".mp3")) || name.endsWith(QLatin1String(".flac")))
                    addItem(name);
            }
        }
        event->acceptProposedAction();
        viewport()->repaint();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        QFile out(qEnvironmentVariable("ZUNA_INTAKE_PROBE"));
        if (!out.fileName().isEmpty() && out.open(QIODevice::Append | QIODevice::Text))
            out.write(QStringLiteral("rows=%1 intake_ms=%2 first_row_ms=%2 stall_ms=%2\n")
                          .arg(count() - before)
                          .arg(ms, 0, 'f', 1)
                          .toUtf8());
    }
};
}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("ZUNA"));
    auto *list = new BareList;
    list->viewport()->setObjectName(QStringLiteral("qt_scrollarea_viewport"));
    (new QVBoxLayout(&window))->addWidget(list);
    window.resize(400, 400);
    window.show();
    return app.exec();
}
