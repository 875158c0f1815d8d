// The decoders and the content sniffer on the committed fixtures: kinds told by content,
// sample-exact lengths, the tones they hold, accurate seeking, and paths that are no files.

#include <sys/stat.h>

#include <QTemporaryDir>
#include <QtTest>

#include "audio/decoder.h"
#include "audio/filereader.h"
#include "audio/formatsniffer.h"
#include "support/fixtures.h"
#include "support/toneanalysis.h"

namespace {
struct Opened {
    std::unique_ptr<FileReader> file;
    std::unique_ptr<Decoder> decoder;
};

Opened open(const QString &name)
{
    Opened opened;
    if (FileReader::open(QFile::encodeName(fixturePath(name)).toStdString(), &opened.file) !=
        AudioResult::Ok)
        return opened;
    openDecoder(sniffFormat(*opened.file), *opened.file, &opened.decoder);
    return opened;
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

QString kindName(SoundType type)
{
    switch (type) {
        case SoundType::Mpeg:
            return QStringLiteral("MP3");
        case SoundType::Flac:
            return QStringLiteral("FLAC");
        case SoundType::Other:
            break;
    }
    return QStringLiteral("OTHER");
}
}  // namespace

class TestDecoders : public QObject {
    Q_OBJECT

private slots:
    void decodesEveryFixtureExactly_data()
    {
        QTest::addColumn<Fixture>("f");
        for (const Fixture &f : loadFixtures())
            if (f.type != QLatin1String("OTHER") && f.file != QLatin1String("truncated.mp3"))
                QTest::newRow(qPrintable(f.file)) << f;
    }

    void decodesEveryFixtureExactly()
    {
        QFETCH(Fixture, f);
        Opened o = open(f.file);
        QVERIFY(o.file);
        QCOMPARE(kindName(sniffFormat(*o.file).type), f.type);
        QVERIFY(o.decoder);
        QCOMPARE(o.decoder->format().rate, f.rate);
        QCOMPARE(o.decoder->format().channels, f.channels);
        // The length the player shows must be the length it plays.
        QCOMPARE(o.decoder->lengthFrames(), f.frames);
        const std::vector<float> pcm = decodeAll(*o.decoder);
        QCOMPARE(qint64(pcm.size() / size_t(f.channels)), f.frames);

        // Away from the encoder's fade-in and fade-out, it is the tone the file was made of.
        const size_t frames = size_t(f.frames);
        const ToneStats tone = analyseTone(
            sliceFrames(pcm, f.channels, frames / 10, frames * 9 / 10), f.channels, f.rate);
        QVERIFY2(qAbs(tone.frequency - f.frequency) < f.frequency * 0.01,
                 qPrintable(QString::number(tone.frequency)));
        QVERIFY2(qAbs(tone.peak - f.peak) < 0.05, qPrintable(QString::number(tone.peak)));
    }

    void kindComesFromContentNotName()
    {
        QCOMPARE(kindName(sniffFormat(*open(QStringLiteral("flac-named.mp3")).file).type),
                 QStringLiteral("FLAC"));
        Opened random = open(QStringLiteral("not-audio.mp3"));
        QCOMPARE(kindName(sniffFormat(*random.file).type), QStringLiteral("OTHER"));
        QVERIFY(!random.decoder);
    }

    void truncatedFileEndsEarlyWithoutError()
    {
        const Fixture f = fixture(QStringLiteral("truncated.mp3"));
        Opened o = open(f.file);
        QVERIFY(o.decoder);
        const qint64 decoded = qint64(decodeAll(*o.decoder).size()) / f.channels;
        QVERIFY(decoded > 0);
        // The header still speaks for the whole file; the length must be what is left.
        QCOMPARE(decoded, o.decoder->lengthFrames());
        // No more than one MPEG frame away from what an independent decoder finds.
        QVERIFY2(qAbs(decoded - f.frames) <= 1152, qPrintable(QString::number(decoded)));
    }

    void seekLandsOnTheExactFrame_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("tolerance");
        QTest::newRow("flac 16-bit") << QStringLiteral("flac16-880.flac") << 0.0;
        QTest::newRow("flac 24-bit") << QStringLiteral("flac24-1000.flac") << 0.0;
        // The MP3 decoder restarts a few frames early to fill its bit reservoir; the output
        // is then the same up to float rounding.
        QTest::newRow("mp3 cbr") << QStringLiteral("cbr-440.mp3") << 1e-4;
        QTest::newRow("mp3 vbr") << QStringLiteral("vbr-660.mp3") << 1e-4;
        QTest::newRow("mp3 vbr without header") << QStringLiteral("vbr-noxing-550.mp3") << 1e-4;
        QTest::newRow("mpeg-2 layer III") << QStringLiteral("mpeg2-22k-mono.mp3") << 1e-4;
    }

    void seekLandsOnTheExactFrame()
    {
        QFETCH(QString, file);
        QFETCH(double, tolerance);
        Opened o = open(file);
        QVERIFY(o.decoder);
        const int channels = o.decoder->format().channels;
        const std::vector<float> reference = decodeAll(*o.decoder);
        const int64_t length = o.decoder->lengthFrames();
        for (int64_t target : {int64_t(0), int64_t(12345), length / 2 + 7, length - 300}) {
            QVERIFY(o.decoder->seek(target));
            std::vector<float> got(300 * size_t(channels));
            QCOMPARE(o.decoder->read(got.data(), 300), 300L);
            const std::vector<float> expected =
                sliceFrames(reference, channels, size_t(target), size_t(target) + 300);
            for (size_t i = 0; i < got.size(); ++i)
                QVERIFY2(std::fabs(got[i] - expected[i]) <= tolerance,
                         qPrintable(QStringLiteral("frame %1").arg(target)));
        }
        // At the end there is nothing more to read.
        QVERIFY(o.decoder->seek(length));
        float sink[64];
        QCOMPARE(o.decoder->read(sink, 64 / channels), 0L);
    }

    void formatNeverChangesAfterOpening()
    {
        // A FLAC file with a second, stereo STREAMINFO after the first, mono one: reading
        // must go on in the format the decoder opened with, or a reader's buffer overflows.
        std::unique_ptr<FileReader> file;
        QCOMPARE(
            FileReader::open(
                ZUNA_TEST_DATA "/../fuzz/regressions/decode/two-streaminfo-blocks.flac", &file),
            AudioResult::Ok);
        std::unique_ptr<Decoder> decoder;
        QCOMPARE(openDecoder(sniffFormat(*file), *file, &decoder), AudioResult::Ok);
        const AudioFormat opened = decoder->format();
        QCOMPARE(opened.channels, 1);
        std::vector<float> buffer(1024 * size_t(opened.channels) + 1, 7.0f);
        while (decoder->read(buffer.data(), 1024) > 0) {
            QCOMPARE(decoder->format().channels, opened.channels);
            QCOMPARE(decoder->format().rate, opened.rate);
            QCOMPARE(buffer.back(), 7.0f);  // nothing written past the frames asked for
        }
    }

    void refusesWhatIsNoRegularFile()
    {
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("pipe.mp3")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        std::unique_ptr<FileReader> file;
        // A pipe with no writer would block a plain open() forever.
        QCOMPARE(FileReader::open(fifo.toStdString(), &file), AudioResult::NotAFile);
        QCOMPARE(FileReader::open(QFile::encodeName(dir.path()).toStdString(), &file),
                 AudioResult::NotAFile);
        QCOMPARE(FileReader::open("/dev/zero", &file), AudioResult::NotAFile);
        QCOMPARE(
            FileReader::open(
                QFile::encodeName(dir.filePath(QStringLiteral("gone.mp3"))).toStdString(), &file),
            AudioResult::CannotOpen);
        QVERIFY(!file);
    }
};

QTEST_GUILESS_MAIN(TestDecoders)
#include "tst_decoders.moc"
