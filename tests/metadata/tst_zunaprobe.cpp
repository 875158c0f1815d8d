// zuna-probe as a user runs it: one line per path, TAB-separated KEY=value fields in the
// fixed key order, absent keys left out, text in UTF-8, tabs and line breaks escaped.

#include <sys/stat.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "support/fixtures.h"

namespace {
QByteArray sizeOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return "?";
    return QByteArray::number(qint64(info.st_size));
}

QProcess *runProbe(const QStringList &arguments, QObject *parent)
{
    auto *probe = new QProcess(parent);
    probe->start(QStringLiteral(ZUNA_PROBE), arguments);
    return probe;
}
}  // namespace

class TestZunaProbe : public QObject {
    Q_OBJECT

private slots:
    void oneLinePerPathInKeyOrder()
    {
        const QString tagged = fixturePath(QStringLiteral("id3v24-utf8.mp3"));
        const QString untitled = fixturePath(QStringLiteral("other-tags-only.flac"));
        QProcess *probe = runProbe({tagged, untitled}, this);
        QVERIFY(probe->waitForFinished(10000));
        QCOMPARE(probe->exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe->exitCode(), 0);

        const QByteArray expected =
            QFile::encodeName(tagged) + "\tTITLE=" + QStringLiteral("Песня").toUtf8() +
            "\tARTIST=" + QStringLiteral("東京の歌手").toUtf8() +
            "\tALBUM=" + QStringLiteral("🎵 Album").toUtf8() +
            "\tLENGTH=500\tTYPE=MP3\tSIZE=" + sizeOf(tagged) + "\n" + QFile::encodeName(untitled) +
            "\tLENGTH=500\tTYPE=FLAC\tSIZE=" + sizeOf(untitled) + "\n";
        QCOMPARE(probe->readAllStandardOutput(), expected);
    }

    void pathsStayOnOneLine()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a\tb\nc\\d.flac"));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("two-artists.flac")), path));
        QProcess *probe = runProbe({path}, this);
        QVERIFY(probe->waitForFinished(10000));
        const QByteArray expected = QFile::encodeName(dir.path()) +
                                    "/a\\tb\\nc\\\\d.flac\tTITLE=Duet\tARTIST=Second "
                                    "Artist\tLENGTH=500\tTYPE=FLAC\tSIZE=" +
                                    sizeOf(path) + "\n";
        QCOMPARE(probe->readAllStandardOutput(), expected);
    }

    void withoutPathsItSaysHow()
    {
        QProcess *probe = runProbe({}, this);
        QVERIFY(probe->waitForFinished(10000));
        QCOMPARE(probe->exitCode(), 2);
        QVERIFY(probe->readAllStandardOutput().isEmpty());
        QVERIFY(probe->readAllStandardError().contains("usage"));
    }
};

QTEST_GUILESS_MAIN(TestZunaProbe)
#include "tst_zunaprobe.moc"
