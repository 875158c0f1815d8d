// Broken, strange and unfriendly files, each added to a playlist and double-clicked as a
// user would: its row comes at once with what can be read (the defaults otherwise),
// playing it leaves the engine idle or ends the track, and the next good file plays.

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "audio/engine/zunaaudio.h"
#include "metadata/timetext.h"
#include "playlistrows.h"

using namespace Qt::StringLiterals;

namespace {
const QString kUnknown = u"Unknow"_s;
const QString kGood = u"two-a-1200.flac"_s;  // 1 s of 1200 Hz, "First"

QByteArray bytesOf(const QString &fixtureName)
{
    QFile file(fixturePath(fixtureName));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray synchsafe(quint32 v)
{
    const char b[4] = {char(v >> 21 & 0x7F), char(v >> 14 & 0x7F), char(v >> 7 & 0x7F),
                       char(v & 0x7F)};
    return QByteArray(b, 4);
}

// An ID3v2.4 text frame in UTF-8.
QByteArray id3Frame(const char *id, const QByteArray &text)
{
    return id + synchsafe(quint32(text.size() + 1)) + QByteArray(2, '\0') + '\x03' + text;
}

// An ID3v2.4 tag holding `frames` (announcing `size` bytes if given), then 500 ms of MP3.
QByteArray id3Tagged(const QByteArray &frames, qint64 size = -1)
{
    return QByteArray("ID3\x04\x00\x00", 6) + synchsafe(quint32(size < 0 ? frames.size() : size)) +
           frames + bytesOf(u"no-tags.mp3"_s);
}

// Pumps the playing track to its end, which a short pump tells; returns the frames heard.
qint64 pumpToEnd(CaptureDriver &capture)
{
    qint64 heard = 0;
    for (size_t got = 8192; got == 8192 && heard < 10 * 48000 * 60; heard += qint64(got))
        got = capture.pump(8192);
    return heard;
}
}  // namespace

class TestHostileFiles : public QObject {
    Q_OBJECT

private slots:
    void eachGetsItsRowPlaysSafelyAndTheNextFilePlays_data()
    {
        QTest::addColumn<QString>("name");  // of the file made in a scratch folder
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("title");   // also the artist and album when "Unknow"
        QTest::addColumn<QString>("source");  // the fixture whose audio it plays, if any
        const auto row = [](const char *name, const QByteArray &bytes = {},
                            const QString &title = kUnknown, const QString &source = {}) {
            QTest::newRow(name) << QString::fromLatin1(name) << bytes << title << source;
        };
        const auto noise = [](int variant) {
            QByteArray bytes(64 * 1024, '\0');
            QRandomGenerator(variant).fillRange(reinterpret_cast<quint32 *>(bytes.data()), 16384);
            return bytes;
        };
        const QString tone880 = u"flac16-880.flac"_s, tagless = u"no-tags.mp3"_s;
        const QByteArray flac = bytesOf(tone880);
        row("zero-byte.mp3");
        // Cut at 40 % of 3 s, behind a header that still claims all of it.
        row("cut-mid-frame.mp3", bytesOf(u"truncated.mp3"_s), u"Tone 440"_s, u"truncated.mp3"_s);
        // STREAMINFO still claims 2 s; playing ends where the data does.
        row("cut-mid-frame.flac", flac.left(20000), u"Tone 880"_s, tone880);
        row("noise.mp3", noise(1));
        row("noise.flac", noise(2));
        row("id3v2-size-past-end.mp3", id3Tagged({}, 0x0FFFFFFF));
        QByteArray broken = flac;  // STREAMINFO's 20-bit sample rate, from its byte 10, is 0
        broken[18] = broken[19] = 0;
        broken[20] = char(broken[20] & 0x0F);
        row("streaminfo-rate-zero.flac", broken);
        broken = flac;  // STREAMINFO turned into PADDING: the stream's first block is gone
        broken[4] = 0x01;
        row("streaminfo-missing.flac", broken);
        QByteArray frames;
        for (int i = 0; i < 9999; ++i)
            frames += id3Frame("TXXX", "NOTE" + QByteArray(1, '\0') + QByteArray::number(i));
        frames += id3Frame("TIT2", "Many Tags");
        row("ten-thousand-tags.mp3", id3Tagged(frames), u"Many Tags"_s, tagless);
        // No label could lay out a title of 50 MB in time: its first 1024 characters are kept.
        row("fifty-megabyte-title.mp3", id3Tagged(id3Frame("TIT2", QByteArray(50'000'000, 'T'))),
            QString(1024, u'T'), tagless);
        row("directory.mp3");
        row("named-pipe.mp3");
        row("/dev/zero");
        row("no-read-permission.mp3", bytesOf(u"cbr-440.mp3"_s));
        row("dangling-link.mp3");
        row("sparse-5gib.mp3");
        // MP3 without a length header, then a 5 GiB hole: the zeros are no audio.
        row("mp3-then-5gib-hole.mp3", bytesOf(u"vbr-noxing-550.mp3"_s), kUnknown,
            u"vbr-noxing-550.mp3"_s);
        // Changed 0.1 s into its 2 s, more than the reader buffers or the channel decodes ahead.
        const QString victim = u"flac24-1000.flac"_s;
        row("deleted-while-playing.flac", bytesOf(victim), kUnknown, victim);
        row("truncated-while-playing.flac", bytesOf(victim), kUnknown, victim);
    }

    void eachGetsItsRowPlaysSafelyAndTheNextFilePlays()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, title);
        QFETCH(QString, source);
        QTemporaryDir dir;
        const QString path = name.startsWith(u'/') ? name : dir.filePath(name);
        const QByteArray encoded = QFile::encodeName(path);
        QFile file(path);
        if (name.startsWith("directory"_L1))
            QVERIFY(QDir().mkdir(path));
        else if (name.startsWith("named-pipe"_L1))
            QCOMPARE(::mkfifo(encoded.constData(), 0644), 0);
        else if (name.startsWith("dangling-link"_L1))
            QVERIFY(QFile::link(dir.filePath(u"gone.mp3"_s), path));
        else if (path != name)
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        if (name.startsWith("no-read-permission"_L1)) {
            QVERIFY(file.setPermissions(QFileDevice::WriteOwner));
            if (file.open(QIODevice::ReadOnly))
                QSKIP("this process reads files whatever their permissions");
        }
        if (name.contains("5gib"_L1) && !file.resize(qint64(5) << 30))
            QSKIP("the file system here cannot hold a sparse 5 GiB file");

        WindowRig rig;
        rig.window().show();
        ZUNAListView *view = rig.playlist(0);
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window()));
        // From the file's arrival to its row drawn: under a second (times a sanitizer's slowdown).
        QElapsedTimer clock;
        clock.start();
        view->AddFile(path);
        QCoreApplication::processEvents();
        rig.window().grab();
        const qint64 rowMs = clock.elapsed();
        QVERIFY2(rowMs < 1000 * qMax(1, qEnvironmentVariableIntValue("ZUNA_TEST_TIME_SCALE")),
                 qPrintable(u"the row took %1 ms"_s.arg(rowMs)));
        QCOMPARE(view->count(), 1);
        view->AddFile(fixturePath(kGood));

        // What can be read, defaults for the rest, and stat()'s size (0 for nothing) in 64 bits.
        const Fixture audio = source.isEmpty() ? Fixture{{}, u"UNKNOW"_s} : fixture(source);
        const TrackMetadata shown = entryOf(view, 0)->Getmetadata();
        QCOMPARE(shown.value(u"TITLE"_s), title);
        if (title == kUnknown)
            QCOMPARE(QStringList({shown.value(u"ARTIST"_s), shown.value(u"ALBUM"_s)}),
                     QStringList({kUnknown, kUnknown}));
        QCOMPARE(shown.value(u"TYPE"_s), audio.type);
        struct stat info {};
        const qint64 size = ::stat(encoded.constData(), &info) == 0 ? info.st_size : 0;
        QCOMPARE(shown.value(u"SIZE"_s), QString::number(size));
        // The audio's length, give or take an MPEG frame for a cut one.
        const qint64 length = shown.value(u"LENGTH"_s).toLongLong();
        const qint64 expectedMs = audio.rate > 0 ? audio.frames * 1000 / audio.rate : 0;
        QVERIFY2(qAbs(length - expectedMs) <= (audio.type == "MP3"_L1 ? 27 : 0),
                 qPrintable(QString::number(length)));

        QSignalSpy finished(rig.engine(), &ZUNAAudio::Finish);
        QSignalSpy ticks(rig.engine(), &ZUNAAudio::Tick);
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        doubleClickRow(view, 0);
        QCOMPARE(played.size(), 1);
        QStringList texts;  // what the row shows, now that it is in sight
        for (const QLabel *label : entryOf(view, 0)->findChildren<QLabel *>())
            texts.append(label->text());
        QVERIFY(texts.contains(title) && texts.contains(audio.type) &&
                texts.contains(timeText(length)));
        rig.sync();
        if (source.isEmpty()) {
            // Nothing to play: no device opened, no progress, no end; the user plays on.
            QCOMPARE(rig.capture().outputsOpened(), 0);
            rig.monitor();
            QCOMPARE(finished.size() + ticks.size(), 0);
            doubleClickRow(view, 1);
        } else {
            QCOMPARE(rig.capture().outputsOpened(), 1);
            const bool changes = name.contains("-while-playing"_L1);
            const qint64 before = changes ? qint64(rig.capture().pump(4800)) : 0;
            if (changes)
                QVERIFY(name.startsWith("deleted"_L1) ? file.remove() : file.resize(200));
            const qint64 heard = before + pumpToEnd(rig.capture());
            // Never more than the row announced, give or take a frame; then the track ends.
            QVERIFY2(heard * 1000 / rig.capture().format().rate <= length + 30,
                     qPrintable(QString::number(heard)));
            // An open file lives on when deleted, until it is closed: then all of it is heard.
            if (changes)
                QCOMPARE(heard == audio.frames, name.startsWith("deleted"_L1));
            rig.monitor();
            QCOMPARE(finished.size(), 1);
        }
        QCOMPARE(played.size(), 2);
        QCOMPARE(played.last().at(0).toString(), fixturePath(kGood));
        checkHeard(rig, kGood);
    }
};

// Root, or any process that may override permission bits, reads any file. Dropping that
// override before any thread starts (so all inherit it) lets the permission row test what a
// user would meet.
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
