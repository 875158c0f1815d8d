// Below the stream: the file reader, the sniffer, exact lengths and seeks of every fixture (a
// cut file, a large picture, a second STREAMINFO too) and the MPEG and ID3v2 header parsers.

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "audio/decode/decoder.h"
#include "audio/decode/filereader.h"
#include "audio/decode/formatsniffer.h"
#include "audio/decode/mpegheader.h"
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
    explicit Opened(const QString &path)
    {
        if (FileReader::open(QFile::encodeName(path).toStdString(), &file) == AudioResult::Ok) {
            sniffed = sniffFormat(*file);
            openDecoder(sniffed, *file, &decoder);
        }
    }
};

QByteArray be32(quint32 v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(b, 4);
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
        const Opened o(fixturePath(u"cbr-noinfo-330-cover.mp3"_s));
        const QByteArray expected = contents(fixturePath(u"cbr-noinfo-330-cover.mp3"_s));
        const qint64 size = expected.size();
        QVERIFY(o.file && size > 100000);
        // Jumps, across a fill's end, beyond the buffer, past the end; small steps on; random.
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
        // Zero bytes hold no sync; the first look is 4 KiB, the whole window 64 KiB.
        const QByteArray mp3 = contents(fixturePath(u"no-tags.mp3"_s));
        for (const int junk : {0, 4096, 4097, 30000, 65536, 65537}) {
            const Opened o(scratchFile(u"junk.mp3"_s, QByteArray(junk, '\0') + mp3));
            const bool found = o.sniffed.type == SoundType::Mpeg;
            QVERIFY2(found == (junk <= 65536) && (!found || o.sniffed.audioStart == junk),
                     qPrintable(u"%1 bytes of junk"_s.arg(junk)));
        }
    }

    void decodesAndSeeksEveryFixtureExactly_data()
    {
        QTest::addColumn<Fixture>("f");
        QTest::addColumn<QString>("path");
        for (const Fixture &f : loadFixtures())
            if (f.type != "OTHER"_L1)
                QTest::newRow(qPrintable(f.file)) << f << fixturePath(f.file);
        // Opening stops after STREAMINFO; seeks and reads must get past a PICTURE of false syncs.
        const Fixture f = fixture(u"flac16-880.flac"_s);
        QByteArray flac = contents(fixturePath(f.file));
        const QByteArray body = be32(3) + be32(9) + "image/png" + QByteArray(20, '\0') +
                                be32(300000) + QByteArray("\xFF\xF8", 2).repeated(150000);
        const quint32 header = quint32(uchar(flac[4]) & 0x80) << 24 | 6u << 24 | body.size();
        flac[4] = char(flac[4] & 0x7F);  // the picture takes over the "last block" flag
        flac.insert(4 + 4 + 34, be32(header) + body);
        QTest::newRow("flac16-880 behind a picture") << f << scratchFile(u"cover.flac"_s, flac);
    }

    void decodesAndSeeksEveryFixtureExactly()
    {
        QFETCH(Fixture, f);
        QFETCH(QString, path);
        const Opened o(path), s(path);    // s seeks, the first time straight after opening
        QVERIFY(o.decoder && s.decoder);  // by content: flac-named.mp3 is FLAC
        QVERIFY(o.sniffed.type == (f.type == "MP3"_L1 ? SoundType::Mpeg : SoundType::Flac));
        QCOMPARE(o.decoder->format().rate, f.rate);
        QCOMPARE(o.decoder->format().channels, f.channels);
        // The length shown is the length played, stated by a header or counted; for a file cut
        // behind a header claiming all of it, what is left, within an MPEG frame.
        std::vector<float> pcm, chunk(4096 * size_t(f.channels));
        for (long got; o.decoder->read(chunk.data(), 4096, &got) == AudioResult::Ok && got > 0;)
            pcm.insert(pcm.end(), chunk.begin(), chunk.begin() + got * f.channels);
        const qint64 frames = qint64(pcm.size()) / f.channels;
        QCOMPARE(o.decoder->lengthFrames(), frames);
        QCOMPARE_LE(qAbs(frames - f.frames), f.file == "truncated.mp3"_L1 ? 1152 : 0);
        // Away from the encoder's fade-in and fade-out, it is the tone the file was made of.
        const ToneStats tone = analyseTone(
            sliceFrames(pcm, f.channels, frames / 10, frames * 9 / 10), f.channels, f.rate);
        QCOMPARE_LT(qAbs(tone.frequency - f.frequency), f.frequency * 0.01);
        QCOMPARE_LT(qAbs(tone.peak - f.peak), 0.05);
        // A seek lands on the exact frame; one outside the stream changes nothing. The MP3
        // decoder restarts early to fill its bit reservoir, the same up to float rounding.
        const double tolerance = f.type == "MP3"_L1 ? 1e-4 : 0;
        long n = 0;
        for (const qint64 target : {frames / 2 + 7, qint64(0), frames / 3, frames - 300, frames}) {
            QCOMPARE(s.decoder->seek(target), AudioResult::Ok);
            QCOMPARE(s.decoder->seek(-1), AudioResult::InvalidArgument);
            QCOMPARE(s.decoder->seek(frames + 1), AudioResult::InvalidArgument);
            QCOMPARE(s.decoder->read(chunk.data(), 300, &n), AudioResult::Ok);
            QCOMPARE(n, long(qMin(frames - target, qint64(300))));  // at the end, nothing
            for (size_t i = 0; i < size_t(n * f.channels); ++i)
                QCOMPARE_LE(std::fabs(chunk[i] - pcm[size_t(target * f.channels) + i]), tolerance);
        }
    }

    void aSecondStreamInfoIsIgnored()
    {
        // Mono, with a second, stereo STREAMINFO: the format must stay, or buffers overflow.
        const Opened o(fixturePath(u"../fuzz/regressions/decode/two-streaminfo-blocks.flac"_s));
        QVERIFY(o.decoder && o.decoder->format().channels == 1);
        const int rate = o.decoder->format().rate;
        std::vector<float> buffer(1024 + 1, 7.0f);
        for (long got; o.decoder->read(buffer.data(), 1024, &got) == AudioResult::Ok && got > 0;) {
            QVERIFY(o.decoder->format().channels == 1 && o.decoder->format().rate == rate);
            QCOMPARE(buffer.back(), 7.0f);  // nothing written past the frames asked for
        }
    }

    void headerParsers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // version, layer, kbit/s, Hz, channels, samples, frame bytes, padded; none: no frame
        QTest::addColumn<QList<int>>("fields");
        QTest::addColumn<bool>("counted");     // hasFrameCountHeader
        QTest::addColumn<qint64>("tagBytes");  // id3v2TagSize
        QTest::addColumn<int>("available");    // if not all the bytes; they are the whole stream
        const auto row = [](const char *name, const QByteArray &bytes, const QList<int> &fields,
                            bool counted = false, qint64 tag = 0, int available = 0) {
            QTest::newRow(name) << bytes << fields << counted << tag << available;
        };
        // A frame header packed from its fields (as the bits stand), without CRC.
        enum Version { Mpeg25, ReservedVersion, Mpeg2, Mpeg1 };
        enum Layer { ReservedLayer, L3, L2, L1 };
        enum Mode { Stereo = 0, Mono = 3 };
        const auto frame = [](int version, int layer, int bitrate, int rate, int mode = Stereo,
                              int emphasis = 0) {
            return be32(0xFFE10000 | version << 19 | layer << 17 | bitrate << 12 | rate << 10 |
                        mode << 6 | emphasis);
        };
        // `h`, zeros, and at `at` a Xing-style tag `id`: flags, 100 frames, `size` bytes.
        const auto tagged = [](QByteArray h, int at, const char *id, int flags, int size = 0) {
            return h + QByteArray(at - 4, '\0') + id + be32(flags) + be32(100) + be32(size);
        };
        // Expected values by hand from the MPEG tables. Frame bytes: Layer I (12 * bit/s / Hz +
        // padding) * 4, else 144 * bit/s / Hz + padding, 72 in MPEG-2/2.5 Layer III. Xing or Info
        // follows the side information: 32 bytes in MPEG-1 stereo, 17 in MPEG-1 mono and MPEG-2
        // stereo, 9 in MPEG-2 mono.
        const QByteArray h1 = frame(Mpeg1, L3, 9, 0), h2Mono = frame(Mpeg2, L3, 8, 0, Mono);
        const QByteArray l2 = frame(Mpeg1, L2, 10, 2, Mono), l1 = frame(Mpeg1, L1, 8, 0);
        const QList<int> m1 = {10, 3, 128, 44100, 2, 1152, 417, 418};
        const QList<int> m2Mono = {20, 3, 64, 22050, 1, 576, 208, 209};
        row("1 III, Xing", tagged(h1, 36, "Xing", 1), m1, true);
        row("1 III mono, Info", tagged(frame(Mpeg1, L3, 9, 0, Mono), 21, "Info", 1),
            {10, 3, 128, 44100, 1, 1152, 417, 418}, true);
        row("1 II mono, Xing", tagged(l2, 21, "Xing", 1), {10, 2, 192, 32000, 1, 1152, 864, 865});
        row("1 I, Xing", tagged(l1, 36, "Xing", 1), {10, 1, 256, 44100, 2, 384, 276, 280});
        row("2 III mono, Xing", tagged(h2Mono, 13, "Xing", 1), m2Mono, true);
        row("2 II", frame(Mpeg2, L2, 8, 1), {20, 2, 64, 24000, 2, 1152, 384, 385});
        row("2 I", frame(Mpeg2, L1, 5, 2), {20, 1, 80, 16000, 2, 384, 240, 244});
        row("2.5 III emphasis 1, Info", tagged(frame(Mpeg25, L3, 6, 0, Stereo, 1), 21, "Info", 1),
            {25, 3, 48, 11025, 2, 576, 313, 314}, true);
        row("2.5 II", frame(Mpeg25, L2, 14, 1), {25, 2, 160, 12000, 2, 1152, 1920, 1921});
        row("2.5 I", frame(Mpeg25, L1, 14, 2), {25, 1, 256, 8000, 2, 384, 1536, 1540});
        row("bad sync", QByteArray(h1).replace(1, 1, "\xDB"), {});  // 0xFB less a sync bit
        row("reserved version", frame(ReservedVersion, L3, 9, 0), {});
        row("reserved layer", frame(Mpeg1, ReservedLayer, 9, 0), {});
        row("free format", frame(Mpeg1, L3, 0, 0), {});
        row("bitrate index 15", frame(Mpeg1, L3, 15, 0), {});
        row("rate index 3", frame(Mpeg1, L3, 9, 3), {});
        row("emphasis 2", frame(Mpeg1, L3, 9, 0, Stereo, 2), {});
        row("Xing at stereo's place in mono", tagged(h2Mono, 21, "Xing", 1), m2Mono);
        row("Xing without count", tagged(h1, 36, "Xing", 14), m1);
        row("Info without count", tagged(h1, 36, "Info", 0), m1);
        row("Xing bytes the stream holds", tagged(h1, 36, "Xing", 3, 52), m1, true);
        row("Xing bytes a cut stream lacks", tagged(h1, 36, "Xing", 3, 53), m1);
        row("Xing flags not available", tagged(h1, 36, "Xing", 1), m1, false, 0, 43);
        // VBRI sits 32 bytes past the header whatever the version and channels.
        row("VBRI", tagged(h2Mono, 36, "VBRI", 0), m2Mono, true);
        row("VBRI not available", tagged(h2Mono, 36, "VBRI", 0), m2Mono, false, 0, 39);
        // Ten header bytes, the body's size in seven bits a byte, a ten-byte footer ("3DI").
        row("ID3", QByteArray("ID3\x04\x00\x00\x01\x7F\x00\x45", 10), {}, false, 4177999);
        row("ID3 footer", QByteArray("ID3\x04\x00\x10\x01\x7F\x00\x45", 10), {}, false, 4178009);
        row("ID3 size byte over 0x7F", QByteArray("ID3\x04\x00\x00\x01\x80\x00\x45", 10), {});
        row("ID3 version 0xFF", QByteArray("ID3\xFF\x00\x00\x01\x7F\x00\x45", 10), {});
        row("ID3 revision 0xFF", QByteArray("ID3\x04\xFF\x00\x01\x7F\x00\x45", 10), {});
        row("ID3 from its end", QByteArray("3DI\x04\x00\x00\x01\x7F\x00\x45", 10), {});
        row("ID3 9 bytes", QByteArray("ID3\x04\x00\x00\x01\x7F\x00\x45", 10), {}, false, 0, 9);
    }

    void headerParsers()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<int>, fields);
        QFETCH(int, available);
        available = available ? available : int(bytes.size());
        const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
        QTEST(qint64(id3v2TagSize(b, size_t(available))), "tagBytes");
        // Padding adds one slot: four bytes in Layer I, one in II and III.
        const unsigned char withPadding[4] = {b[0], b[1], uchar(b[2] | 2), b[3]};
        MpegFrameHeader h, padded;
        QCOMPARE(h.parse(b) && padded.parse(withPadding), !fields.isEmpty());
        if (fields.isEmpty())
            return;
        QCOMPARE((QList<int>{h.version, h.layer, h.bitrate, h.rate, h.channels, h.samplesPerFrame,
                             h.frameBytes, padded.frameBytes}),
                 fields);
        QTEST(hasFrameCountHeader(h, b, size_t(available), available), "counted");
    }
};

QTEST_GUILESS_MAIN(TestDecoders)
#include "tst_decoders.moc"
