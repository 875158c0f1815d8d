// The player as a desktop citizen: the keyboard alone, what a screen reader is told, long
// texts in a window of the user's size, files opened from outside.

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QtTest>

#include "support/fixtures.h"
#include "support/windowrig.h"

using namespace Qt::StringLiterals;

namespace {
const QStringList kFiles = {u"cbr-440.mp3"_s, u"vbr-660.mp3"_s, u"flac16-880.flac"_s,
                            u"two-a-1200.flac"_s};

// A standard key pressed in the window, active again as the desktop makes it after a dialog.
void keys(QWidget *window, QKeyCombination combination)
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window, scaledMs(5000)));
    QTest::keyClick(window, combination.key(), combination.keyboardModifiers());
}

QKeyCombination standard(QKeySequence::StandardKey key)
{
    return QKeySequence::keyBindings(key).value(0)[0];
}

// Shows the window and waits until it takes keys, as shortcuts need.
void showActive(WindowRig &rig)
{
    STEP(rig.show());
    rig.window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&rig.window(), scaledMs(5000)));
}
}  // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    // Enter starts the row under the keyboard's cursor, selected or not; the standard keys
    // open files, a new playlist, close the visible one with its question, and quit; after
    // each dialog the keys reach the rows again.
    void theKeyboardAlone()
    {
        WindowRig rig;
        ZUNAListView *view = rig.fill(kFiles);
        STEP(showActive(rig));
        QWidget *window = &rig.window();
        view->clearSelection();
        view->setCurrentRow(3, QItemSelectionModel::NoUpdate);  // as Tab into the list leaves it
        QVERIFY(view->selectedItems().isEmpty());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        rig.sync();
        QCOMPARE(rig.played, QStringList(fixturePath(kFiles[3])));
        // Next moves the cursor along, so Enter starts again what is seen selected.
        rig.click("prevbutton");
        QTest::keyClick(view, Qt::Key_Return);
        rig.sync();
        QCOMPARE(rig.played.mid(1), QStringList(2, fixturePath(kFiles[2])));

        {
            DialogAnswer answer([](QWidget *dialog) {
                auto *files = qobject_cast<QFileDialog *>(dialog);
                QVERIFY(files);
                files->setDirectory(QStringLiteral(ZUNA_TEST_DATA));
                files->findChild<QLineEdit *>()->setText(u"\"two-b-1500.flac\""_s);
                QMetaObject::invokeMethod(files, "accept");
            });
            STEP(keys(window, standard(QKeySequence::Open)));
        }
        TRY_VERIFY(!view->takingIn());
        QCOMPARE(pathsOf(view).last(), fixturePath(u"two-b-1500.flac"_s));
        QCOMPARE(window->focusWidget(), view);

        {
            DialogAnswer answer([](QWidget *dialog) {
                dialog->findChild<QLineEdit *>()->setText(u"Mix"_s);
                QMetaObject::invokeMethod(dialog, "accept");
            });
            STEP(keys(window, standard(QKeySequence::AddTab)));
        }
        QCOMPARE(rig.tabs()->count(), 2);
        QCOMPARE(rig.tabs()->tabText(1), u"Mix"_s);
        QCOMPARE(window->focusWidget(), view);

        // Close asks about a playlist with rows: Cancel keeps it, Yes closes it.
        rig.tabs()->setCurrentIndex(1);
        rig.fill({u"long-6s-8k.flac"_s}, 1);
        // Ctrl+W is one of the keys that close, whatever else the platform binds.
        const QKeyCombination closing[] = {standard(QKeySequence::Close), Qt::CTRL | Qt::Key_W};
        for (const auto button : {QMessageBox::Cancel, QMessageBox::Yes}) {
            bool asked = false;
            DialogAnswer question([&](QWidget *dialog) {
                auto *box = qobject_cast<QMessageBox *>(dialog);
                QVERIFY(box);
                QCOMPARE(box->text(), u"Close playlist without save?"_s);
                asked = true;
                box->button(button)->click();
            });
            STEP(keys(window, closing[button == QMessageBox::Yes]));
            QVERIFY(asked);
        }
        QCOMPARE(rig.tabs()->count(), 1);
        QCOMPARE(window->focusWidget(), view);
        // "Default" never closes, by key either.
        STEP(keys(window, standard(QKeySequence::Close)));
        QCOMPARE(rig.tabs()->count(), 1);

        STEP(keys(window, Qt::CTRL | Qt::Key_Q));
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
