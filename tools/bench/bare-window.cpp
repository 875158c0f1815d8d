// bare-window [--label]: the smallest Qt widgets program with a window like ZUNA's
// (400×400, titled "bare"), the baseline the start-up benchmark compares the player
// against. With --label it also shows one line of text, which is what it costs any window
// to bring up the font system.

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    if (app.arguments().contains(QStringLiteral("--label")))
        (new QVBoxLayout(&window))->addWidget(new QLabel(QStringLiteral("No track opened now")));
    window.resize(400, 400);
    window.show();
    return app.exec();
}
