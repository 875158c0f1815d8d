// Broken, strange and unfriendly files, each added to a playlist and double-clicked as a
// user would: its row comes at once with what can be read (the defaults otherwise),
// playing it leaves the engine idle or ends the track, and the next good file plays.

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "audio/zunaaudio.h"
#include "metadata/timetext.h"
#include "playlistrows.h"
#include "support/fixtures.h"
#include "support/toneanalysis.h"
#include "support/windowrig.h"

namespace {
const QString kUnknown = QStringLiteral("Unknow");
const QString kNoType = QStringLiteral("UNKNOW");
const QString kGood = QStringLiteral("two-a-1200.flac");  // 1 s of 1200 Hz, "First"
constexpr qint64 kFiveGiB = qint64(5) << 30;
constexpr int kFiftyMegabytes = 50 * 1000 * 1000;

enum class Outcome { Idle, Ends };

// The time a row may take: a second, times the slowdown a sanitizer build's test
// environment declares.
qint64 rowTimeLimitMs()
{
    return 1000 * qMax(1, qEnvironmentVariableIntValue("ZUNA_TEST_TIME_SCALE"));
}

QByteArray fixtureBytes(const QString &name)
{
    QFile file(fixturePath(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read fixture %s", qPrintable(name));
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray bigEndian24(int value)
{
    return QByteArray(1, char(value >> 16)) + char(value >> 8) + char(value);
}

QByteArray littleEndian32(quint32 value)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char(value >> (8 * i)));
    return bytes;
}

QByteArray synchsafe(quint32 value)
{
    return QByteArray(1, char(value >> 21 & 0x7F)) + char(value >> 14 & 0x7F) +
           char(value >> 7 & 0x7F) + char(value & 0x7F);
}

// An ID3v2.4 frame holding UTF-8 text.
QByteArray id3Frame(const char *id, const QByteArray &body)
{
    return QByteArray(id) + synchsafe(quint32(body.size())) + QByteArray(2, '\0') + body;
}

// `flac` with its metadata blocks replaced by STREAMINFO as it is and `comments` as the
// only Vorbis comment block.
QByteArray withComments(const QByteArray &flac, const QList<QByteArray> &comments)
{
    QByteArray block = littleEndian32(4) + QByteArray("ZUNA") + littleEndian32(comments.size());
    for (const QByteArray &comment : comments)
        block += littleEndian32(quint32(comment.size())) + comment;
    int at = 4;
    bool last = false;
    while (!last) {
        last = (uchar(flac[at]) & 0x80) != 0;
        at += 4 + ((uchar(flac[at + 1]) << 16) | (uchar(flac[at + 2]) << 8) | uchar(flac[at + 3]));
    }
    const QByteArray streamInfo = flac.mid(4, 4 + 34);
    QByteArray out = QByteArray("fLaC") + streamInfo;
    out[4] = char(0x00);  // STREAMINFO, not last
    out += char(0x84) + bigEndian24(int(block.size())) + block;
    return out + flac.mid(at);
}

// Makes the file of one row in `dir` and returns the path to add; empty if the row cannot
// be made here (then the test says why).
QString makeHostile(const QString &kind, const QTemporaryDir &dir, QString *skipReason)
{
    const QString path =
        dir.filePath(kind.section(QLatin1Char(' '), 0, 0) + QStringLiteral(".mp3"));
    if (kind == QStringLiteral("zero-byte")) {
        writeFile(path, {});
        return path;
    }
    if (kind == QStringLiteral("mp3-cut-mid-frame"))
        return fixturePath(QStringLiteral("truncated.mp3"));
    if (kind == QStringLiteral("flac-cut-mid-frame")) {
        // Frames start after the 165 bytes of metadata; 20,000 is well inside one.
        writeFile(path, fixtureBytes(QStringLiteral("flac16-880.flac")).left(20000));
        return path;
    }
    if (kind == QStringLiteral("random-mp3") || kind == QStringLiteral("random-flac")) {
        QRandomGenerator random(kind.size());
        QByteArray bytes(64 * 1024, '\0');
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        const QString named =
            dir.filePath(kind == QStringLiteral("random-mp3") ? QStringLiteral("noise.mp3")
                                                              : QStringLiteral("noise.flac"));
        writeFile(named, bytes);
        return named;
    }
    if (kind == QStringLiteral("id3v2-size-past-end")) {
        // A 256 MB tag announced in front of a 5 KB file with audio right after the header.
        writeFile(path, QByteArray("ID3\x04\x00\x00", 6) + synchsafe(0x0FFFFFFF) +
                            fixtureBytes(QStringLiteral("no-tags.mp3")));
        return path;
    }
    if (kind == QStringLiteral("streaminfo-rate-zero")) {
        QByteArray flac = fixtureBytes(QStringLiteral("flac16-880.flac"));
        // The 20-bit sample rate starts at byte 10 of STREAMINFO's body.
        flac[8 + 10] = 0;
        flac[8 + 11] = 0;
        flac[8 + 12] = char(uchar(flac[8 + 12]) & 0x0F);
        writeFile(path, flac);
        return path;
    }
    if (kind == QStringLiteral("streaminfo-missing")) {
        // STREAMINFO's block type turned into PADDING: the stream's first block is gone.
        QByteArray flac = fixtureBytes(QStringLiteral("flac16-880.flac"));
        flac[4] = char(0x01);
        writeFile(path, flac);
        return path;
    }
    if (kind == QStringLiteral("ten-thousand-tags")) {
        QList<QByteArray> comments;
        for (int i = 0; i < 9998; ++i)
            comments.append("COMMENT=" + QByteArray::number(i));
        comments.append("TITLE=Many Tags");
        comments.append("ARTIST=Crowd");
        writeFile(path, withComments(fixtureBytes(QStringLiteral("flac16-880.flac")), comments));
        return path;
    }
    if (kind == QStringLiteral("fifty-megabyte-tag")) {
        const QByteArray comment = QByteArray(
                                       "\x03"
                                       "eng"
                                       "\x00",
                                       5) +
                                   QByteArray(kFiftyMegabytes, 'z');
        const QByteArray frames = id3Frame("TIT2", QByteArray("\x03"
                                                              "Big Tag",
                                                              8)) +
                                  id3Frame("COMM", comment);
        writeFile(path, QByteArray("ID3\x04\x00\x00", 6) + synchsafe(quint32(frames.size())) +
                            frames + fixtureBytes(QStringLiteral("no-tags.mp3")));
        return path;
    }
    if (kind == QStringLiteral("fifty-megabyte-title")) {
        const QByteArray frames =
            id3Frame("TIT2", QByteArray(1, '\x03') + QByteArray(kFiftyMegabytes, 'T'));
        writeFile(path, QByteArray("ID3\x04\x00\x00", 6) + synchsafe(quint32(frames.size())) +
                            frames + fixtureBytes(QStringLiteral("no-tags.mp3")));
        return path;
    }
    if (kind == QStringLiteral("directory")) {
        QDir(dir.path()).mkdir(QStringLiteral("album.mp3"));
        return dir.filePath(QStringLiteral("album.mp3"));
    }
    if (kind == QStringLiteral("named-pipe")) {
        if (::mkfifo(QFile::encodeName(path).constData(), 0644) != 0)
            *skipReason = QStringLiteral("cannot make a named pipe here");
        return path;
    }
    if (kind == QStringLiteral("dev-zero"))
        return QStringLiteral("/dev/zero");
    if (kind == QStringLiteral("no-read-permission")) {
        writeFile(path, fixtureBytes(QStringLiteral("cbr-440.mp3")));
        QFile::setPermissions(path, QFileDevice::WriteOwner);
        QFile probe(path);
        if (probe.open(QIODevice::ReadOnly))
            *skipReason = QStringLiteral("this process reads files whatever their permissions");
        return path;
    }
    if (kind == QStringLiteral("dangling-link")) {
        QFile::link(dir.filePath(QStringLiteral("gone.mp3")), path);
        return path;
    }
    if (kind == QStringLiteral("sparse-5gib")) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(kFiveGiB))
            *skipReason = QStringLiteral("the file system here cannot hold a sparse 5 GiB file");
        return path;
    }
    if (kind == QStringLiteral("mp3-then-5gib-hole")) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(fixtureBytes(QStringLiteral("vbr-noxing-550.mp3"))) < 0 ||
            !file.resize(kFiveGiB))
            *skipReason = QStringLiteral("the file system here cannot hold a sparse 5 GiB file");
        return path;
    }
    qFatal("no such hostile file: %s", qPrintable(kind));
    return {};
}

// Checks that the good file is what plays now: its format and its tone reach the device.
void checkGoodFilePlays(WindowRig &rig)
{
    const Fixture good = fixture(kGood);
    rig.sync();
    QVERIFY(rig.capture().isOpen());
    QCOMPARE(rig.capture().format().rate, good.rate);
    rig.capture().takeSamples();
    QCOMPARE(rig.capture().pump(4410), size_t(4410));
    const ToneStats tone = analyseTone(rig.capture().takeSamples(), good.channels, good.rate);
    QVERIFY2(qAbs(tone.frequency - good.frequency) < 3,
             qPrintable(QString::number(tone.frequency)));
}

// Pumps the playing track to its end; returns the frames heard.
qint64 pumpToEnd(CaptureDriver &capture)
{
    qint64 heard = 0;
    for (;;) {
        const size_t got = capture.pump(8192);
        heard += qint64(got);
        if (got < 8192 || heard > 10 * 48000 * 60)
            return heard;
    }
}
}  // namespace

Q_DECLARE_METATYPE(Outcome)

class TestHostileFiles : public QObject {
    Q_OBJECT

private slots:
    void eachGetsItsRowPlaysSafelyAndTheNextFilePlays_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("title");  // also the artist when it is the default
        QTest::addColumn<QString>("type");
        QTest::addColumn<qint64>("minLength");  // ms
        QTest::addColumn<qint64>("maxLength");
        QTest::addColumn<qint64>("size");  // -1: whatever the file system says
        QTest::addColumn<Outcome>("outcome");

        const auto row = [](const char *kind, const QString &title, const QString &type,
                            qint64 minLength, qint64 maxLength, qint64 size, Outcome outcome) {
            QTest::newRow(kind) << QString::fromLatin1(kind) << title << type << minLength
                                << maxLength << size << outcome;
        };
        const QString unknown = kUnknown;
        const QString mp3 = QStringLiteral("MP3");
        const QString flac = QStringLiteral("FLAC");
        row("zero-byte", unknown, kNoType, 0, 0, 0, Outcome::Idle);
        // Cut at 40 % of a 3 s file: about 1.1 s is left, whatever its header claims.
        row("mp3-cut-mid-frame", QStringLiteral("Tone 440"), mp3, 1100, 1200, 20160, Outcome::Ends);
        // STREAMINFO still gives the whole length; playing ends where the data does.
        row("flac-cut-mid-frame", QStringLiteral("Tone 880"), flac, 2000, 2000, 20000,
            Outcome::Ends);
        row("random-mp3", unknown, kNoType, 0, 0, 65536, Outcome::Idle);
        row("random-flac", unknown, kNoType, 0, 0, 65536, Outcome::Idle);
        row("id3v2-size-past-end", unknown, kNoType, 0, 0, 10 + 4805, Outcome::Idle);
        row("streaminfo-rate-zero", unknown, kNoType, 0, 0, 30763, Outcome::Idle);
        row("streaminfo-missing", unknown, kNoType, 0, 0, 30763, Outcome::Idle);
        row("ten-thousand-tags", QStringLiteral("Many Tags"), flac, 2000, 2000, -1, Outcome::Ends);
        row("fifty-megabyte-tag", QStringLiteral("Big Tag"), mp3, 500, 500, -1, Outcome::Ends);
        row("fifty-megabyte-title", QString(kFiftyMegabytes, QLatin1Char('T')), mp3, 500, 500, -1,
            Outcome::Ends);
        row("directory", unknown, kNoType, 0, 0, -1, Outcome::Idle);
        row("named-pipe", unknown, kNoType, 0, 0, 0, Outcome::Idle);
        row("dev-zero", unknown, kNoType, 0, 0, 0, Outcome::Idle);
        row("no-read-permission", unknown, kNoType, 0, 0, 50044, Outcome::Idle);
        row("dangling-link", unknown, kNoType, 0, 0, 0, Outcome::Idle);
        row("sparse-5gib", unknown, kNoType, 0, 0, kFiveGiB, Outcome::Idle);
        // 133,632 frames at 44.1 kHz, then zeros: the zeros are no audio.
        row("mp3-then-5gib-hole", unknown, mp3, 3030, 3030, kFiveGiB, Outcome::Ends);
    }

    void eachGetsItsRowPlaysSafelyAndTheNextFilePlays()
    {
        QFETCH(QString, kind);
        QFETCH(QString, title);
        QFETCH(QString, type);
        QFETCH(qint64, minLength);
        QFETCH(qint64, maxLength);
        QFETCH(qint64, size);
        QFETCH(Outcome, outcome);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString skipReason;
        const QString path = makeHostile(kind, dir, &skipReason);
        if (!skipReason.isEmpty())
            QSKIP(qPrintable(skipReason));

        WindowRig rig;
        rig.window().show();
        ZUNAListView *view = rig.playlist(0);
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window()));
        // From the file's arrival to the window drawn with its row in it.
        QElapsedTimer clock;
        clock.start();
        view->AddFile(path);
        QCoreApplication::processEvents();
        rig.window().grab();
        const qint64 rowMs = clock.elapsed();
        QVERIFY2(rowMs < rowTimeLimitMs(),
                 qPrintable(QStringLiteral("the row took %1 ms").arg(rowMs)));
        QCOMPARE(view->count(), 1);
        view->AddFile(fixturePath(kGood));

        const TrackMetadata shown = entryOf(view, 0)->Getmetadata();
        const QString shownTitle = shown.value(QStringLiteral("TITLE"));
        if (title.size() <= 1000)
            QCOMPARE(shownTitle, title);
        else  // a title no label could lay out in time: its start is shown
            QVERIFY(shownTitle.size() >= 100 && title.startsWith(shownTitle));
        if (title == kUnknown)
            QCOMPARE(shown.value(QStringLiteral("ARTIST")), kUnknown);
        QCOMPARE(shown.value(QStringLiteral("TYPE")), type);
        const qint64 length = shown.value(QStringLiteral("LENGTH")).toLongLong();
        QVERIFY2(length >= minLength && length <= maxLength, qPrintable(QString::number(length)));
        if (size >= 0)
            QCOMPARE(shown.value(QStringLiteral("SIZE")), QString::number(size));

        QSignalSpy finished(rig.engine(), &ZUNAAudio::Finish);
        QSignalSpy ticks(rig.engine(), &ZUNAAudio::Tick);
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        doubleClickRow(view, 0);
        QCOMPARE(played.size(), 1);
        // What the row shows, now that it is in sight.
        const QSet<QString> texts = shownTexts(view, 0);
        QVERIFY(texts.contains(shownTitle));
        QVERIFY(texts.contains(type));
        QVERIFY(texts.contains(timeText(length)));
        rig.sync();
        if (outcome == Outcome::Idle) {
            QCOMPARE(rig.capture().outputsOpened(), 0);
            rig.monitor();
            QCOMPARE(finished.size(), 0);
            QCOMPARE(ticks.size(), 0);
            doubleClickRow(view, 1);
        } else {
            QCOMPARE(rig.capture().outputsOpened(), 1);
            const qint64 heard = pumpToEnd(rig.capture());
            const qint64 rate = rig.capture().format().rate;
            // Never more than the row announced (plus a frame's rounding).
            QVERIFY2(heard * 1000 / rate <= maxLength + 30, qPrintable(QString::number(heard)));
            rig.monitor();
            QCOMPARE(finished.size(), 1);
        }
        // Either way the good row is the one asked for now, and it plays.
        QCOMPARE(played.size(), 2);
        QCOMPARE(played.last().at(0).toString(), fixturePath(kGood));
        checkGoodFilePlays(rig);
    }

    // The file changes under the playing track: the track still ends, and the next starts.
    void aFileDeletedOrTruncatedWhileItPlays_data()
    {
        QTest::addColumn<bool>("truncate");
        QTest::newRow("deleted") << false;
        QTest::newRow("truncated") << true;
    }

    void aFileDeletedOrTruncatedWhileItPlays()
    {
        QFETCH(bool, truncate);
        // 2 s at 48 kHz in 104 KB: more than the reader buffers or the channel decodes ahead.
        const Fixture victim = fixture(QStringLiteral("flac24-1000.flac"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("victim.flac"));
        QVERIFY(writeFile(path, fixtureBytes(victim.file)));

        WindowRig rig;
        rig.window().show();
        ZUNAListView *view = rig.playlist(0);
        view->AddFile(path);
        view->AddFile(fixturePath(kGood));
        QSignalSpy finished(rig.engine(), &ZUNAAudio::Finish);
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        doubleClickRow(view, 0);
        rig.sync();
        QCOMPARE(rig.capture().pump(4800), size_t(4800));

        if (truncate)
            QVERIFY(QFile::resize(path, 200));
        else
            QVERIFY(QFile::remove(path));
        const qint64 heard = 4800 + pumpToEnd(rig.capture());
        if (truncate)
            QVERIFY2(heard < victim.frames, qPrintable(QString::number(heard)));
        else  // the open file lives on until it is closed: all of it is heard
            QCOMPARE(heard, victim.frames);
        rig.monitor();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(played.size(), 2);
        checkGoodFilePlays(rig);
    }
};

// Root reads any file whatever its permission bits, as do processes with the capability to
// override them. Dropping that override (for this process only, before any thread starts,
// so every thread inherits it) lets the permission row test what a user would meet.
void dropReadOverride()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return;
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
        data[cap / 32].effective &= ~(1u << (cap % 32));
    ::syscall(SYS_capset, &header, data);
}

int main(int argc, char **argv)
{
    dropReadOverride();
    QApplication app(argc, argv);
    TestHostileFiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hostilefiles.moc"
