#include <QApplication>

#include "app/iconfont.h"
#include "app/mainwindow.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    registerIconFont();
    MainWindow window;
    window.show();
    return app.exec();
}
