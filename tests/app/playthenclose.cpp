// A player process that starts a track, then has its window closed while it plays: built
// like the real main(), so the shutdown test sees what a user closing ZUNA would.
// Usage: playthenclose <audio file> <ms before closing>

#include <QApplication>
#include <QTimer>

#include "app/iconfont.h"
#include "app/mainwindow.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    registerIconFont();
    MainWindow window;
    window.show();
    emit window.Playfile(QString::fromLocal8Bit(argv[1]));
    QTimer::singleShot(QString::fromLatin1(argv[2]).toInt(), &window, &QWidget::close);
    return app.exec();
}
