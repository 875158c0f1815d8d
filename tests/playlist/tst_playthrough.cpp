// A user's first minute with ZUNA, in process: two files dropped on the playlist, the
// first double-clicked, and both heard in turn through SDL (its "disk" driver stands in for
// the sound card and records what the card would get).

#include <QLabel>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "audio/zunaaudio.h"
#include "metadata/zunalistwidget.h"
#include "playlist/zunalistview.h"
#include "support/fixtures.h"
#include "support/toneanalysis.h"
#include "support/windowrig.h"

namespace {
std::vector<float> readCard(const QString &path)
{
    QFile raw(path);
    if (!raw.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = raw.readAll();
    std::vector<float> samples(size_t(bytes.size()) / sizeof(float));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

// The stretches of sound in a mono recording, as [first, last] frame pairs.
QList<QPair<size_t, size_t>> soundingStretches(const std::vector<float> &mono, size_t minGap)
{
    QList<QPair<size_t, size_t>> stretches;
    size_t silentRun = minGap;
    for (size_t i = 0; i < mono.size(); ++i) {
        if (mono[i] == 0.0f) {
            ++silentRun;
            continue;
        }
        if (silentRun >= minGap)
            stretches.append({i, i});
        stretches.last().second = i;
        silentRun = 0;
    }
    return stretches;
}
}  // namespace

class TestPlaythrough : public QObject {
    Q_OBJECT

private slots:
    void dropDoubleClickAndListen()
    {
        QTemporaryDir dir;
        const QString cards[] = {dir.filePath(QStringLiteral("first.raw")),
                                 dir.filePath(QStringLiteral("second.raw"))};
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(cards[0]));
        qputenv("SDL_DISKAUDIODELAY", "5");  // a 1024-frame buffer every 5 ms: 4× real time
        const Fixture first = fixture(QStringLiteral("two-a-1200.flac"));
        const Fixture second = fixture(QStringLiteral("two-b-1500.flac"));
        std::vector<float> heard[2];
        {
            WindowRig rig(makeSdlOutputDriver());
            rig.window().show();
            QVERIFY(QTest::qWaitForWindowExposed(&rig.window()));
            ZUNAListView *view = rig.playlist(0);

            QMimeData files;
            files.setUrls({QUrl::fromLocalFile(fixturePath(first.file)),
                           QUrl::fromLocalFile(fixturePath(second.file))});
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &files, Qt::LeftButton, {});
            QApplication::sendEvent(view->viewport(), &enter);
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &files, Qt::LeftButton, {});
            QApplication::sendEvent(view->viewport(), &drop);
            QCOMPARE(view->count(), 2);

            auto *entry = qobject_cast<ZUNAListWidget *>(view->itemWidget(view->item(0)));
            QTRY_COMPARE(entry->geometry(), view->visualItemRect(view->item(0)));
            QLabel *label = entry->findChildren<QLabel *>().first();
            QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
            QCOMPARE(view->currentRow(), 0);
            QTest::mouseDClick(label, Qt::LeftButton, {}, label->rect().center());
            QCOMPARE(rig.label("tracklabel")->text(), QStringLiteral("First"));
            QCOMPARE(rig.label("artistlabel")->text(), QStringLiteral("ZUNA Tests"));
            QCOMPARE(rig.label("totaltimelabel")->text(), QStringLiteral("00:01"));

            // The monitor as the player runs it, only faster: the second track must start
            // by itself when the first ends, then end too.
            // SDL's disk driver starts the file afresh for every track it opens, so the next
            // track goes to a file of its own (the name is read when the device opens).
            rig.sync();
            qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(cards[1]));
            QSignalSpy finished(rig.engine(), &ZUNAAudio::Finish);
            QElapsedTimer clock;
            clock.start();
            while (finished.size() < 2 && clock.elapsed() < 15000) {
                QTest::qWait(20);
                rig.monitor();
                if (finished.size() == 1)
                    QCOMPARE(rig.label("tracklabel")->text(), QStringLiteral("Second"));
            }
            QCOMPARE(finished.size(), 2);
            QCOMPARE(view->selectedItems(), QList<QListWidgetItem *>{view->item(1)});
        }
        for (int i = 0; i < 2; ++i)
            heard[i] = readCard(cards[i]);

        // Each track reached the card whole, between stretches of silence.
        const Fixture *played[] = {&first, &second};
        for (int i = 0; i < 2; ++i) {
            const auto stretches = soundingStretches(heard[i], 256);
            QCOMPARE(stretches.size(), 1);
            const auto [from, to] = stretches.first();
            QVERIFY2(qAbs(qint64(to - from + 1) - played[i]->frames) <= 2,
                     qPrintable(QString::number(to - from + 1)));
            const ToneStats tone = analyseTone(
                std::vector<float>(heard[i].begin() + long(from), heard[i].begin() + long(to)), 1,
                played[i]->rate);
            QVERIFY(qAbs(tone.frequency - played[i]->frequency) < 3);
            QVERIFY(qAbs(tone.peak - played[i]->peak) < 0.01);
        }
    }
};

QTEST_MAIN(TestPlaythrough)
#include "tst_playthrough.moc"
