#pragma once

#include <QLabel>
#include <QSet>
#include <QtTest>

#include "metadata/zunalistwidget.h"
#include "playlist/zunalistview.h"

// Playlist rows as the user meets them: the entry widget over a row, the texts it shows,
// and a double-click on its title.

inline ZUNAListWidget *entryOf(ZUNAListView *view, int row)
{
    return qobject_cast<ZUNAListWidget *>(view->itemWidget(view->item(row)));
}

inline QSet<QString> shownTexts(ZUNAListView *view, int row)
{
    QSet<QString> texts;
    for (const QLabel *label : entryOf(view, row)->findChildren<QLabel *>())
        texts.insert(label->text());
    return texts;
}

// The first click of a double click arrives as a click of its own, as from a mouse.
inline void doubleClickRow(ZUNAListView *view, int row)
{
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    view->scrollToItem(view->item(row));
    // The list lays out its rows (and moves their entry widgets) after a delay.
    QTRY_COMPARE(entryOf(view, row)->geometry(), view->visualItemRect(view->item(row)));
    QLabel *label = entryOf(view, row)->findChildren<QLabel *>().first();
    QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, label->rect().center());
    QCOMPARE(view->currentRow(), row);
    QTest::mouseDClick(label, Qt::LeftButton, Qt::NoModifier, label->rect().center());
}
