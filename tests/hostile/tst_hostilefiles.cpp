// Broken, strange and unfriendly files, each added to a playlist and double-clicked: its row
// shows what can be read, playing it leaves the engine idle or ends, and the next file plays.

#include <sys/stat.h>

#include <QApplication>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>

#include "support/fixtures.h"
#include "support/permissions.h"
#include "support/windowrig.h"

using namespace Qt::StringLiterals;

// Makes a file at `path` (or points `path` elsewhere); false if this system cannot.
using Maker = std::function<bool(QString &path)>;
enum Then { Kept, Deleted, Truncated };

// A hostile file: how it is made, and what the player is to make of it.
struct Hostile {
    Maker make;
    QByteArray title = "Unknow";   // also the artist and album when "Unknow"
    const char *source = nullptr;  // the fixture whose audio it plays; none: it plays nothing
    Then then = Kept;              // done to it 0.1 s into playing, past what is read ahead
};
Q_DECLARE_METATYPE(Hostile)

namespace {
QByteArray bytesOf(const char *fixtureName)
{
    QFile file(fixturePath(QString::fromLatin1(fixtureName)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes `bytes`, then makes the file `size` bytes long (a hole past them) if asked, and takes
// away every permission if asked (false if this process reads the file all the same).
Maker write(const QByteArray &bytes, qint64 size = -1, bool readable = true)
{
    return [=](QString &path) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
               (size < 0 || file.resize(size)) &&
               (readable || (file.setPermissions({}) && !QFile(path).open(QIODevice::ReadOnly)));
    };
}
// Whether `label` lays its text out as plain text: as large as a plain-text label of the same
// text and font (as markup it would be drawn otherwise, or load what it names).
bool shownAsPlainText(const QLabel *label)
{
    if (label->text().isEmpty())
        return true;
    QLabel plain;
    plain.setTextFormat(Qt::PlainText);
    plain.setFont(label->font());
    plain.setText(label->text());
    return plain.sizeHint() == label->sizeHint();
}
}  // namespace

class TestHostileFiles : public QObject {
    Q_OBJECT

private slots:
    void eachGetsItsRowPlaysSafelyAndTheNextFilePlays_data()
    {
        QTest::addColumn<Hostile>("file");
        const auto row = [](const char *name, const Hostile &file) { QTest::newRow(name) << file; };
        const auto synchsafe = [](qint64 v) {  // an ID3v2 size: seven bits a byte
            const char b[] = {char(v >> 21 & 127), char(v >> 14 & 127), char(v >> 7 & 127),
                              char(v & 127)};
            return QByteArray(b, 4);
        };
        const auto frame = [=](const char *id, const QByteArray &text) {  // ID3v2.4, UTF-8
            return id + synchsafe(text.size() + 1) + QByteArray(2, '\0') + '\x03' + text;
        };
        const auto tagged = [=](const QByteArray &frames, qint64 size = -1) {  // then 0.5 s of MP3
            return "ID3\x04\0\0"_ba + synchsafe(size < 0 ? frames.size() : size) + frames +
                   bytesOf("no-tags.mp3");
        };
        const char *victim = "flac24-1000.flac";
        const QByteArray flac = bytesOf("flac16-880.flac");
        QByteArray rateZero = flac, noStreamInfo = flac, noise(64 * 1024, '\0'), frames;
        rateZero[18] = rateZero[19] = 0;  // STREAMINFO's 20-bit sample rate, from its byte 10
        rateZero[20] = char(rateZero[20] & 0x0F);
        noStreamInfo[4] = 0x01;  // STREAMINFO turned into PADDING
        QRandomGenerator(1).fillRange(reinterpret_cast<quint32 *>(noise.data()), 16384);
        for (int i = 0; i < 9999; ++i)
            frames += frame("TXXX", "NOTE\0"_ba + QByteArray::number(i));
        frames += frame("TIT2", "Many Tags");  // last, behind all the others
        row("zero-byte.mp3", {write({})});
        // Cut short behind headers that still claim 3 s and 2 s: playing ends where data does.
        row("cut-mid-frame.mp3", {write(bytesOf("truncated.mp3")), "Tone 440", "truncated.mp3"});
        row("cut-mid-frame.flac", {write(flac.left(20000)), "Tone 880", "flac16-880.flac"});
        row("noise.mp3", {write(noise)});
        row("noise.flac", {write(noise)});
        row("id3v2-size-past-end.mp3", {write(tagged({}, 0x0FFFFFFF))});
        row("streaminfo-rate-zero.flac", {write(rateZero)});
        row("streaminfo-missing.flac", {write(noStreamInfo)});
        row("ten-thousand-tags.mp3", {write(tagged(frames)), "Many Tags", "no-tags.mp3"});
        // A megabyte of padding after the frames, as taggers leave to grow a tag in place.
        row("padded-tag.mp3", {write(tagged(frame("TIT2", "Padded") + QByteArray(1 << 20, '\0'))),
                               "Padded", "no-tags.mp3"});
        // No label could lay out a title of 50 MB in time: its first 1024 characters are kept.
        row("fifty-megabyte-title.mp3", {write(tagged(frame("TIT2", QByteArray(50'000'000, 'T')))),
                                         QByteArray(1024, 'T'), "no-tags.mp3"});
        // Markup in a tag is text like any other: never drawn bold, never an image loaded.
        row("markup-title.mp3", {write(tagged(frame("TIT2", "<b>Bold</b> & <i>x</i>"))),
                                 "<b>Bold</b> & <i>x</i>", "no-tags.mp3"});
        row("image-title.mp3", {write(tagged(frame("TIT2", "<img src=\"/etc/hostname\">"))),
                                "<img src=\"/etc/hostname\">", "no-tags.mp3"});
        row("directory.mp3", {[](QString &p) { return QDir().mkdir(p); }});
        row("named-pipe.mp3", {[](QString &p) { return !::mkfifo(QFile::encodeName(p), 0644); }});
        row("dev-zero", {[](QString &p) { return !(p = u"/dev/zero"_s).isEmpty(); }});  // itself
        row("no-read-permission.mp3", {write(bytesOf("cbr-440.mp3"), -1, false)});
        row("dangling-link.mp3", {[](QString &p) { return QFile::link(p + u".gone"_s, p); }});
        row("sparse-5gib.mp3", {write({}, qint64(5) << 30)});
        // MP3 without a length header, then a 5 GiB hole: the zeros are no audio.
        row("mp3-then-5gib-hole.mp3", {write(bytesOf("vbr-noxing-550.mp3"), qint64(5) << 30),
                                       "Unknow", "vbr-noxing-550.mp3"});
        // An open file lives on when deleted, until it is closed: all of it is heard.
        row("deleted-while-playing.flac", {write(bytesOf(victim)), "Unknow", victim, Deleted});
        row("truncated-while-playing.flac", {write(bytesOf(victim)), "Unknow", victim, Truncated});
    }

    void eachGetsItsRowPlaysSafelyAndTheNextFilePlays()
    {
        QFETCH(Hostile, file);
        QTemporaryDir dir;
        QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        if (!file.make(path))
            QSKIP("this system cannot make the file: no sparse files, or reads any file");
        WindowRig rig;
        ZUNAListView *view = rig.playlist(0);
        view->AddFile(path);
        // 6 s of 500 Hz at 8 kHz: no file here has that format, so nothing joins it gaplessly.
        view->AddFile(fixturePath(u"long-6s-8k.flac"_s));
        QCOMPARE(view->count(), 2);
        // What can be read, defaults for the rest, and stat()'s size (0 for nothing) in 64 bits.
        const bool plays = file.source != nullptr;
        const Fixture audio = plays ? fixture(QLatin1String(file.source)) : Fixture();
        const TrackMetadata shown = entryOf(view, 0)->Getmetadata();
        QCOMPARE(shown.value(u"TITLE"_s), QString::fromUtf8(file.title));
        if (file.title == "Unknow")
            QCOMPARE(shown.value(u"ARTIST"_s) + shown.value(u"ALBUM"_s), u"UnknowUnknow"_s);
        QCOMPARE(shown.value(u"TYPE"_s), plays ? audio.type : u"UNKNOW"_s);
        struct stat info {};
        const bool exists = ::stat(QFile::encodeName(path), &info) == 0;
        QCOMPARE(shown.value(u"SIZE"_s).toLongLong(), exists ? qint64(info.st_size) : 0);
        // The audio's length, give or take an MPEG frame (27 ms) for a cut one.
        const qint64 length = shown.value(u"LENGTH"_s).toLongLong();
        const qint64 expected = audio.rate > 0 ? audio.frames * 1000 / audio.rate : 0;
        QVERIFY(qAbs(length - expected) <= (audio.type == "MP3"_L1 ? 27 : 0));
        // Played: nothing, or no more than the row announced and then an end; then the next file.
        Heard finished(rig.engine(), &ZUNAAudio::Finish), ticks(rig.engine(), &ZUNAAudio::Tick);
        QSignalSpy played(&rig.window(), &MainWindow::Playfile);
        STEP(rig.doubleClickRow(view, 0));
        QList<QLabel *> labels = entryOf(view, 0)->findChildren<QLabel *>();
        labels << rig.label("tracklabel") << rig.label("artistlabel");
        for (const QLabel *label : labels)
            QVERIFY2(shownAsPlainText(label), qPrintable(label->text()));
        QCOMPARE(rig.capture().outputsOpened(), int(plays));
        qint64 heard = qint64(rig.capture().pump(4800));
        if (file.then != Kept)
            QVERIFY(file.then == Deleted ? QFile::remove(path) : QFile::resize(path, 200));
        for (size_t got = 8192; got == 8192 && heard < 10 * 48000 * 60; heard += qint64(got))
            got = rig.capture().pump(8192);  // until a short pump: the track's end
        QVERIFY(heard * 1000 <= (length + 30) * rig.capture().format().rate);
        QVERIFY(file.then == Kept || (heard == audio.frames) == (file.then == Deleted));
        rig.monitor();
        QCOMPARE(finished.size(), int(plays));
        QCOMPARE(ticks.size(), 0);
        if (!plays)
            STEP(rig.doubleClickRow(view, 1));  // the user plays on
        QCOMPARE(played.size(), 2);
        STEP(rig.checkHeard(u"long-6s-8k.flac"_s));
    }
};

int main(int argc, char **argv)
{
    dropReadOverride();  // so that the permission row meets what a user would, as root too
    QApplication app(argc, argv);
    TestHostileFiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hostilefiles.moc"
