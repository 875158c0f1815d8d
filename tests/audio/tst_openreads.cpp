// What opening a stream reads, and that reading less changes nothing: the file reader's
// growing fills return the file's bytes wherever a read lands, the sniffer finds a first
// frame anywhere in its window, a gapless header is not believed for a file cut short, and
// a FLAC file opened without reading past STREAMINFO still seeks and plays exactly, even
// with a large picture before its first frame.

#include <QTemporaryDir>
#include <QtTest>
#include <random>

#include "audio/decoder.h"
#include "audio/filereader.h"
#include "audio/formatsniffer.h"
#include "audio/tagreader.h"
#include "support/fixtures.h"

namespace {
std::unique_ptr<FileReader> openFile(const QString &path)
{
    std::unique_ptr<FileReader> file;
    FileReader::open(QFile::encodeName(path).toStdString(), &file);
    return file;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

std::vector<float> decodeAll(Decoder &decoder)
{
    const int channels = decoder.format().channels;
    std::vector<float> all;
    std::vector<float> chunk(4096 * size_t(channels));
    for (long got; (got = decoder.read(chunk.data(), 4096)) > 0;)
        all.insert(all.end(), chunk.begin(), chunk.begin() + got * channels);
    return all;
}

// `flac` with a PICTURE block of `pictureBytes` inserted right after its STREAMINFO.
QByteArray withPicture(QByteArray flac, int pictureBytes)
{
    const auto be32 = [](quint32 v) {
        const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return QByteArray(b, 4);
    };
    std::mt19937 noise(1);
    QByteArray data(pictureBytes, Qt::Uninitialized);
    for (char &c : data)
        c = char(noise());
    const QByteArray mime("image/png");
    const QByteArray body = be32(3) + be32(quint32(mime.size())) + mime + be32(0) + be32(1) +
                            be32(1) + be32(24) + be32(0) + be32(quint32(data.size())) + data;
    // The block after STREAMINFO takes over its "last block" flag.
    const char streamInfoFlags = flac[4];
    flac[4] = char(streamInfoFlags & 0x7F);
    const quint32 header = quint32(streamInfoFlags & 0x80) << 24 | 6u << 24 | quint32(body.size());
    return flac.insert(4 + 4 + 34, be32(header) + body);
}
}  // namespace

class TestOpenReads : public QObject {
    Q_OBJECT

private slots:
    void readsReturnTheFileWhereverTheyLand()
    {
        const QString path = fixturePath(QStringLiteral("cbr-noinfo-330-cover.mp3"));
        const QByteArray expected = contents(path);
        QVERIFY(expected.size() > 100000);
        auto file = openFile(path);
        QVERIFY(file);
        std::mt19937 pick(2);
        // Small steps on from the start (fills growing), jumps, reads across a fill's end,
        // reads larger than the buffer, and reads past the end.
        std::vector<std::pair<qint64, size_t>> reads;
        for (qint64 at = 0; at < 90000; at += 997)
            reads.emplace_back(at, 997);
        reads.insert(reads.end(), {{expected.size() - 128, 128},
                                   {0, 10},
                                   {16380, 10},
                                   {5, 70000},
                                   {40000, 100000},
                                   {expected.size() - 10, 100}});
        for (int i = 0; i < 200; ++i)
            reads.emplace_back(qint64(pick() % quint32(expected.size())), size_t(pick() % 20000));
        std::vector<char> got;
        for (const auto &[at, count] : reads) {
            got.assign(count, 0);
            const long n = file->readAt(at, got.data(), count);
            const QByteArray want = expected.mid(at, qint64(count));
            QCOMPARE(n, long(want.size()));
            QVERIFY2(QByteArray(got.data(), int(n)) == want,
                     qPrintable(QStringLiteral("%1 bytes at %2").arg(count).arg(at)));
        }
    }

    void firstFrameAnywhereInTheWindow_data()
    {
        QTest::addColumn<int>("junk");
        QTest::addColumn<bool>("found");
        QTest::newRow("none") << 0 << true;
        QTest::newRow("inside the first look") << 4000 << true;
        QTest::newRow("at the first look's end") << 4096 << true;
        QTest::newRow("just past the first look") << 4097 << true;
        QTest::newRow("well past it") << 30000 << true;
        QTest::newRow("at the window's end") << 65536 << true;
        QTest::newRow("past the window") << 65537 << false;
    }

    void firstFrameAnywhereInTheWindow()
    {
        QFETCH(int, junk);
        QFETCH(bool, found);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("junk.mp3"));
        // Zero bytes hold no frame sync, so the first frame is the file's own, which starts
        // it (no-tags.mp3 has no ID3v2 tag).
        QVERIFY(writeFile(
            path, QByteArray(junk, '\0') + contents(fixturePath(QStringLiteral("no-tags.mp3")))));
        auto file = openFile(path);
        QVERIFY(file);
        const SniffedFormat sniffed = sniffFormat(*file);
        if (!found) {
            QCOMPARE(sniffed.type, SoundType::Other);
            return;
        }
        QCOMPARE(sniffed.type, SoundType::Mpeg);
        QCOMPARE(sniffed.audioStart, qint64(junk));
        QVERIFY(sniffed.mpegLengthHeader);
    }

    void lengthHeaderOfACutFileIsNotBelieved_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("believed");
        QTest::newRow("CBR Info") << QStringLiteral("cbr-440.mp3") << true;
        QTest::newRow("VBR Xing") << QStringLiteral("vbr-660.mp3") << true;
        QTest::newRow("MPEG-2") << QStringLiteral("mpeg2-22k-mono.mp3") << true;
        QTest::newRow("ID3v1 after the audio") << QStringLiteral("id3v1-only.mp3") << true;
        QTest::newRow("cut at 40 %") << QStringLiteral("truncated.mp3") << false;
    }

    void lengthHeaderOfACutFileIsNotBelieved()
    {
        QFETCH(QString, file);
        QFETCH(bool, believed);
        const Fixture f = fixture(file);
        auto reader = openFile(fixturePath(file));
        QVERIFY(reader);
        const SniffedFormat sniffed = sniffFormat(*reader);
        QCOMPARE(sniffed.mpegLengthHeader, believed);
        std::unique_ptr<Decoder> decoder;
        QCOMPARE(openDecoder(sniffed, *reader, &decoder), AudioResult::Ok);
        // The length is what decoding yields, within a frame (1152) of an independent decoder.
        const qint64 decoded = qint64(decodeAll(*decoder).size()) / f.channels;
        QCOMPARE(decoder->lengthFrames(), decoded);
        QVERIFY2(qAbs(decoded - f.frames) <= 1152, qPrintable(QString::number(decoded)));
    }

    void flacBehindALargePicture()
    {
        const Fixture f = fixture(QStringLiteral("flac16-880.flac"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cover.flac"));
        QVERIFY(writeFile(path, withPicture(contents(fixturePath(f.file)), 300000)));

        std::vector<float> reference;
        {
            auto file = openFile(fixturePath(f.file));
            std::unique_ptr<Decoder> decoder;
            QCOMPARE(openDecoder(sniffFormat(*file), *file, &decoder), AudioResult::Ok);
            reference = decodeAll(*decoder);
        }
        QCOMPARE(qint64(reference.size()), f.frames * f.channels);

        auto file = openFile(path);
        QVERIFY(file);
        const SniffedFormat sniffed = sniffFormat(*file);
        QCOMPARE(sniffed.type, SoundType::Flac);
        std::unique_ptr<Decoder> decoder;
        QCOMPARE(openDecoder(sniffed, *file, &decoder), AudioResult::Ok);
        QCOMPARE(decoder->lengthFrames(), f.frames);
        QVERIFY(decoder->format().rate == f.rate && decoder->format().channels == f.channels);

        // A seek straight after opening has to get past the picture first.
        const size_t target = 12345;
        QVERIFY(decoder->seek(qint64(target)));
        std::vector<float> got(300 * size_t(f.channels));
        QCOMPARE(decoder->read(got.data(), 300), 300L);
        QVERIFY(std::equal(got.begin(), got.end(), reference.begin() + long(target) * f.channels));

        // And so does reading straight after opening.
        auto again = openFile(path);
        std::unique_ptr<Decoder> fresh;
        QCOMPARE(openDecoder(sniffFormat(*again), *again, &fresh), AudioResult::Ok);
        QVERIFY(decodeAll(*fresh) == reference);

        bool titled = false;
        for (const Tag &tag : readTags(SoundType::Flac, *again))
            titled = titled || (tag.name == "TITLE" && tag.text == "Tone 880");
        QVERIFY(titled);
    }
};

QTEST_GUILESS_MAIN(TestOpenReads)
#include "tst_openreads.moc"
