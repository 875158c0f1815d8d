// Lengths read from Ogg, MP4 and WavPack containers by our own parsers at intake, without
// FFmpeg: each is FFmpeg's own to the sample, or the file is left to FFmpeg.

#include <QTemporaryDir>
#include <QtTest>

#include "audio/decode/decoder.h"
#include "audio/decode/ffmpegloader.h"
#include "audio/decode/filereader.h"
#include "audio/decode/formatsniffer.h"
#include "audio/decode/statedlength.h"
#include "support/fixtures.h"

using namespace zuna;
using namespace Qt::StringLiterals;

namespace {
// The offset of the last Ogg page of `ogg`.
qsizetype lastPage(const QByteArray &ogg)
{
    return ogg.lastIndexOf("OggS");
}

struct Opened {
    std::unique_ptr<FileReader> file;
    SniffedFormat sniffed;
    std::optional<StatedLength> stated;
};

Opened open(const QString &path)
{
    Opened o;
    if (FileReader::open(QFile::encodeName(path).toStdString(), &o.file) == AudioResult::Ok) {
        o.sniffed = sniffFormat(*o.file);
        o.stated = readStatedLength(*o.file, o.sniffed.demuxer);
    }
    return o;
}
}  // namespace

class TestContainers : public QObject {
    Q_OBJECT
    QTemporaryDir scratch;

    QString scratchFile(const QString &name, const QByteArray &bytes)
    {
        return writeScratchFile(scratch, name, bytes);
    }

    // Checks that what the parser states of `path` is what FFmpeg makes of it: the format
    // it decodes to, the length it counts, the tags' layout.
    static void checkAgainstFfmpeg(const QString &path, const Opened &o)
    {
        std::unique_ptr<FileReader> file;
        QCOMPARE(FileReader::open(QFile::encodeName(path).toStdString(), &file), AudioResult::Ok);
        std::unique_ptr<Decoder> ffmpeg;
        TagLayout tags = TagLayout::None;
        QCOMPARE(openFfmpegDecoder(*file, o.sniffed.demuxer, &ffmpeg, &tags), AudioResult::Ok);
        QCOMPARE(o.stated->frames, ffmpeg->lengthFrames());
        QCOMPARE(std::pair(o.stated->format.rate, o.stated->format.channels),
                 std::pair(ffmpeg->format().rate, ffmpeg->format().channels));
        QCOMPARE(int(o.stated->tags), int(tags));
    }

private slots:
    // Every fixture of these kinds: the length its container states is FFmpeg's, and the
    // count of samples the encoder was given.
    void statedLengthsAreFfmpegsAndTheEncoders_data()
    {
        QTest::addColumn<QString>("file");
        for (const Fixture &f : loadFixtures())
            if (f.file.contains(QRegularExpression(u"\\.(ogg|opus|m4a|mp4|wv)$"_s)) &&
                f.type != "OTHER"_L1)
                QTest::newRow(qPrintable(f.file)) << f.file;
    }

    void statedLengthsAreFfmpegsAndTheEncoders()
    {
        QFETCH(QString, file);
        const Opened o = open(fixturePath(file));
        QVERIFY(o.stated);
        QCOMPARE(o.stated->frames, fixture(file).frames);
        checkAgainstFfmpeg(fixturePath(file), o);
    }

    // Files changed as copies, damage and odd muxers change them: either the parser's length
    // is still FFmpeg's, or it leaves the file to FFmpeg.
    void alteredFilesAreStatedAsFfmpegReadsThemOrLeftToIt_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("stated");
        const QByteArray vorbis = contents(fixturePath(u"vorbis-660.ogg"_s));
        const QByteArray opus = contents(fixturePath(u"opus-880.opus"_s));
        const QByteArray aac = contents(fixturePath(u"aac-440.m4a"_s));
        const QByteArray wv = contents(fixturePath(u"wavpack-330.wv"_s));
        const auto patched = [](QByteArray bytes, qsizetype at, const QByteArray &with) {
            return bytes.replace(at, with.size(), with);
        };
        const auto flipped = [](QByteArray bytes, qsizetype at) {
            bytes[at] = char(bytes[at] ^ 0x40);
            return bytes;
        };
        // Ogg: the last whole page counts, wherever the file ends; its checksum must hold.
        QTest::newRow("Vorbis cut inside its last page")
            << vorbis.left(vorbis.size() - 100) << true;
        QTest::newRow("Opus, last page damaged") << flipped(opus, opus.size() - 10) << true;
        QTest::newRow("Vorbis, junk after the end") << vorbis + QByteArray(3000, 'x') << true;
        QTest::newRow("Vorbis then Opus, chained") << vorbis + opus << false;
        QTest::newRow("Opus, first page damaged") << flipped(opus, 30) << false;
        const qsizetype opusHeaders = lastPage(opus.left(200));  // its second page
        QTest::newRow("Opus, only its first page") << opus.left(opusHeaders) << false;
        QTest::newRow("Ogg, two streams side by side")
            << opus.left(opusHeaders) + vorbis.left(lastPage(vorbis.left(100))) +
                   opus.mid(opusHeaders)
            << false;
        // MP4: the one sound track's table of samples and its edit.
        const qsizetype moov = aac.indexOf("moov"), elst = aac.indexOf("elst");
        QTest::newRow("M4A without its movie box") << patched(aac, moov, "free") << false;
        QTest::newRow("M4A cut short") << aac.left(aac.size() - 500) << false;
        QTest::newRow("M4A, two edits") << patched(aac, elst + 8, be32(2)) << false;
        QTest::newRow("M4A, edit at half speed") << patched(aac, elst + 20, be32(0x8000)) << false;
        QTest::newRow("M4A, edit past the media") << patched(aac, elst + 12, be32(44200)) << false;
        QTest::newRow("M4A, fragmented") << aac + be32(8) + "moof" << false;
        // WavPack: the first block's total, for mono or stereo at a rate of the table.
        QTest::newRow("WavPack, total unknown") << patched(wv, 12, be32(0xFFFFFFFF)) << false;
        QTest::newRow("WavPack, one of several channel blocks")
            << patched(wv, 25, QByteArray(1, char(wv[25] & ~0x10))) << false;
        QTest::newRow("WavPack, custom rate")
            << patched(wv, 26, QByteArray(1, char(wv[26] | 0x80)) + char(wv[27] | 0x07)) << false;
        QTest::newRow("WavPack, header cut") << wv.left(20) << false;
    }

    void alteredFilesAreStatedAsFfmpegReadsThemOrLeftToIt()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, stated);
        const QString path = scratchFile(u"altered"_s, bytes);
        const Opened o = open(path);
        QCOMPARE(bool(o.stated), stated);
        if (stated)
            checkAgainstFfmpeg(path, o);
    }
};

QTEST_GUILESS_MAIN(TestContainers)
#include "tst_containers.moc"
