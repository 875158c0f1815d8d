#pragma once

#include <QLabel>
#include <QtTest>

#include "metadata/zunalistwidget.h"
#include "playlist/zunalistview.h"
#include "support/fixtures.h"
#include "support/toneanalysis.h"
#include "support/windowrig.h"

// Playlist rows as the user meets them, and the sound that reaches the capture device.
inline ZUNAListWidget *entryOf(ZUNAListView *view, int row)
{
    return qobject_cast<ZUNAListWidget *>(view->itemWidget(view->item(row)));
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

// The format and tone of fixture `name` are what the capture device receives now.
inline void checkHeard(WindowRig &rig, const QString &name)
{
    const Fixture f = fixture(name);
    rig.sync();
    QVERIFY(rig.capture().isOpen());
    QCOMPARE(rig.capture().format().rate, f.rate);
    rig.capture().takeSamples();
    QCOMPARE(rig.capture().pump(4410), size_t(4410));
    const ToneStats tone = analyseTone(rig.capture().takeSamples(), f.channels, f.rate);
    QVERIFY2(qAbs(tone.frequency - f.frequency) < 3, qPrintable(QString::number(tone.frequency)));
}
