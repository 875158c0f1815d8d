// Every time shown in the window goes through timeText(): its edge values, including the
// hour, from which "mm:ss" has no valid form.

#include <QtTest>

#include "metadata/timetext.h"

using namespace Qt::StringLiterals;

class TestTimeText : public QObject {
    Q_OBJECT

private slots:
    void formats_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0LL << u"00:00"_s;
        QTest::newRow("under a second") << 999LL << u"00:00"_s;
        QTest::newRow("cut, not rounded") << 83456LL << u"01:23"_s;
        QTest::newRow("end of a minute") << 59999LL << u"00:59"_s;
        QTest::newRow("a minute") << 60000LL << u"01:00"_s;
        QTest::newRow("end of an hour") << 3599999LL << u"59:59"_s;
        QTest::newRow("an hour") << 3600000LL << u"1:00:00"_s;
        QTest::newRow("two-digit minutes") << 3723000LL << u"1:02:03"_s;
        QTest::newRow("over a day") << 90061000LL << u"25:01:01"_s;
        QTest::newRow("largest 32-bit") << 4294967295LL << u"1193:02:47"_s;
        QTest::newRow("negative") << -5000LL << u"00:00"_s;
    }

    void formats()
    {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(timeText(ms), text);
    }
};

QTEST_GUILESS_MAIN(TestTimeText)
#include "tst_timetext.moc"
