// Lengths read from Ogg, MP4 and WavPack containers and from MP3 frame headers by our own
// parsers at intake, without FFmpeg or libmpg123: each is that decoder's own to the sample, or
// the file is left to it.

#include <QTemporaryDir>
#include <QtTest>

#include "audio/decode/decoder.h"
#include "audio/decode/deferreddecoder.h"
#include "audio/decode/ffmpegloader.h"
#include "audio/decode/filereader.h"
#include "audio/decode/formatsniffer.h"
#include "audio/decode/mpegdecoder.h"
#include "audio/decode/mpeglength.h"
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

// `count` MPEG audio frames of `bytes` each (header included, no padding), with the header
// fields given by their bits and a body of zeros, which decodes to silence.
QByteArray mpegFrames(int versionBits, int layerBits, int bitrateIndex, int rateIndex, bool mono,
                      int bytes, int count)
{
    QByteArray frame(bytes, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xE0 | versionBits << 3 | layerBits << 1 | 1);  // 1: no checksum
    frame[2] = char(bitrateIndex << 4 | rateIndex << 2);
    frame[3] = char(mono ? 0xC0 : 0x00);
    return frame.repeated(count);
}

// MPEG 1 layer III at 44.1 kHz: 128 kbit/s frames of 417 bytes, 64 kbit/s ones of 208.
QByteArray layer3(int kbits, bool mono, int count)
{
    return kbits == 128 ? mpegFrames(3, 1, 9, 0, mono, 417, count)
                        : mpegFrames(3, 1, 5, 0, mono, 208, count);
}

// Where the LAME tag of the Xing/Info header at `xing` starts: past the fields its flags name.
qsizetype lameTag(const QByteArray &mp3, qsizetype xing)
{
    const auto flags = quint8(mp3[xing + 7]);
    return xing + 8 + (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) +
           (flags & 8 ? 4 : 0);
}

// The LAME tag's encoder delay and padding, two 12-bit numbers in three bytes.
QByteArray delays(int delay, int padding)
{
    const char b[3] = {char(delay >> 4), char((delay & 15) << 4 | padding >> 8), char(padding)};
    return QByteArray(b, 3);
}

Opened open(const QString &path)
{
    Opened o;
    if (FileReader::open(QFile::encodeName(path).toStdString(), &o.file) == AudioResult::Ok) {
        o.sniffed = sniffFormat(*o.file);
        o.stated = o.sniffed.type == SoundType::Mpeg
                       ? mpegStatedLength(*o.file, o.sniffed.audioStart)
                       : readStatedLength(*o.file, o.sniffed.demuxer);
    }
    return o;
}
}  // namespace

class TestContainers : public QObject {
    Q_OBJECT
    ScratchDir scratch;

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

    // Checks that what the parser states of `path` is what libmpg123 reports once it opens it.
    static void checkAgainstLibmpg123(const QString &path, const Opened &o)
    {
        std::unique_ptr<FileReader> file;
        QCOMPARE(FileReader::open(QFile::encodeName(path).toStdString(), &file), AudioResult::Ok);
        std::unique_ptr<Decoder> mpeg;
        QCOMPARE(MpegDecoder::open(*file, o.sniffed.audioStart, &mpeg), AudioResult::Ok);
        QCOMPARE(o.stated->frames, mpeg->lengthFrames());
        QCOMPARE(std::pair(o.stated->format.rate, o.stated->format.channels),
                 std::pair(mpeg->format().rate, mpeg->format().channels));
        QCOMPARE(int(o.stated->tags), int(TagLayout::Mpeg));
    }

    // Every frame `decoder` yields from `from` on, as far as `frames` go.
    static QList<float> decodeFrom(Decoder &decoder, int64_t from, int64_t frames)
    {
        QList<float> pcm;
        if (decoder.seek(from) != AudioResult::Ok)
            return pcm;
        const int channels = decoder.format().channels;
        std::vector<float> chunk(size_t(4096 * channels));
        for (long got = 1; got > 0 && pcm.size() < frames * channels;) {
            if (decoder.read(chunk.data(), 4096, &got) != AudioResult::Ok)
                break;
            pcm.append(QList<float>(chunk.begin(), chunk.begin() + got * channels));
        }
        return pcm;
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
        const QString path = scratch.file(u"altered"_s, bytes);
        const Opened o = open(path);
        QCOMPARE(bool(o.stated), stated);
        if (stated)
            checkAgainstFfmpeg(path, o);
    }

    // Every MP3 fixture: the length its headers state is libmpg123's and the encoder's, but
    // for the file cut short, whose header no longer tells.
    void mpegLengthsAreLibmpg123sAndTheEncoders_data()
    {
        QTest::addColumn<QString>("file");
        for (const Fixture &f : loadFixtures())
            if (f.type == "MP3"_L1)
                QTest::newRow(qPrintable(f.file)) << f.file;
    }

    void mpegLengthsAreLibmpg123sAndTheEncoders()
    {
        QFETCH(QString, file);
        const Opened o = open(fixturePath(file));
        QCOMPARE(bool(o.stated), file != "truncated.mp3"_L1);
        if (o.stated) {
            QCOMPARE(o.stated->frames, fixture(file).frames);
            checkAgainstLibmpg123(fixturePath(file), o);
        }
    }

    // MP3s as encoders, taggers and damage leave them, and streams of silent frames: either
    // the parser's length and format are libmpg123's, or it leaves the file to libmpg123.
    void alteredMp3sAreStatedAsLibmpg123ReadsThemOrLeftToIt_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("stated");
        const QByteArray cbr = contents(fixturePath(u"cbr-440.mp3"_s));  // Info and LAME tags
        const QByteArray noXing = contents(fixturePath(u"vbr-noxing-550.mp3"_s));
        const qsizetype tagEnd = cbr.indexOf("\xFF\xFB"), info = cbr.indexOf("Info");
        const qsizetype lame = lameTag(cbr, info);
        const QByteArray audio = cbr.mid(tagEnd), tag = cbr.left(tagEnd);
        const auto patched = [](QByteArray bytes, qsizetype at, const QByteArray &with) {
            return bytes.replace(at, with.size(), with);
        };
        // The LAME tag's delays as libmpg123 applies them: the padding no shorter than the
        // decoder's own delay of 529 samples, whatever encoder the tag names.
        QTest::newRow("LAME padding short of the decoder's delay")
            << patched(cbr, lame + 21, delays(576, 100)) << true;
        QTest::newRow("LAME padding just past it")
            << patched(cbr, lame + 21, delays(576, 530)) << true;
        QTest::newRow("LAME delay and padding at their largest")
            << patched(cbr, lame + 21, delays(4095, 4095)) << true;
        QTest::newRow("LAME tag of FFmpeg's encoder") << patched(cbr, lame, "Lavc") << true;
        QTest::newRow("LAME tag without an encoder's name")
            << patched(cbr, lame, QByteArray(1, '\0')) << true;
        QTest::newRow("Xing count larger than the file")
            << patched(cbr, info + 8, be32(1000000)) << true;
        QTest::newRow("Xing count larger than the tag's delays")
            << patched(patched(cbr, info + 8, be32(1)), lame + 21, delays(4095, 4095)) << false;
        QTest::newRow("Xing count of zero") << patched(cbr, info + 8, be32(0)) << false;
        QTest::newRow("Xing without a frame count")
            << patched(cbr, info + 7, QByteArray(1, char(cbr[info + 7] & ~1))) << false;
        QTest::newRow("Xing in a frame of sound")
            << patched(cbr, tagEnd + 10, QByteArray(1, '\1')) << false;
        QTest::newRow("VBRI header") << patched(cbr, tagEnd + 36, "VBRI") << false;
        QTest::newRow("Info frame cut mid-frame") << cbr.left(cbr.size() - 200) << false;
        const qsizetype infoBytes = 417 + ((cbr[tagEnd + 2] >> 1) & 1);  // 128k, padded or not
        const qsizetype oneFrame = 417 + ((cbr[tagEnd + infoBytes + 2] >> 1) & 1);
        const QByteArray infoAndOne = cbr.left(tagEnd + infoBytes + oneFrame);
        QTest::newRow("Info frame and one frame of sound")  // its count, no bytes, no delays
            << patched(patched(infoAndOne, info + 8, be32(1) + be32(0)), lame + 21, delays(0, 0))
            << true;
        // libmpg123 opens the stream at the frame that holds its first sample, past the delays.
        QTest::newRow("Info frame, the first sample in the one frame of sound")
            << patched(patched(infoAndOne, info + 8, be32(100) + be32(0)), lame + 21,
                       delays(600, 0))
            << true;
        QTest::newRow("Info frame, the first sample past the one frame of sound")
            << patched(patched(infoAndOne, info + 8, be32(100) + be32(0)), lame + 21,
                       delays(700, 0))
            << false;
        // Where the first frame starts and the stream ends, and what lies around it.
        QTest::newRow("junk between the tag and the first frame")
            << tag + QByteArray(100, '\0') + audio << false;
        QTest::newRow("two ID3v2 tags") << tag + tag + audio << true;
        QTest::newRow("ID3v2 tag with a footer")
            << patched(tag, 5, "\x10") + "3DI" + tag.mid(3, 7) + audio << false;
        QTest::newRow("no Xing, ID3v1 tag after the audio")
            << noXing + "TAG" + QByteArray(125, '\0') << true;
        QTest::newRow("no Xing, APE tag after the audio")
            << noXing + "APETAGEX" + QByteArray(24, '\0') << false;
        QTest::newRow("no Xing, zeros after the audio") << noXing + QByteArray(300, '\0') << false;
        QTest::newRow("no Xing, cut mid-frame") << noXing.left(noXing.size() - 200) << false;
        QTest::newRow("a byte of junk between frames")
            << layer3(128, false, 5) + '\0' + layer3(128, false, 5) << false;
        QTest::newRow("no Xing, one frame") << layer3(128, false, 1) << false;
        // Streams without a Xing header, walked frame by frame.
        QTest::newRow("VBR frames") << layer3(128, false, 3) + layer3(64, false, 5) << true;
        QTest::newRow("VBR frames, half a megabyte")  // read in several pieces
            << (layer3(128, false, 3) + layer3(64, false, 5)).repeated(200) << true;
        QTest::newRow("MPEG 2, 22.05 kHz stereo") << mpegFrames(2, 1, 4, 0, false, 104, 20) << true;
        QTest::newRow("MPEG 2.5, 8 kHz mono") << mpegFrames(0, 1, 2, 2, true, 144, 20) << true;
        // MPEG 2, 24 kHz: 8 kbit/s frames of 24 bytes, 16 kbit/s ones of 48.
        QTest::newRow("VBRI where it would be, in the second of small frames")
            << patched(mpegFrames(2, 1, 1, 1, false, 24, 2) + mpegFrames(2, 1, 2, 1, false, 48, 30),
                       36, "VBRI")
            << false;
        QTest::newRow("mono frames in a stereo stream")
            << layer3(128, false, 5) + layer3(128, true, 5) << false;
        QTest::newRow("48 kHz frames in a 44.1 kHz stream")
            << layer3(128, false, 5) + mpegFrames(3, 1, 9, 1, false, 384, 5) << false;
        QTest::newRow("free-format frames after the first")
            << layer3(128, false, 5) + mpegFrames(3, 1, 0, 0, false, 417, 5) << false;
        QTest::newRow("layer II") << mpegFrames(3, 2, 8, 0, false, 417, 10) << false;
        QTest::newRow("layer I") << mpegFrames(3, 3, 4, 0, false, 136, 10) << false;
    }

    void alteredMp3sAreStatedAsLibmpg123ReadsThemOrLeftToIt()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, stated);
        const QString path = scratch.file(u"altered.mp3"_s, bytes);
        const Opened o = open(path);
        QCOMPARE(o.sniffed.type, SoundType::Mpeg);
        QCOMPARE(bool(o.stated), stated);
        if (stated)
            checkAgainstLibmpg123(path, o);
    }

    // An MP3 whose length its headers state is read without libmpg123, which is opened only
    // to play it; what it then plays, from the start or after a seek, is what libmpg123
    // decodes of the file.
    void deferredMp3PlaysWhatLibmpg123Decodes_data()
    {
        QTest::addColumn<QString>("file");
        for (const char *file : {"cbr-440.mp3", "vbr-660.mp3", "vbr-noxing-550.mp3",
                                 "mpeg2-22k-mono.mp3", "join-b.mp3"})
            QTest::newRow(file) << QString::fromLatin1(file);
    }

    void deferredMp3PlaysWhatLibmpg123Decodes()
    {
        QFETCH(QString, file);
        const std::string path = QFile::encodeName(fixturePath(file)).toStdString();
        std::unique_ptr<FileReader> deferredFile, mpegFile;
        QCOMPARE(FileReader::open(path, &deferredFile), AudioResult::Ok);
        QCOMPARE(FileReader::open(path, &mpegFile), AudioResult::Ok);
        const SniffedFormat sniffed = sniffFormat(*deferredFile);
        std::unique_ptr<Decoder> deferred, mpeg;
        TagLayout tags = TagLayout::None;
        QCOMPARE(openDecoder(sniffed, *deferredFile, &deferred, &tags), AudioResult::Ok);
        QVERIFY(dynamic_cast<DeferredDecoder *>(deferred.get()));
        QCOMPARE(int(tags), int(TagLayout::Mpeg));
        QCOMPARE(MpegDecoder::open(*mpegFile, sniffed.audioStart, &mpeg), AudioResult::Ok);
        const int64_t length = mpeg->lengthFrames();
        QCOMPARE(deferred->lengthFrames(), length);
        const QList<float> whole = decodeFrom(*mpeg, 0, length);
        QCOMPARE(whole.size(), length * mpeg->format().channels);
        QCOMPARE(decodeFrom(*deferred, 0, length), whole);
        const int64_t middle = length / 2 - 333;
        QCOMPARE(decodeFrom(*deferred, middle, length), decodeFrom(*mpeg, middle, length));
    }
};

QTEST_GUILESS_MAIN(TestContainers)
#include "tst_containers.moc"
