// readTrackMetadata on the tag fixtures, on every fixture's kind, length and size, on file
// names outside Latin-1, and on paths that are no audio file at all (which must come back
// at once with the defaults). Expected texts are those make-fixtures.sh wrote; lengths come
// from fixtures.tsv, sizes from stat().

#include <SDL2/SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>
#include <future>
#include <thread>

#include "metadata/trackmetadata.h"
#include "support/fixtures.h"

namespace {
const QString kAbsent = QStringLiteral("(absent)");
const QString kUnknown = QStringLiteral("Unknow");

QString valueOrAbsent(const TrackMetadata &metadata, const QString &key)
{
    return metadata.contains(key) ? metadata.value(key) : kAbsent;
}

// One row of tags_data; nullptr stands for a key that must be absent.
void tagRow(const char *name, const char *file, const char *title, const char *artist,
            const char *album)
{
    const auto text = [](const char *utf8) { return utf8 ? QString::fromUtf8(utf8) : kAbsent; };
    QTest::newRow(name) << QString::fromUtf8(file) << text(title) << text(artist) << text(album);
}

// The size stat() reports, following links; -1 when there is nothing at the end.
qint64 statSize(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return qint64(info.st_size);
}

// Reads on a thread of its own so that a call that blocks fails the test instead of
// hanging it; such a thread is left behind and ends with the process.
bool readWithin(const QString &path, int milliseconds, TrackMetadata *metadata)
{
    auto result = std::make_shared<std::promise<TrackMetadata>>();
    std::future<TrackMetadata> done = result->get_future();
    std::thread([path, result] { result->set_value(readTrackMetadata(path)); }).detach();
    if (done.wait_for(std::chrono::milliseconds(milliseconds)) != std::future_status::ready)
        return false;
    *metadata = done.get();
    return true;
}
}  // namespace

class TestTrackMetadata : public QObject {
    Q_OBJECT

private:
    QTemporaryDir scratch;

    QString scratchPath(const QString &name) const { return scratch.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(scratch.isValid());
        QVERIFY(QDir().mkdir(scratchPath(QStringLiteral("a folder"))));
        QCOMPARE(
            ::mkfifo(QFile::encodeName(scratchPath(QStringLiteral("pipe.mp3"))).constData(), 0600),
            0);
        QVERIFY(QFile::link(scratchPath(QStringLiteral("gone.mp3")),
                            scratchPath(QStringLiteral("dangling.mp3"))));
    }

    void tags_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("album");
        tagRow("ID3v2.3, UTF-16", "id3v23-utf16.mp3", "Café Grüße – ½", "Zoë Ørsted", "Ünïcödé");
        tagRow("ID3v2.4, UTF-8, non-Latin and non-BMP", "id3v24-utf8.mp3", "Песня", "東京の歌手",
               "🎵 Album");
        tagRow("ID3v1 only", "id3v1-only.mp3", "Old Title", "Old Artist", "Old Album");
        tagRow("ID3v2.3 beside a cover picture", "cbr-noinfo-330-cover.mp3", "Tone 330", nullptr,
               nullptr);
        tagRow("no tags at all", "no-tags.mp3", "Unknow", "Unknow", "Unknow");
        tagRow("FLAC Vorbis comments", "flac16-880.flac", "Tone 880", "ZUNA Tests", "Fixtures");
        // Vorbis field names are case-insensitive: title= is the TITLE.
        tagRow("lower-case Vorbis name", "lowercase-key.flac", "lower case key", nullptr, nullptr);
        tagRow("tags, but none shown", "other-tags-only.flac", nullptr, nullptr, nullptr);
        tagRow("blank title, leading blank kept", "blank-title.mp3", "Unknow", " Leading Blank",
               "Fixtures");
        tagRow("two ARTIST values, the last wins", "two-artists.flac", "Duet", "Second Artist",
               nullptr);
        tagRow("FLAC named .mp3", "flac-named.mp3", "Disguised FLAC", nullptr, nullptr);
        tagRow("truncated", "truncated.mp3", "Tone 440", "ZUNA Tests", "Fixtures");
        tagRow("not audio", "not-audio.mp3", "Unknow", "Unknow", "Unknow");
    }

    void tags()
    {
        QFETCH(QString, file);
        QFETCH(QString, title);
        QFETCH(QString, artist);
        QFETCH(QString, album);
        const TrackMetadata metadata = readTrackMetadata(fixturePath(file));
        QCOMPARE(valueOrAbsent(metadata, QStringLiteral("TITLE")), title);
        QCOMPARE(valueOrAbsent(metadata, QStringLiteral("ARTIST")), artist);
        QCOMPARE(valueOrAbsent(metadata, QStringLiteral("ALBUM")), album);
        // Nothing but the six keys.
        for (const QString &key : metadata.keys())
            QVERIFY2(QStringList({QStringLiteral("TITLE"), QStringLiteral("ARTIST"),
                                  QStringLiteral("ALBUM"), QStringLiteral("LENGTH"),
                                  QStringLiteral("TYPE"), QStringLiteral("SIZE")})
                         .contains(key),
                     qPrintable(key));
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
        QCOMPARE(metadata.value(QStringLiteral("TYPE")),
                 f.type == QLatin1String("OTHER") ? QStringLiteral("UNKNOW") : f.type);
        QCOMPARE(metadata.value(QStringLiteral("SIZE")), QString::number(statSize(path)));

        const qint64 expectedMs = f.rate > 0 ? f.frames * 1000 / f.rate : 0;
        bool ok = false;
        const qint64 length = metadata.value(QStringLiteral("LENGTH")).toLongLong(&ok);
        QVERIFY(ok);
        if (f.file == QLatin1String("truncated.mp3")) {
            // Cut short behind a header that still claims 3 s: what is there counts, give or
            // take the cut frame and the encoder delay (under one MPEG frame, 26 ms).
            QVERIFY2(qAbs(length - expectedMs) <= 27, qPrintable(QString::number(length)));
        } else {
            QCOMPARE(length, expectedMs);
        }
    }

    void nonLatinFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("Cyrillic, Japanese and emoji") << QStringLiteral("Тест テスト 🎵.mp3");
        QTest::newRow("Latin-1 accents") << QStringLiteral("Café Grüße.mp3");
        QTest::newRow("blanks and quotes") << QStringLiteral(" it's \"quoted\" .mp3");
    }

    void nonLatinFileName()
    {
        QFETCH(QString, name);
        const QString copy = scratchPath(name);
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("id3v24-utf8.mp3")), copy));
        const TrackMetadata metadata = readTrackMetadata(copy);
        QVERIFY(QFile::remove(copy));
        QCOMPARE(metadata.value(QStringLiteral("TITLE")), QStringLiteral("Песня"));
        QCOMPARE(metadata.value(QStringLiteral("TYPE")), QStringLiteral("MP3"));
        QCOMPARE(metadata.value(QStringLiteral("LENGTH")), QStringLiteral("500"));
        QCOMPARE(metadata.value(QStringLiteral("SIZE")),
                 QString::number(statSize(fixturePath(QStringLiteral("id3v24-utf8.mp3")))));
    }

    void pathsThatAreNoAudioFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("size");
        QTest::newRow("does not exist")
            << fixturePath(QStringLiteral("missing.mp3")) << QStringLiteral("0");
        const QString folder = scratchPath(QStringLiteral("a folder"));
        QTest::newRow("directory") << folder << QString::number(statSize(folder));
        QTest::newRow("named pipe without a writer")
            << scratchPath(QStringLiteral("pipe.mp3")) << QStringLiteral("0");
        QTest::newRow("endless device") << QStringLiteral("/dev/zero") << QStringLiteral("0");
        QTest::newRow("dangling link")
            << scratchPath(QStringLiteral("dangling.mp3")) << QStringLiteral("0");
        QTest::newRow("empty path") << QString() << QStringLiteral("0");
    }

    void pathsThatAreNoAudioFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, size);
        TrackMetadata metadata;
        QVERIFY2(readWithin(path, 2000, &metadata), "the read blocked");
        TrackMetadata expected;
        expected.insert(QStringLiteral("TITLE"), kUnknown);
        expected.insert(QStringLiteral("ARTIST"), kUnknown);
        expected.insert(QStringLiteral("ALBUM"), kUnknown);
        expected.insert(QStringLiteral("LENGTH"), QStringLiteral("0"));
        expected.insert(QStringLiteral("TYPE"), QStringLiteral("UNKNOW"));
        expected.insert(QStringLiteral("SIZE"), size);
        QCOMPARE(metadata, expected);
    }

    void sizesPastSigned32Bits_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("3 GiB") << (qint64(3) << 30);
        QTest::newRow("5 GiB and 123 bytes") << (qint64(5) << 30) + 123;
    }

    void sizesPastSigned32Bits()
    {
        QFETCH(qint64, bytes);
        // Sparse: the size costs no disk space and no time to make.
        QFile big(scratchPath(QStringLiteral("big.mp3")));
        QVERIFY(big.open(QIODevice::WriteOnly));
        if (!big.resize(bytes))
            QSKIP("the temporary file system cannot hold a sparse file this large");
        big.close();
        QElapsedTimer timer;
        timer.start();
        const TrackMetadata metadata = readTrackMetadata(big.fileName());
        const qint64 elapsed = timer.elapsed();
        QVERIFY(big.remove());
        QCOMPARE(metadata.value(QStringLiteral("SIZE")), QString::number(bytes));
        QCOMPARE(metadata.value(QStringLiteral("TYPE")), QStringLiteral("UNKNOW"));
        QCOMPARE(metadata.value(QStringLiteral("LENGTH")), QStringLiteral("0"));
        QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed)));
    }

    void neverTouchesTheSoundDevice()
    {
        readTrackMetadata(fixturePath(QStringLiteral("cbr-440.mp3")));
        readTrackMetadata(fixturePath(QStringLiteral("flac16-880.flac")));
        QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), Uint32(0));
    }
};

QTEST_GUILESS_MAIN(TestTrackMetadata)
#include "tst_trackmetadata.moc"
