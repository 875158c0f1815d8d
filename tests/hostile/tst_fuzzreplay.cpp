// Every fuzz corpus input and every input a fuzzer once broke the player with, run through
// the fuzz targets' own code in the ordinary build (and so under each sanitizer build).

#include <QDir>
#include <QtTest>

#include "fuzz/targets.h"

using namespace Qt::StringLiterals;

class TestFuzzReplay : public QObject {
    Q_OBJECT

private slots:
    void bothTargetsHandleEveryKeptInput_data()
    {
        QTest::addColumn<QString>("path");
        const QDir root(QStringLiteral(ZUNA_FUZZ_DIR));
        // Without its inputs this would pass, testing nothing.
        QVERIFY(!QDir(root.filePath(u"corpus/open"_s)).isEmpty());
        for (const QString &dir :
             {u"corpus/open"_s, u"corpus/decode"_s, u"regressions/open"_s, u"regressions/decode"_s})
            for (const QFileInfo &file : QDir(root.filePath(dir)).entryInfoList(QDir::Files))
                QTest::newRow(qPrintable(dir + u'/' + file.fileName())) << file.filePath();
    }

    void bothTargetsHandleEveryKeptInput()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
        for (const std::string &fault : {openAndDescribe(data, size_t(bytes.size())),
                                         decodeWithSeeks(data, size_t(bytes.size()))})
            QVERIFY2(fault.empty(), fault.c_str());
    }
};

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "tst_fuzzreplay.moc"
