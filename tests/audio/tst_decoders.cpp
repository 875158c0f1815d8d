// The file reader, sniffer and decoders: reads return the file wherever they land, a first
// frame is found anywhere in the sniffer's window, kinds by content, exact lengths (a cut
// file's too) and seeks, a second STREAMINFO ignored, FLAC behind a large picture.

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "audio/decode/decoder.h"
#include "audio/decode/filereader.h"
#include "audio/decode/formatsniffer.h"
#include "support/fixtures.h"
#include "support/toneanalysis.h"

using namespace Qt::StringLiterals;

namespace {
QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Opened {
    std::unique_ptr<FileReader> file;
    SniffedFormat sniffed;
    std::unique_ptr<Decoder> decoder;  // null for what is no audio
};

Opened open(const QString &path)
{
    Opened o;
    if (FileReader::open(QFile::encodeName(path).toStdString(), &o.file) == AudioResult::Ok) {
        o.sniffed = sniffFormat(*o.file);
        openDecoder(o.sniffed, *o.file, &o.decoder);
    }
    return o;
}

// Frames read, or -1 for a read that failed.
long readFrames(Decoder &decoder, float *out, long frames)
{
    long got = 0;
    return decoder.read(out, frames, &got) == AudioResult::Ok ? got : -1;
}

std::vector<float> decodeAll(Decoder &decoder)
{
    const int channels = decoder.format().channels;
    std::vector<float> all, chunk(4096 * size_t(channels));
    for (long got; decoder.read(chunk.data(), 4096, &got) == AudioResult::Ok && got > 0;)
        all.insert(all.end(), chunk.begin(), chunk.begin() + got * channels);
    return all;
}

// `flac` with a PICTURE of `bytes` bytes of noise (false frame syncs too) after STREAMINFO.
QByteArray withPicture(QByteArray flac, int bytes)
{
    const auto be32 = [](quint32 v) {
        const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return QByteArray(b, 4);
    };
    QByteArray noise(bytes, '\0');
    QRandomGenerator(1).fillRange(reinterpret_cast<quint32 *>(noise.data()), bytes / 4);
    const QByteArray body = be32(3) + be32(9) + "image/png" + be32(0) + be32(1) + be32(1) +
                            be32(24) + be32(0) + be32(quint32(bytes)) + noise;
    // The new block takes over STREAMINFO's "last block" flag.
    const quint32 header = quint32(uchar(flac[4]) & 0x80) << 24 | 6u << 24 | quint32(body.size());
    flac[4] = char(flac[4] & 0x7F);
    return flac.insert(4 + 4 + 34, be32(header) + body);
}
}  // namespace

class TestDecoders : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;

    QString scratchFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(scratch.filePath(name));
        const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        return written ? file.fileName() : QString();
    }

private slots:
    void readsReturnTheFileWhereverTheyLand()
    {
        const QString path = fixturePath(u"cbr-noinfo-330-cover.mp3"_s);
        const QByteArray expected = contents(path);
        const qint64 size = expected.size();
        const Opened o = open(path);
        QVERIFY(o.file && size > 100000);
        // Jumps, reads across a fill's end, larger than the buffer and past the end of the
        // file; small steps on from the start (fills growing); and reads at random.
        std::vector<std::pair<qint64, size_t>> reads = {
            {size - 128, 128}, {0, 10}, {16380, 10}, {5, 70000}, {40000, 100000}, {size - 10, 100}};
        for (qint64 at = 0; at < 90000; at += 997)
            reads.emplace_back(at, 997);
        QRandomGenerator pick(2);
        for (int i = 0; i < 200; ++i)
            reads.emplace_back(qint64(pick.bounded(quint32(size))), size_t(pick.bounded(20000)));
        for (const auto &[at, count] : reads) {
            std::vector<char> got(count);
            const long n = o.file->readAt(at, got.data(), count);
            QVERIFY2(QByteArray(got.data(), int(qMax(n, 0L))) == expected.mid(at, qint64(count)),
                     qPrintable(u"%1 bytes at %2"_s.arg(count).arg(at)));
        }
    }

    void firstFrameAnywhereInTheWindow()
    {
        // Zero bytes hold no frame sync, so the first frame is that of the file, which starts
        // with it (no ID3v2 tag). The first look is 4 KiB, the whole window 64 KiB.
        const QByteArray mp3 = contents(fixturePath(u"no-tags.mp3"_s));
        for (const int junk : {0, 4096, 4097, 30000, 65536, 65537}) {
            const Opened o = open(scratchFile(u"junk.mp3"_s, QByteArray(junk, '\0') + mp3));
            const bool found = o.sniffed.type == SoundType::Mpeg;
            QVERIFY2(found == (junk <= 65536) && (!found || o.sniffed.audioStart == junk),
                     qPrintable(u"%1 bytes of junk"_s.arg(junk)));
        }
    }

    void decodesAndSeeksEveryFixtureExactly_data()
    {
        QTest::addColumn<Fixture>("f");
        for (const Fixture &f : loadFixtures())
            if (f.type != "OTHER"_L1)
                QTest::newRow(qPrintable(f.file)) << f;
    }

    void decodesAndSeeksEveryFixtureExactly()
    {
        QFETCH(Fixture, f);
        const Opened o = open(fixturePath(f.file));
        QVERIFY(o.decoder);  // by content: flac-named.mp3 is FLAC
        QVERIFY(o.sniffed.type == (f.type == "MP3"_L1 ? SoundType::Mpeg : SoundType::Flac));
        QCOMPARE(o.decoder->format().rate, f.rate);
        QCOMPARE(o.decoder->format().channels, f.channels);
        // The length shown must be the length played; for a file cut behind a header claiming
        // all of it, what is left, within an MPEG frame of what an independent decoder finds.
        const std::vector<float> pcm = decodeAll(*o.decoder);
        const qint64 frames = qint64(pcm.size()) / f.channels;
        QCOMPARE(o.decoder->lengthFrames(), frames);
        QVERIFY2(qAbs(frames - f.frames) <= (f.file == "truncated.mp3"_L1 ? 1152 : 0),
                 qPrintable(QString::number(frames)));
        // Away from the encoder's fade-in and fade-out, it is the tone the file was made of.
        const ToneStats tone =
            analyseTone(sliceFrames(pcm, f.channels, size_t(frames / 10), size_t(frames * 9 / 10)),
                        f.channels, f.rate);
        QVERIFY2(qAbs(tone.frequency - f.frequency) < f.frequency * 0.01,
                 qPrintable(QString::number(tone.frequency)));
        QVERIFY2(qAbs(tone.peak - f.peak) < 0.05, qPrintable(QString::number(tone.peak)));

        // A seek lands on the exact frame. The MP3 decoder restarts a few frames early to
        // fill its bit reservoir; its output is then the same up to float rounding.
        const double tolerance = f.type == "MP3"_L1 ? 1e-4 : 0;
        std::vector<float> got(300 * size_t(f.channels));
        for (const qint64 target : {qint64(0), frames / 3, frames / 2 + 7, frames - 300}) {
            QCOMPARE(o.decoder->seek(target), AudioResult::Ok);
            QCOMPARE(readFrames(*o.decoder, got.data(), 300), 300L);
            for (size_t i = 0; i < got.size(); ++i)
                QVERIFY2(std::fabs(got[i] - pcm[size_t(target * f.channels) + i]) <= tolerance,
                         qPrintable(u"frame %1"_s.arg(target)));
        }
        QCOMPARE(o.decoder->seek(frames), AudioResult::Ok);  // at the end there is nothing more to read
        QCOMPARE(readFrames(*o.decoder, got.data(), 300), 0L);
    }

    void aSecondStreamInfoIsIgnored()
    {
        // Mono, with a second, stereo STREAMINFO: the format must stay, or buffers overflow.
        const Opened o =
            open(fixturePath(u"../fuzz/regressions/decode/two-streaminfo-blocks.flac"_s));
        QVERIFY(o.decoder);
        const AudioFormat opened = o.decoder->format();
        QCOMPARE(opened.channels, 1);
        std::vector<float> buffer(1024 + 1, 7.0f);
        while (readFrames(*o.decoder, buffer.data(), 1024) > 0) {
            QCOMPARE(o.decoder->format().channels, opened.channels);
            QCOMPARE(o.decoder->format().rate, opened.rate);
            QCOMPARE(buffer.back(), 7.0f);  // nothing written past the frames asked for
        }
    }

    // Opening stops after STREAMINFO; a seek or read straight after has to get past the picture.
    void flacBehindALargePicture()
    {
        const Fixture f = fixture(u"flac16-880.flac"_s);
        const QString path =
            scratchFile(u"cover.flac"_s, withPicture(contents(fixturePath(f.file)), 300000));
        const Opened plain = open(fixturePath(f.file));
        const Opened seeking = open(path);
        const Opened reading = open(path);
        QVERIFY(plain.decoder && seeking.decoder && reading.decoder);
        const std::vector<float> reference = decodeAll(*plain.decoder);
        QCOMPARE(seeking.decoder->lengthFrames(), f.frames);
        QCOMPARE(seeking.decoder->seek(12345), AudioResult::Ok);
        std::vector<float> got(300 * size_t(f.channels));
        QCOMPARE(readFrames(*seeking.decoder, got.data(), 300), 300L);
        QVERIFY(std::equal(got.begin(), got.end(), reference.begin() + 12345 * f.channels));
        QVERIFY(decodeAll(*reading.decoder) == reference);
    }
};

QTEST_GUILESS_MAIN(TestDecoders)
#include "tst_decoders.moc"
