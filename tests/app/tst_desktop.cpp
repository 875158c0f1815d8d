// The player as a desktop citizen: the keyboard alone, what a screen reader is told, long
// texts in a window of the user's size, files opened from outside.

#include <QAccessible>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QToolTip>
#include <QtTest>

#include "app/instancehandoff.h"
#include "app/mprisservice.h"
#include "support/fixtures.h"
#include "support/windowrig.h"

using namespace zuna;

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
// What a screen reader is told: the names of the rows of a list, by its accessibility.
QStringList rowNames(QWidget *list)
{
    QStringList names;
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(list);
    for (int i = 0; i < table->childCount(); ++i)
        if (QAccessibleInterface *row = table->child(i); row->role() == QAccessible::ListItem)
            names.append(row->text(QAccessible::Name));
    return names;
}

QString nameOf(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

// How a label's text looks, as an image, without the background behind it.
QImage lookOf(QWidget *widget)
{
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    widget->render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}
MprisService *mediaControls(WindowRig &rig)
{
    rig.window().offerMediaControls();
    return rig.window().findChild<MprisService *>();
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

    // Every control is named and has a tooltip; every row says what it holds, the file's name
    // standing in for a missing title, and shows its path as a tooltip.
    void aScreenReaderHearsEveryControlAndRow()
    {
        WindowRig rig;
        ZUNAListView *view = rig.fill(
            {u"flac16-880.flac"_s, u"blank-title.mp3"_s, u"two-artists.flac"_s, u"no-tags.mp3"_s});
        STEP(rig.show());
        const QStringList controls = {u"addtrackbutton"_s, u"deltrackbutton"_s, u"progresslider"_s,
                                      u"volumeslider"_s};
        const QStringList names = {u"Add files"_s, u"Remove track"_s, u"Progress"_s, u"Volume"_s};
        for (int i = 0; i < controls.size(); ++i)
            QCOMPARE(nameOf(rig.widget(qPrintable(controls[i]))), names[i]);
        const QList<QWidget *> all =
            rig.widget("centralWidget")->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        for (QWidget *control : all) {
            if (!qobject_cast<QAbstractButton *>(control) &&
                !qobject_cast<QAbstractSlider *>(control) && !qobject_cast<QTabWidget *>(control))
                continue;
            QVERIFY2(!nameOf(control).isEmpty(), qPrintable(control->objectName()));
            QVERIFY2(!QAccessible::queryAccessibleInterface(control)
                          ->text(QAccessible::Description)
                          .isEmpty(),
                     qPrintable(control->objectName()));
            QVERIFY2(!control->toolTip().isEmpty(), qPrintable(control->objectName()));
        }
        QCOMPARE(rig.widget("addtrackbutton")->toolTip(), u"Add files (Ctrl+O)"_s);

        QCOMPARE(rowNames(view),
                 QStringList({u"Tone 880, ZUNA Tests, 00:02"_s,
                              u"blank-title.mp3, Leading Blank, 00:00"_s,
                              u"Duet, Second Artist, 00:00"_s, u"no-tags.mp3, 00:00"_s}));
        QCOMPARE(view->item(0)->toolTip(),
                 u"Tone 880\nZUNA Tests\n"_s + fixturePath(u"flac16-880.flac"_s));
        QCOMPARE(view->item(3)->toolTip(), fixturePath(u"no-tags.mp3"_s));
        // A row moved keeps what it says.
        QVERIFY(view->model()->moveRow(QModelIndex(), 2, QModelIndex(), 0));
        QCOMPARE(view->item(0)->data(Qt::AccessibleTextRole), u"Duet, Second Artist, 00:00"_s);
    }

    // A title of 300 characters leaves the window at the size the user gave it; the label
    // shows its start and "…", a screen reader and a tooltip the whole of it. In a row the
    // title is cut before the type, length and size.
    void aLongTitleNeverWidensTheWindow()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"long.flac"_s);
        QVERIFY(QFile::copy(fixturePath(u"flac16-880.flac"_s), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        const QString title = u"A very long title, "_s.repeated(16).left(300);
        QCOMPARE(QProcess::execute(u"metaflac"_s,
                                   {u"--remove-tag=TITLE"_s, u"--set-tag=TITLE="_s + title, path}),
                 0);
        WindowRig rig;
        STEP(rig.show());
        rig.window().resize(520, 420);
        TRY_COMPARE(rig.window().size(), QSize(520, 420));
        ZUNAListView *view = rig.playlist(0);
        view->AddFile(path);
        STEP(rig.doubleClickRow(view, 0));
        QLabel *shown = rig.label("tracklabel");
        QCOMPARE(shown->text(), title);
        QCOMPARE(nameOf(shown), title);
        QApplication::processEvents();  // the layout settles
        QCOMPARE(rig.window().size(), QSize(520, 420));
        QCOMPARE(rig.window().minimumSizeHint().width() < 520, true);
        QVERIFY(shown->geometry().right() < rig.window().width());
        // It looks as a label of the cut text does, of the same size and font.
        QLabel cut;
        cut.setFont(shown->font());
        cut.resize(shown->size());
        cut.setText(
            shown->fontMetrics().elidedText(title, Qt::ElideRight, shown->contentsRect().width()));
        QVERIFY(cut.text().endsWith(u'…') && cut.text().size() < 100);
        QCOMPARE(lookOf(shown), lookOf(&cut));
        // Hovered, it shows the whole title.
        QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), shown->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(shown, &hover);
        QCOMPARE(QToolTip::text(), title);
        QToolTip::hideText();

        // The row: the title cut before the right column, which stays whole in sight.
        ZUNAListWidget *entry = entryOf(view, 0);
        const QList<QLabel *> labels = entry->findChildren<QLabel *>();
        QLabel *rowTitle = nullptr;
        for (QLabel *label : labels)
            rowTitle = label->text() == title ? label : rowTitle;
        QVERIFY(rowTitle);
        for (QLabel *label : labels) {
            QVERIFY2(label->geometry().right() <= entry->width(), qPrintable(label->text()));
            if (label->alignment() & Qt::AlignRight)  // type, length, size
                QVERIFY(label->geometry().left() > rowTitle->geometry().right());
        }
        QLabel rowCut;
        rowCut.setFont(rowTitle->font());
        rowCut.resize(rowTitle->size());
        rowCut.setText(rowTitle->fontMetrics().elidedText(title, Qt::ElideRight,
                                                          rowTitle->contentsRect().width()));
        QVERIFY(rowCut.text().endsWith(u'…'));
        QCOMPARE(lookOf(rowTitle), lookOf(&rowCut));
    }

    // OpenUri plays what it opens, a row already there rather than a second one, a folder's
    // music as a drop takes it; what cannot be played is refused and changes nothing.
    void openingFromOutsideNeverLies()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"album/empty"_s));
        for (const char *name : {"album/1 first.flac", "album/2 second.flac"})
            QVERIFY(
                QFile::copy(fixturePath(u"two-a-1200.flac"_s), dir.filePath(QLatin1String(name))));
        WindowRig rig;
        ZUNAListView *view = rig.fill({u"flac16-880.flac"_s, u"two-b-1500.flac"_s});
        MprisService *mpris = mediaControls(rig);
        const auto uri = [](const QString &path) { return QUrl::fromLocalFile(path).toString(); };
        const auto refused = [&](const QString &target, const QString &error) {
            const QStringList rows = pathsOf(view);
            const QStringList played = rig.played;
            QCOMPARE(mpris->openUri(target).name, u"org.freedesktop.DBus.Error."_s + error);
            rig.sync();
            QCOMPARE(pathsOf(view), rows);
            QCOMPARE(rig.played, played);
        };

        QVERIFY(mpris->openUri(uri(fixturePath(u"two-b-1500.flac"_s))).name.isEmpty());
        rig.sync();
        QCOMPARE(view->count(), 2);
        QCOMPARE(rig.played, QStringList(fixturePath(u"two-b-1500.flac"_s)));
        QCOMPARE(view->currentRow(), 1);

        QVERIFY(mpris->openUri(uri(dir.filePath(u"album"_s))).name.isEmpty());
        TRY_VERIFY(!view->takingIn());
        rig.sync();
        QCOMPARE(pathsOf(view).mid(2), QStringList({dir.filePath(u"album/1 first.flac"_s),
                                                    dir.filePath(u"album/2 second.flac"_s)}));
        QCOMPARE(rig.played.last(), dir.filePath(u"album/1 first.flac"_s));

        STEP(refused(uri(dir.filePath(u"missing.flac"_s)), u"FileNotFound"_s));
        STEP(refused(uri(fixturePath(u"not-audio.mp3"_s)), u"InvalidArgs"_s));
        STEP(refused(uri(dir.filePath(u"album/empty"_s)), u"InvalidArgs"_s));
        STEP(refused(u"https://example.org/a.flac"_s, u"InvalidArgs"_s));
    }

    // What a file manager's Open With passes: paths, relative to where it was started, and
    // file URLs; each becomes an absolute path.
    void theFilesALaunchIsGiven()
    {
        QTemporaryDir dir;
        const QString here = QDir::currentPath();
        QDir::setCurrent(dir.path());
        const QStringList paths = pathsFromArguments(
            {u"a b.flac"_s, u"../x/./c.mp3"_s, u"file:///music/d%20e.flac"_s, u"/f.ogg"_s});
        QDir::setCurrent(here);
        QCOMPARE(paths, QStringList({dir.filePath(u"a b.flac"_s),
                                     QDir::cleanPath(dir.path() + u"/../x/c.mp3"_s),
                                     u"/music/d e.flac"_s, u"/f.ogg"_s}));
    }

    // With nothing current, Play starts the selected row, else the first; CanPlay says so.
    void playWithNothingCurrentStartsARow()
    {
        for (const int selected : {2, -1}) {
            WindowRig rig;
            MprisService *mpris = mediaControls(rig);
            QVERIFY(!mpris->canPlay());
            ZUNAListView *view = rig.fill(kFiles);
            QVERIFY(mpris->canPlay());
            view->setCurrentRow(selected);
            mpris->play();
            rig.sync();
            QCOMPARE(rig.played, QStringList(fixturePath(kFiles[qMax(selected, 0)])));
            // Something current: Play asks the engine to go on, and starts nothing.
            mpris->pause();
            mpris->play();
            rig.sync();
            QCOMPARE(rig.played.size(), 1);
        }
    }
};

int main(int argc, char **argv)
{
    // The desktop's controls are built here without a bus to speak on: the suite's runs
    // never meet each other, or a player of the user's.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zuna-tests");
    QApplication app(argc, argv);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_desktop.moc"
