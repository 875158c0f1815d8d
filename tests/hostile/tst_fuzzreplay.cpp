// Every fuzz corpus input and every input a fuzzer once broke the player with, run through
// the fuzz targets' own code in the ordinary build (and so under each sanitizer build).

#include <QDir>
#include <QtTest>

#include "fuzz/targets.h"

class TestFuzzReplay : public QObject {
    Q_OBJECT

private slots:
    void bothTargetsHandleEveryKeptInput_data()
    {
        QTest::addColumn<QString>("path");
        const QDir root(QStringLiteral(ZUNA_FUZZ_DIR));
        int rows = 0;
        for (const QString &kind : {QStringLiteral("corpus"), QStringLiteral("regressions")}) {
            for (const QString &target : {QStringLiteral("open"), QStringLiteral("decode")}) {
                const QDir dir(root.filePath(kind + QLatin1Char('/') + target));
                for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
                    const QString tag = kind + QLatin1Char('/') + target + QLatin1Char('/') + name;
                    QTest::newRow(qPrintable(tag)) << dir.filePath(name);
                    ++rows;
                }
            }
        }
        // An empty list would pass without testing anything.
        QVERIFY(rows > 0);
    }

    void bothTargetsHandleEveryKeptInput()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
        const std::string opened = openAndDescribe(data, size_t(bytes.size()));
        QVERIFY2(opened.empty(), opened.c_str());
        const std::string decoded = decodeWithSeeks(data, size_t(bytes.size()));
        QVERIFY2(decoded.empty(), decoded.c_str());
    }
};

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "tst_fuzzreplay.moc"
