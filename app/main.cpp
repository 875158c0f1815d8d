#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("ZUNA"));
    window.setWindowTitle(QStringLiteral("ZUNA"));
    window.resize(400, 400);
    window.show();
    return app.exec();
}
