// readTrackMetadata on the fixtures, zuna-probe on strange paths, the playlist entry. Texts are
// those make-fixtures.sh wrote, lengths from fixtures.tsv, sizes stat()'s.

#include <SDL2/SDL.h>
#include <sys/stat.h>

#include <QLabel>
#include <QListWidget>
#include <QtTest>

#include "metadata/trackmetadata.h"
#include "metadata/zunalistwidget.h"
#include "support/fixtures.h"
#include "support/timescale.h"

using namespace Qt::StringLiterals;

namespace {
const QStringList kKeys = {u"TITLE"_s, u"ARTIST"_s, u"ALBUM"_s, u"LENGTH"_s, u"TYPE"_s, u"SIZE"_s};

// As zuna-probe writes a file's line: KEY=value for those of `keys` present, in that order.
QString fields(const TrackMetadata &metadata, const QStringList &keys = kKeys)
{
    QStringList present;
    for (const QString &key : keys)
        if (metadata.contains(key))
            present.append(key + u'=' + metadata.value(key));
    return present.join(u'\t');
}
}  // namespace

class TestTrackMetadata : public QObject {
    Q_OBJECT

private slots:
    void tags_data()
    {
        QTest::addColumn<QString>("tags");  // of the fixture each row is named after
        const auto row = [](const char *file, const QString &tags) { QTest::newRow(file) << tags; };
        row("id3v23-utf16.mp3", u"TITLE=Café Grüße – ½\tARTIST=Zoë Ørsted\tALBUM=Ünïcödé"_s);
        row("id3v24-utf8.mp3", u"TITLE=Песня\tARTIST=東京の歌手\tALBUM=🎵 Album"_s);  // past the BMP
        row("id3v1-only.mp3", u"TITLE=Old Title\tARTIST=Old Artist\tALBUM=Old Album"_s);
        row("cbr-noinfo-330-cover.mp3", u"TITLE=Tone 330"_s);
        row("no-tags.mp3", u"TITLE=Unknow\tARTIST=Unknow\tALBUM=Unknow"_s);
        row("flac16-880.flac", u"TITLE=Tone 880\tARTIST=ZUNA Tests\tALBUM=Fixtures"_s);
        row("lowercase-key.flac", u"TITLE=lower case key"_s);  // Vorbis keys ignore case
        row("other-tags-only.flac", {});                       // tags, but none of these
        row("blank-title.mp3", u"TITLE=Unknow\tARTIST= Leading Blank\tALBUM=Fixtures"_s);
        row("two-artists.flac", u"TITLE=Duet\tARTIST=Second Artist"_s);  // the later one wins
        row("flac-named.mp3", u"TITLE=Disguised FLAC"_s);
        row("truncated.mp3", u"TITLE=Tone 440\tARTIST=ZUNA Tests\tALBUM=Fixtures"_s);
    }

    void tags()
    {
        QFETCH(QString, tags);
        const QString file = QString::fromLatin1(QTest::currentDataTag());
        QCOMPARE(fields(readTrackMetadata(fixturePath(file)), kKeys.mid(0, 3)), tags);
    }

    void kindLengthAndSize_data()
    {
        QTest::addColumn<Fixture>("f");
        for (const Fixture &f : loadFixtures())
            QTest::newRow(qPrintable(f.file)) << f;
    }

    void kindLengthAndSize()
    {
        QFETCH(Fixture, f);
        const TrackMetadata metadata = readTrackMetadata(fixturePath(f.file));
        QCOMPARE(metadata.value(u"TYPE"_s), f.type == "OTHER"_L1 ? u"UNKNOW"_s : f.type);
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(fixturePath(f.file)).constData(), &info), 0);
        QCOMPARE(metadata.value(u"SIZE"_s).toLongLong(), qint64(info.st_size));
        // Cut behind a header claiming 3 s: what is left, within an MPEG frame (26 ms).
        const qint64 slack = f.file == "truncated.mp3"_L1 ? 27 : 0;
        const qint64 length = f.rate > 0 ? f.frames * 1000 / f.rate : 0;
        QVERIFY2(qAbs(metadata.value(u"LENGTH"_s).toLongLong() - length) <= slack,
                 qPrintable(metadata.value(u"LENGTH"_s)));
        for (const QString &key : metadata.keys())
            QVERIFY2(kKeys.contains(key), qPrintable(key));  // nothing but the six keys
        QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), Uint32(0));    // headers only, no sound device
    }

    // A line per path, absent keys left out: a non-Latin name read like its original, its tabs,
    // breaks and backslashes escaped; paths leading nowhere get the defaults, a pipe without a
    // writer too, which a plain open() would wait on for good.
    void probePrintsOneLinePerPath()
    {
        QTemporaryDir scratch;
        const QString original = fixturePath(u"id3v24-utf8.mp3"_s);
        const QString odd = scratch.filePath(u"Тест テスト 🎵 a\tb\nc\\d.mp3"_s);
        const QString flac = fixturePath(u"two-artists.flac"_s);  // no ALBUM
        const QString pipe = scratch.filePath(u"pipe.mp3"_s), missing = scratch.filePath(u"x"_s);
        QVERIFY(QFile::copy(original, odd));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QProcess probe;
        probe.start(QStringLiteral(ZUNA_PROBE), {odd, flac, missing, QString(), pipe});
        QVERIFY(probe.waitForFinished(scaledMs(10000)));
        QVERIFY(probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0);
        const QString unknown =
            u"\tTITLE=Unknow\tARTIST=Unknow\tALBUM=Unknow\tLENGTH=0\tTYPE=UNKNOW\tSIZE=0"_s;
        QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).split(u'\n'),
                 QStringList({scratch.path() + u"/Тест テスト 🎵 a\\tb\\nc\\\\d.mp3\t"_s +
                                  fields(readTrackMetadata(original)),
                              flac + u'\t' + fields(readTrackMetadata(flac)), missing + unknown,
                              unknown, pipe + unknown, QString()}));
    }

    // Entries as a playlist holds them: path (not cleaned) and map kept, the texts a user sees
    // (absent keys empty, 00:00, 0.0MB; 64-bit numbers; no album), clicks reaching the list.
    void entriesInAList()
    {
        const QList<TrackMetadata> maps = {
            {{u"TITLE"_s, u"A Title"_s}, {u"ARTIST"_s, u"An Artist"_s}, {u"TYPE"_s, u"FLAC"_s}},
            {{u"ALBUM"_s, u"LP"_s}, {u"LENGTH"_s, u"4294967295"_s}, {u"SIZE"_s, u"5369756671"_s}}};
        const QList<QStringList> sortedTexts = {
            {u"0.0MB"_s, u"00:00"_s, u"A Title"_s, u"An Artist"_s, u"FLAC"_s},
            {{}, {}, {}, u"1193:02:47"_s, u"5120.9MB"_s}};
        const QString odd = u" ./music/..//Тест %1 🎵.mp3 "_s;
        QListWidget list;
        for (int i = 0; i < maps.size(); ++i)
            list.setItemWidget(new QListWidgetItem(&list), new ZUNAListWidget(maps[i], odd.arg(i)));
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QSignalSpy doubleClicked(&list, &QListWidget::itemDoubleClicked);
        for (int row = 0; row < list.count(); ++row) {
            QListWidgetItem *item = list.item(row);
            auto *entry = qobject_cast<ZUNAListWidget *>(list.itemWidget(item));
            QCOMPARE(entry->Getpath(), odd.arg(row));
            QCOMPARE(entry->Getmetadata(), maps[row]);
            QStringList texts;
            for (QLabel *label : entry->findChildren<QLabel *>()) {
                texts.append(label->text());
                list.setCurrentRow((row + 1) % list.count());
                QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
                QCOMPARE(list.currentRow(), row);
                QTest::mouseDClick(label, Qt::LeftButton, {}, label->rect().center());
                QCOMPARE(doubleClicked.size(), 1);
                QCOMPARE(doubleClicked.takeFirst().at(0).value<QListWidgetItem *>(), item);
            }
            texts.sort();
            QCOMPARE(texts, sortedTexts[row]);
        }
    }
};

QTEST_MAIN(TestTrackMetadata)
#include "tst_trackmetadata.moc"
