#include "app/windowkeys.h"

#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

namespace zuna {

namespace {
template <typename Action>
void bindKey(QKeySequence::StandardKey key, MainWindow *window, Action action,
             const QKeySequence &otherwise = {})
{
    // Every binding the platform has for the key (Close is both Ctrl+W and Ctrl+F4 on X11);
    // where it has none (Quit, on some), the one that desktop players use.
    auto *shortcut = new QShortcut(key, window);
    if (shortcut->keys().isEmpty())
        shortcut->setKey(otherwise);
    QObject::connect(shortcut, &QShortcut::activated, window, action);
}
}  // namespace

WindowKeys::WindowKeys(MainWindow *window, Ui_MainWindow *form) : QObject(window), ui(form)
{
    // As a press of the button: the window's own slot runs, through the button's wiring.
    bindKey(QKeySequence::Open, window, [this] { ui->addtrackbutton->click(); });
    bindKey(QKeySequence::AddTab, window, [this] { ui->addplaylistbutton->click(); });
    bindKey(QKeySequence::Close, window, [this, window] {
        window->TabClose(ui->playliststab->currentIndex());
        focusVisiblePlaylist();
    });
    bindKey(
        QKeySequence::Quit, window, [window] { window->close(); },
        QKeySequence(Qt::CTRL | Qt::Key_Q));

    // Made after the window's own connections, so these run once its slots have returned.
    connect(ui->addtrackbutton, &QPushButton::released, this, &WindowKeys::focusVisiblePlaylist);
    connect(ui->addplaylistbutton, &QPushButton::released, this, &WindowKeys::focusVisiblePlaylist);
    connect(ui->playliststab, &QTabWidget::tabCloseRequested, this,
            &WindowKeys::focusVisiblePlaylist);
}

void WindowKeys::focusVisiblePlaylist()
{
    if (QWidget *playlist = ui->playliststab->currentWidget())
        playlist->setFocus(Qt::OtherFocusReason);
}

}  // namespace zuna
