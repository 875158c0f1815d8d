// The audio layer below the engine: reading, sniffing, header parsing, every fixture decoded,
// sought and played exactly, a channel's life, and every input kept for the fuzz targets.

#include <QDirIterator>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "audio/audiosystem.h"
#include "audio/decode/decoder.h"
#include "audio/decode/filereader.h"
#include "audio/decode/formatsniffer.h"
#include "audio/decode/mpegheader.h"
#include "audio/decode/trackfile.h"
#include "fuzz/targets.h"
#include "support/captureoutput.h"
#include "support/fixtures.h"
#include "support/toneanalysis.h"

using namespace zuna;

using namespace Qt::StringLiterals;

namespace {
std::string native(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

struct Rig {
    CaptureDriver *capture = new CaptureDriver;  // owned by the system
    AudioSystem system{std::unique_ptr<OutputDriver>(capture)};
    AudioChannel channel;
    std::unique_ptr<AudioStream> stream;

    explicit Rig(const QString &path) { system.openStream(native(path), &stream); }
    AudioResult play(AudioStream &what) { return system.play(what, false, &channel); }
};
}  // namespace

class TestAudioLayer : public QObject {
    Q_OBJECT
    ScratchDir scratch;

private slots:
    // First, while nothing else has run in this process: MP3 and FLAC, opened, read for their
    // tags and played, leave FFmpeg unmapped, and so does an Ogg file whose pages state its
    // length; queuing it to play maps FFmpeg.
    void ffmpegIsLoadedForTheFirstOtherFormatPlayed()
    {
        const auto mapped = [] {
            const QByteArray maps = contents(u"/proc/self/maps"_s);
            return maps.contains("libavformat") || maps.contains("zuna-ffmpeg");
        };
        for (const QString &file : {u"vbr-660.mp3"_s, u"flac16-880.flac"_s}) {
            Rig rig(fixturePath(file));
            if (rig.stream) {
                rig.stream->tagCount();
                rig.play(*rig.stream);
                rig.capture->pump(4096);
            }
        }
        QVERIFY(!mapped());
        Rig rig(fixturePath(u"flac16-880.flac"_s));
        std::unique_ptr<AudioStream> ogg;
        rig.system.openStream(native(fixturePath(u"vorbis-660.ogg"_s)), &ogg);
        QVERIFY(ogg && ogg->tagCount() > 0 && ogg->lengthFrames() == 66150);
        QVERIFY(!mapped());
        // Queued behind two seconds of sound, of which the feeder decodes half a second
        // ahead: opened when queued, not when the feeder reaches it at the join.
        QCOMPARE(rig.play(*rig.stream), AudioResult::Ok);
        QCOMPARE(rig.channel.queue(*ogg), AudioResult::Ok);
        QVERIFY(mapped());
    }

    void readsReturnTheFileWhereverTheyLand()
    {
        const QString path = fixturePath(u"cbr-noinfo-330-cover.mp3"_s);
        const QByteArray expected = contents(path);
        const qint64 size = expected.size();
        std::unique_ptr<FileReader> file;
        QVERIFY(FileReader::open(native(path), &file) == AudioResult::Ok && size > 100000);
        // Jumps, across a fill's end, beyond the buffer, past the end; small steps on; random.
        std::vector<std::pair<qint64, size_t>> reads = {
            {size - 128, 128}, {0, 10}, {16380, 10}, {5, 70000}, {40000, 100000}, {size - 10, 100}};
        QRandomGenerator pick(2);
        for (qint64 at = 0; at < qint64{200} * 997; at += 997)
            reads.insert(reads.end(), {{at, 997}, {pick.bounded(size), pick.bounded(20000)}});
        for (const auto &[at, count] : reads) {
            QByteArray got(qsizetype(count), '\0');
            got.truncate(qMax(file->readAt(at, got.data(), count), 0L));
            QVERIFY2(got == expected.mid(at, qint64(count)),
                     qPrintable(u"%1 bytes at %2"_s.arg(count).arg(at)));
        }
    }

    void firstFrameAnywhereInTheWindow()
    {
        // Zero bytes hold no sync; the first look is 4 KiB, the whole window 64 KiB.
        const QByteArray mp3 = contents(fixturePath(u"no-tags.mp3"_s));
        for (const int junk : {0, 4096, 4097, 30000, 65536, 65537}) {
            std::unique_ptr<FileReader> file;
            FileReader::open(native(scratch.file(u"junk.mp3"_s, QByteArray(junk, '\0') + mp3)),
                             &file);
            const SniffedFormat sniffed = sniffFormat(*file);
            const bool found = sniffed.type == SoundType::Mpeg;
            QVERIFY2(found == (junk <= 65536) && (!found || sniffed.audioStart == junk),
                     qPrintable(u"%1 bytes of junk"_s.arg(junk)));
        }
    }

    void decodesSeeksAndPlaysEveryFixtureExactly_data()
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
        QTest::newRow("flac16-880 behind a picture") << f << scratch.file(u"cover.flac"_s, flac);
    }

    void decodesSeeksAndPlaysEveryFixtureExactly()
    {
        QFETCH(Fixture, f);
        QFETCH(QString, path);
        Rig rig(path);  // by content: flac-named.mp3 is FLAC
        QVERIFY(rig.stream && rig.capture->outputsOpened() == 0);  // only playing opens a device
        QVERIFY(rig.stream->type() == (f.type == "MP3"_L1    ? SoundType::Mpeg
                                       : f.type == "FLAC"_L1 ? SoundType::Flac
                                                             : SoundType::Other));
        QCOMPARE(std::pair(rig.stream->format().rate, rig.stream->format().channels),
                 std::pair(f.rate, f.channels));
        QCOMPARE(rig.play(*rig.stream), AudioResult::Ok);
        QVERIFY(rig.channel.isPlaying());
        while (rig.capture->pump(4096) > 0) {
        }
        QVERIFY(!rig.channel.isPlaying());  // every frame heard, it ends
        // The length shown is the length played, stated by a header or counted; for a file cut
        // behind a header claiming all of it, what is left, within an MPEG frame; WebM times
        // in milliseconds, so within an Opus frame.
        const std::vector<float> pcm = rig.capture->takeSamples();
        const qint64 frames = qint64(pcm.size()) / f.channels;
        QCOMPARE(rig.stream->lengthFrames(), frames);
        const qint64 slack = f.file == "truncated.mp3"_L1 ? 1152
                             : f.file.endsWith(u".webm")  ? 960
                                                          : 0;
        QCOMPARE_LE(qAbs(frames - f.frames), slack);
        // Away from the encoder's fade-in and fade-out, it is the tone the file was made of.
        const ToneStats tone = analyseTone(
            sliceFrames(pcm, f.channels, frames / 10, frames * 9 / 10), f.channels, f.rate);
        QCOMPARE_LT(qAbs(tone.frequency - f.frequency), f.frequency * 0.01);
        QCOMPARE_LT(qAbs(tone.peak - f.peak), 0.05);
        // And it starts where the tone did, not a sample early or late: what a codec primes
        // with (AAC's delay, Opus' pre-skip, Vorbis' first packet) is not heard.
        if (f.type == "UNKNOW"_L1 && !f.file.endsWith(u".mod")) {
            // The second half of a join goes on with the tone where the first left it.
            const QString firstHalf = QString(f.file).replace(u"join-b"_s, u"join-a"_s);
            const qint64 start = firstHalf != f.file ? fixture(firstHalf).frames : 0;
            double error = 0;
            const qint64 from = frames / 10, to = frames * 9 / 10;
            for (qint64 i = from; i < to; ++i) {
                const double sine =
                    f.peak * std::sin(2 * M_PI * f.frequency * double(start + i) / f.rate);
                error += std::pow(pcm[size_t(i * f.channels)] - sine, 2);
            }
            QCOMPARE_LT(std::sqrt(error / double(to - from)), 0.01);
        }
        // A seek, the first straight after opening, lands on the exact frame; one outside the
        // stream changes nothing. Lossless audio comes out the same to the bit; MP3 restarts
        // early to fill its bit reservoir: float rounding. Other lossy codecs restart early
        // too, but AAC's noise substitution draws on state that a seek does not restore, so
        // for them what lands is where the full decode matches best, within three frames either
        // way. WebM times packets in milliseconds and a module's player seeks by rows: for
        // those a seek lands near the frame asked, with the count of frames to the end right.
        std::unique_ptr<TrackFile> track;
        QCOMPARE(TrackFile::open(native(path), &track), AudioResult::Ok);
        Decoder &s = track->decoder();
        const bool lossless =
            f.type == "FLAC"_L1 ||
            f.file.contains(QRegularExpression(u"(wav|aiff|aifc|wv|ape|alac-1000.m4a)$"_s));
        const bool sampleTimed = !f.file.endsWith(u".webm") && !f.file.endsWith(u".mod");
        const auto distance = [&](const float *got, long count, qint64 at) {
            double sum = 0;  // mean difference from the full decode at `at` on
            for (qint64 i = 0; i < count * f.channels && (at * f.channels + i) < qint64(pcm.size());
                 ++i)
                sum += std::fabs(got[i] - pcm[size_t(qMax<qint64>(0, at * f.channels + i))]);
            return sum / double(count * f.channels);
        };
        std::vector<float> chunk(300 * size_t(f.channels));
        long n = 0;
        for (const qint64 target : {frames / 2 + 7, qint64(0), frames / 3, frames - 300, frames}) {
            QCOMPARE(s.seek(target), AudioResult::Ok);
            QCOMPARE(s.seek(-1), AudioResult::InvalidArgument);
            QCOMPARE(s.seek(frames + 1), AudioResult::InvalidArgument);
            QCOMPARE(s.read(chunk.data(), 300, &n), AudioResult::Ok);
            QCOMPARE(n, long(qMin(frames - target, qint64(300))));  // at the end, nothing
            if (lossless || f.type == "MP3"_L1 || (target == 0 && sampleTimed)) {
                // Back at the start, as a track played again is, every codec gives the same
                // bits as the first time.
                const double tolerance = f.type == "MP3"_L1 ? 1e-4 : 0;
                for (size_t i = 0; i < size_t(n * f.channels); ++i)
                    QCOMPARE_LE(std::fabs(chunk[i] - pcm[size_t(target * f.channels) + i]),
                                tolerance);
            } else if (sampleTimed && n > 0) {
                const long compared = qMin(n, 200L);  // room for the shifts near the end
                qint64 best = target;
                for (qint64 at = qMax<qint64>(0, target - 3); at <= target + 3; ++at)
                    if (distance(chunk.data(), compared, at) <
                        distance(chunk.data(), compared, best))
                        best = at;
                QCOMPARE(best, target);
            }
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
        // A frame header packed from its fields, as the bits stand: version, layer, bitrate
        // and rate indices, mode, emphasis; no CRC.
        enum Version { Mpeg25, ReservedVersion, Mpeg2, Mpeg1 };
        enum Layer { ReservedLayer, L3, L2, L1 };
        enum Mode { Stereo = 0, Mono = 3 };
        const auto frame = [](int v, int l, int b, int r, int m = Stereo, int e = 0) {
            return be32(0xFFE10000 | v << 19 | l << 17 | b << 12 | r << 10 | m << 6 | e);
        };
        // `h`, zeros, and at `at` a Xing-style tag `id`: flags, 100 frames, `size` bytes.
        const auto tagged = [](QByteArray h, int at, const char *id, int flags, int size = 0) {
            return h + QByteArray(at - 4, '\0') + id + be32(flags) + be32(100) + be32(size);
        };
        // By hand from the MPEG tables. Frame bytes: Layer I (12 * bit/s / Hz + padding) * 4, else
        // 144 * bit/s / Hz + padding, 72 in MPEG-2/2.5 Layer III. Xing or Info follows the side
        // info: 32 bytes in MPEG-1 stereo, 17 in MPEG-1 mono and MPEG-2 stereo, 9 in MPEG-2 mono.
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

    // A channel's life: no device, then one, taken over by the next stream, muted without a
    // click, heard to its end; its handle, like one whose stream was released, reads as new.
    void aChannelFromNoDeviceToADeadHandle()
    {
        Rig rig(fixturePath(u"cbr-440.mp3"_s));
        rig.capture->setUnavailable(true);
        QCOMPARE(rig.play(*rig.stream), AudioResult::NoDevice);
        QVERIFY(!rig.channel.isPlaying());
        rig.capture->setUnavailable(false);
        QCOMPARE(rig.play(*rig.stream), AudioResult::Ok);
        const AudioChannel first = rig.channel;
        std::unique_ptr<AudioStream> next;
        rig.system.openStream(native(fixturePath(u"flac16-880.flac"_s)), &next);
        rig.play(*next);
        QVERIFY(!first.isPlaying() && rig.channel.isPlaying());
        rig.capture->pump(1000);
        rig.channel.setMuted(true);
        rig.capture->pump(1000);
        const std::vector<float> s = rig.capture->takeSamples();
        QVERIFY(qAbs(analyseTone(sliceFrames(s, 2, 0, 1000), 2, 44100).frequency - 880) < 5);
        // An 880 Hz sine at 0.5 moves at most 0.5·2π·880/44100 ≈ 0.063 per sample; a hard
        // cut would jump by up to 0.5.
        for (size_t i = 2; i < s.size(); i += 2)
            QVERIFY2(std::fabs(s[i] - s[i - 2]) < 0.07, qPrintable(QString::number(i / 2)));
        QCOMPARE(peakOf(sliceFrames(s, 2, 1500, 2000)), 0.0);  // and it does reach silence
        while (rig.capture->pump(4096) > 0) {
        }
        const AudioChannel ended = rig.channel;
        rig.play(*rig.stream);
        rig.channel.setMuted(true);
        rig.channel.setPaused(true);
        rig.stream.reset();  // ends playback at once
        QVERIFY(!rig.capture->isOpen());
        for (AudioChannel dead : {ended, rig.channel, AudioChannel()}) {
            QVERIFY(!dead.isPlaying() && !dead.paused() && !dead.muted());
            QCOMPARE(dead.position(), 0u);
            QCOMPARE(dead.setVolume(0.5f), AudioResult::InvalidHandle);
        }
    }

    // A volume outside 0-1, or no number, is refused and the level stays: the gain is
    // applied to every sample, and more than 1 would clip, NaN would silence for good.
    void aVolumeOutOfRangeIsRefused()
    {
        Rig rig(fixturePath(u"flac16-880.flac"_s));
        QCOMPARE(rig.play(*rig.stream), AudioResult::Ok);
        QCOMPARE(rig.channel.setVolume(0.5f), AudioResult::Ok);
        for (const float bad : {-0.01f, 1.01f, std::numeric_limits<float>::quiet_NaN(),
                                std::numeric_limits<float>::infinity()})
            QCOMPARE(rig.channel.setVolume(bad), AudioResult::InvalidArgument);
        QCOMPARE(rig.channel.volume(), 0.5f);
        rig.capture->pump(4410);
        QVERIFY(qAbs(peakOf(rig.capture->takeSamples()) - 0.25) < 0.01);
    }

    // Every input kept for the fuzzers, and every one that once broke the player (a second
    // STREAMINFO that would overflow the caller's buffer is one), through their own code.
    void bothFuzzTargetsHandleEveryKeptInput()
    {
        const QString root = QStringLiteral(ZUNA_FUZZ_DIR "/");
        QVERIFY(!QDir(root + u"corpus/open"_s).isEmpty());  // else this would pass, testing nothing
        for (const QString &kept : {u"corpus"_s, u"regressions"_s}) {
            for (QDirIterator it(root + kept, QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext();) {
                const QByteArray bytes = contents(it.next());
                const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
                for (const std::string &fault : {openAndDescribe(data, size_t(bytes.size())),
                                                 decodeWithSeeks(data, size_t(bytes.size()))})
                    QVERIFY2(fault.empty(),
                             qPrintable(it.filePath() + u": "_s + QString::fromStdString(fault)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestAudioLayer)
#include "tst_audiolayer.moc"
