// Every time display in the window goes through timeText(); these are the values its users
// rely on, including the hour boundary where "mm:ss" has no valid form.

#include <QtTest>

#include "metadata/timetext.h"

class TestTimeText : public QObject {
    Q_OBJECT

private slots:
    void formats_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << QStringLiteral("00:00");
        QTest::newRow("under a second") << qint64(999) << QStringLiteral("00:00");
        QTest::newRow("fractions are cut, not rounded") << qint64(83456) << QStringLiteral("01:23");
        QTest::newRow("last second of a minute") << qint64(59999) << QStringLiteral("00:59");
        QTest::newRow("one minute") << qint64(60000) << QStringLiteral("01:00");
        QTest::newRow("four minutes five") << qint64(245000) << QStringLiteral("04:05");
        QTest::newRow("last second under an hour") << qint64(3599999) << QStringLiteral("59:59");
        QTest::newRow("one hour") << qint64(3600000) << QStringLiteral("1:00:00");
        QTest::newRow("hours keep two-digit minutes")
            << qint64(3723000) << QStringLiteral("1:02:03");
        QTest::newRow("longer than a day") << qint64(90061000) << QStringLiteral("25:01:01");
        QTest::newRow("largest unsigned position")
            << qint64(4294967295) << QStringLiteral("1193:02:47");
        QTest::newRow("negative reads as zero") << qint64(-5000) << QStringLiteral("00:00");
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
