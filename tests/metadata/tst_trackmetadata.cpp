// readTrackMetadata on the tag fixtures, every fixture's kind, length and size, non-Latin file
// names and paths leading nowhere; zuna-probe, which prints it; the playlist entry showing it.
// Expected texts are those make-fixtures.sh wrote, lengths from fixtures.tsv, sizes stat()'s.

#include <SDL2/SDL.h>
#include <sys/stat.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <future>
#include <thread>

#include "metadata/trackmetadata.h"
#include "metadata/zunalistwidget.h"
#include "support/fixtures.h"

using namespace Qt::StringLiterals;

namespace {
const QString kAbsent = u"(absent)"_s;
const QString kUnknown = u"Unknow"_s;
const QStringList kKeys = {u"TITLE"_s, u"ARTIST"_s, u"ALBUM"_s, u"LENGTH"_s, u"TYPE"_s, u"SIZE"_s};
// The labels of an entry and their keys, in layout order.
enum { Title, Artist, Type, Length, Size };
const QStringList kLabelKeys = {u"TITLE"_s, u"ARTIST"_s, u"TYPE"_s, u"LENGTH"_s, u"SIZE"_s};

// The size stat() reports, following links; 0 when there is nothing at the end.
qint64 statSize(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_size : 0;
}

// The labels where the row puts them: title and artist in the left column; type, length
// and size in the right one, past the spacer. They exist once the entry is polished.
QList<QLabel *> labelsOf(const ZUNAListWidget &entry)
{
    entry.ensurePolished();
    QList<QLabel *> labels;
    auto *row = qobject_cast<QHBoxLayout *>(entry.layout());
    if (!row || row->count() != 3 || !row->itemAt(1)->spacerItem())
        return labels;
    for (const int column : {0, 2}) {
        QLayout *inner = row->itemAt(column)->layout();
        for (int i = 0; inner && i < inner->count(); ++i)
            labels.append(qobject_cast<QLabel *>(inner->itemAt(i)->widget()));
    }
    return labels.size() == 5 && !labels.contains(nullptr) ? labels : QList<QLabel *>();
}

QStringList textsOf(const QList<QLabel *> &labels)
{
    QStringList texts;
    for (const QLabel *label : labels)
        texts.append(label->text());
    return texts;
}

const TrackMetadata kSample = {{u"TITLE"_s, u"A Title"_s},  {u"ARTIST"_s, u"An Artist"_s},
                               {u"ALBUM"_s, u"An Album"_s}, {u"LENGTH"_s, u"83456"_s},
                               {u"TYPE"_s, u"FLAC"_s},      {u"SIZE"_s, u"5000000"_s}};
}  // namespace

class TestTrackMetadata : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;

private slots:
    void tags_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("shown");  // title, artist, album; nullptr: absent
        const auto row = [](const char *name, const char *file, const char *title,
                            const char *artist, const char *album) {
            QStringList shown;
            for (const char *text : {title, artist, album})
                shown.append(text ? QString::fromUtf8(text) : kAbsent);
            QTest::newRow(name) << QString::fromUtf8(file) << shown;
        };
        row("ID3v2.3 UTF-16", "id3v23-utf16.mp3", "Café Grüße – ½", "Zoë Ørsted", "Ünïcödé");
        row("ID3v2.4 UTF-8, beyond the BMP", "id3v24-utf8.mp3", "Песня", "東京の歌手", "🎵 Album");
        row("ID3v1 only", "id3v1-only.mp3", "Old Title", "Old Artist", "Old Album");
        row("beside a cover", "cbr-noinfo-330-cover.mp3", "Tone 330", nullptr, nullptr);
        row("no tags", "no-tags.mp3", "Unknow", "Unknow", "Unknow");
        row("Vorbis comments", "flac16-880.flac", "Tone 880", "ZUNA Tests", "Fixtures");
        // Vorbis field names are case-insensitive: title= is the TITLE.
        row("lower-case key", "lowercase-key.flac", "lower case key", nullptr, nullptr);
        row("tags, none shown", "other-tags-only.flac", nullptr, nullptr, nullptr);
        row("blank title, leading blank", "blank-title.mp3", "Unknow", " Leading Blank",
            "Fixtures");
        row("two ARTISTs, last wins", "two-artists.flac", "Duet", "Second Artist", nullptr);
        row("FLAC named .mp3", "flac-named.mp3", "Disguised FLAC", nullptr, nullptr);
        row("truncated", "truncated.mp3", "Tone 440", "ZUNA Tests", "Fixtures");
    }

    void tags()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, shown);
        const TrackMetadata metadata = readTrackMetadata(fixturePath(file));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(metadata.value(kKeys[i], kAbsent), shown[i]);
        for (const QString &key : metadata.keys())
            QVERIFY2(kKeys.contains(key), qPrintable(key));  // nothing but the six keys
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
        const QString path = fixturePath(f.file);
        const TrackMetadata metadata = readTrackMetadata(path);
        QCOMPARE(metadata.value(u"TYPE"_s), f.type == "OTHER"_L1 ? u"UNKNOW"_s : f.type);
        QCOMPARE(metadata.value(u"SIZE"_s), QString::number(statSize(path)));
        const qint64 expected = f.rate > 0 ? f.frames * 1000 / f.rate : 0;
        const qint64 length = metadata.value(u"LENGTH"_s).toLongLong();
        // Cut behind a header claiming 3 s: what is left, within an MPEG frame (26 ms).
        QVERIFY2(qAbs(length - expected) <= (f.file == "truncated.mp3"_L1 ? 27 : 0),
                 qPrintable(QString::number(length)));
        QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), Uint32(0));  // headers only, no sound device
    }

    void nonLatinFileNames()
    {
        const QString original = fixturePath(u"id3v24-utf8.mp3"_s);
        for (const QString &name : {u"Тест テスト 🎵.mp3"_s, u"Café Grüße.mp3"_s}) {
            const QString copy = scratch.filePath(name);
            QVERIFY(QFile::copy(original, copy));
            QCOMPARE(readTrackMetadata(copy), readTrackMetadata(original));
        }
    }

    // Directories, devices, dangling links: see the hostile files. A pipe without a writer would
    // block a plain open() for good: read on a thread of its own, blocking fails the test.
    void pathsLeadingNowhereGetTheDefaults()
    {
        const TrackMetadata defaults = {{u"TITLE"_s, kUnknown},   {u"ARTIST"_s, kUnknown},
                                        {u"ALBUM"_s, kUnknown},   {u"LENGTH"_s, u"0"_s},
                                        {u"TYPE"_s, u"UNKNOW"_s}, {u"SIZE"_s, u"0"_s}};
        QCOMPARE(readTrackMetadata(fixturePath(u"missing.mp3"_s)), defaults);
        QCOMPARE(readTrackMetadata(QString()), defaults);
        const QString pipe = scratch.filePath(u"pipe.mp3"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        auto result = std::make_shared<std::promise<TrackMetadata>>();
        std::future<TrackMetadata> read = result->get_future();
        std::thread([pipe, result] { result->set_value(readTrackMetadata(pipe)); }).detach();
        QVERIFY2(read.wait_for(std::chrono::seconds(2)) == std::future_status::ready, "blocked");
        QCOMPARE(read.get(), defaults);
    }

    // zuna-probe: a line per path, KEY=value fields in key order and UTF-8, absent keys left
    // out, tabs, line breaks and backslashes in a path escaped so that it keeps to its line.
    void probePrintsOneLinePerPath()
    {
        const QString tagged = fixturePath(u"id3v24-utf8.mp3"_s);
        const QString odd = scratch.filePath(u"a\tb\nc\\d.flac"_s);
        QVERIFY(QFile::copy(fixturePath(u"two-artists.flac"_s), odd));
        QProcess probe;
        probe.start(QStringLiteral(ZUNA_PROBE), {tagged, odd});
        QVERIFY(probe.waitForFinished(10000));
        QVERIFY(probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0);
        QCOMPARE(
            probe.readAllStandardOutput(),
            QFile::encodeName(tagged) +
                "\tTITLE=Песня\tARTIST=東京の歌手\tALBUM=🎵 Album\tLENGTH=500\tTYPE=MP3\tSIZE=" +
                QByteArray::number(statSize(tagged)) + "\n" + QFile::encodeName(scratch.path()) +
                "/a\\tb\\nc\\\\d.flac\tTITLE=Duet\tARTIST=Second Artist\tLENGTH=500\tTYPE=FLAC"
                "\tSIZE=" +
                QByteArray::number(statSize(odd)) + "\n");
    }

    // The playlist entry.
    void lengthAndSizeTexts_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");  // null: the key is missing
        QTest::addColumn<QString>("text");
        const auto row = [](const char *key, const char *value, const char *text) {
            QTest::addRow("%s %s", key, value ? value : "missing")
                << QString::fromLatin1(key) << QString::fromLatin1(value)
                << QString::fromLatin1(text);
        };
        row("TITLE", nullptr, "");
        row("TYPE", nullptr, "");
        // Time formatting itself is timeText's test; these show the entry uses it, in 64 bits.
        row("LENGTH", nullptr, "00:00");
        row("LENGTH", "3600000", "1:00:00");
        row("LENGTH", "4294967295", "1193:02:47");
        row("SIZE", nullptr, "0.0MB");
        row("SIZE", "-5000000", "0.0MB");
        row("SIZE", "102399", "0.0MB");
        row("SIZE", "102400", "0.1MB");
        row("SIZE", "1048575", "0.9MB");  // 1023 KB over: the digit stops at 9
        row("SIZE", "1048576", "1.0MB");
        row("SIZE", "3145727", "2.9MB");
        row("SIZE", "2147483648", "2048.0MB");
        row("SIZE", "5369756671", "5120.9MB");
    }

    void lengthAndSizeTexts()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, text);
        const ZUNAListWidget entry(value.isNull() ? TrackMetadata() : TrackMetadata{{key, value}},
                                   u"/a.mp3"_s);
        QCOMPARE(textsOf(labelsOf(entry)).value(kLabelKeys.indexOf(key), u"(no label)"_s), text);
    }

    // In a list as a playlist holds it: path and map kept as given, texts, fonts and places,
    // and clicks that reach the list.
    void inAList()
    {
        TrackMetadata metadata = kSample;
        metadata.insert(u"EXTRA"_s, u"kept too"_s);
        const QString path = u" ./music/..//Тест %1 🎵.mp3 "_s;  // not to be cleaned
        QListWidget list;
        list.resize(400, 200);
        for (int i = 0; i < 3; ++i) {
            auto *item = new QListWidgetItem(&list);
            item->setSizeHint(QSize(0, 60));
            list.setItemWidget(item, new ZUNAListWidget(metadata, path.arg(i)));
        }
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QListWidgetItem *target = list.item(1);
        auto *entry = qobject_cast<ZUNAListWidget *>(list.itemWidget(target));
        QCOMPARE(entry->Getpath(), path.arg(1));
        QCOMPARE(entry->Getmetadata(), metadata);
        const QList<QLabel *> l = labelsOf(*entry);
        QCOMPARE(textsOf(l),
                 QStringList({u"A Title"_s, u"An Artist"_s, u"FLAC"_s, u"01:23"_s, u"4.7MB"_s}));
        QCOMPARE(entry->findChildren<QLabel *>().size(), 5);  // the album is kept, not shown
        // Title above artist; type, length and size from top to bottom, right of the title.
        QVERIFY(l[Title]->geometry().bottom() <= l[Artist]->geometry().top());
        QVERIFY(l[Type]->geometry().bottom() <= l[Length]->geometry().top());
        QVERIFY(l[Length]->geometry().bottom() <= l[Size]->geometry().top());
        QVERIFY(l[Type]->x() > l[Title]->geometry().right());

        const int points[] = {11, 9, 8, 8, 8};
        const bool bold[] = {true, false, true, false, false};
        QSignalSpy doubleClicked(&list, &QListWidget::itemDoubleClicked);
        for (int i = Title; i <= Size; ++i) {
            // Sizes and weights only: the family comes from the list, like everything else.
            QCOMPARE(l[i]->font().pointSize(), points[i]);
            QCOMPARE(l[i]->font().bold(), bold[i]);
            QCOMPARE(l[i]->font().family(), list.font().family());
            QCOMPARE(l[i]->alignment(), i < Type ? QLabel().alignment() : Qt::AlignRight);
            // Left column at the left margin, right column at the right one.
            if (i < Type)
                QCOMPARE(l[i]->x(), 5);
            else
                QCOMPARE(l[i]->geometry().right(), entry->width() - 1 - 5);

            list.setCurrentItem(list.item(0));
            QTest::mouseClick(l[i], Qt::LeftButton, {}, l[i]->rect().center());
            QCOMPARE(list.currentItem(), target);
            QTest::mouseDClick(l[i], Qt::LeftButton, {}, l[i]->rect().center());
            QCOMPARE(doubleClicked.count(), i + 1);
            QCOMPARE(doubleClicked.last().at(0).value<QListWidgetItem *>(), target);
        }
    }
};

QTEST_MAIN(TestTrackMetadata)
#include "tst_trackmetadata.moc"
