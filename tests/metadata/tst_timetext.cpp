// The texts every row and the elapsed time are written in: timeText from an hour on, where
// "mm:ss" has no valid form, and sizeText's one digit, which stops at 9; both in 64 bits.

#include <QtTest>

#include "metadata/sizetext.h"
#include "metadata/timetext.h"

using Text = QString (*)(qint64);
Q_DECLARE_METATYPE(Text)

class TestTexts : public QObject {
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<Text>("text");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, Text text, qint64 value, const char *expected) {
            QTest::newRow(name) << text << value << QString::fromLatin1(expected);
        };
        row("time, cut, not rounded", timeText, 83456, "01:23");
        row("time, end of a minute", timeText, 59999, "00:59");
        row("time, end of an hour", timeText, 3599999, "59:59");
        row("time, an hour", timeText, 3600000, "1:00:00");
        row("time, two-digit minutes", timeText, 3723000, "1:02:03");
        row("time, over a day", timeText, 90061000, "25:01:01");
        row("time, largest 32-bit", timeText, 4294967295LL, "1193:02:47");
        row("time, negative", timeText, -5000, "00:00");
        row("size, negative", sizeText, -5000000, "0.0MB");
        row("size, under 100 KB", sizeText, 102399, "0.0MB");
        row("size, 100 KB", sizeText, 102400, "0.1MB");
        row("size, cut, not rounded", sizeText, 5000000, "4.7MB");
        row("size, 1023 KB over: the digit stops at 9", sizeText, 3145727, "2.9MB");
        row("size, 64-bit", sizeText, 5369756671LL, "5120.9MB");
    }

    void texts()
    {
        QFETCH(Text, text);
        QFETCH(qint64, value);
        QFETCH(QString, expected);
        QCOMPARE(text(value), expected);
    }
};

QTEST_GUILESS_MAIN(TestTexts)
#include "tst_timetext.moc"
