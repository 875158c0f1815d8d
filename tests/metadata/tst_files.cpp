// Files as the player takes them in and reads them: drops and folders, metadata (tags as
// make-fixtures.sh wrote them) and its texts, zuna-probe, hostile files through the window.

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>

#include "metadata/sizetext.h"
#include "metadata/timetext.h"
#include "playlist/folderwalk.h"
#include "support/fixtures.h"
#include "support/logrecorder.h"
#include "support/windowrig.h"

using namespace zuna;

using namespace Qt::StringLiterals;

// Makes a file at `path` (or points `path` elsewhere); false if this system cannot.
using Maker = std::function<bool(QString &path)>;
enum Then { Kept, Deleted, Truncated };

const QByteArray kUnknown = "TITLE=Unknow\tARTIST=Unknow\tALBUM=Unknow";  // as zuna-probe writes it

// A hostile file: how it is made, and what the player is to make of it.
struct Hostile {
    Maker make;
    QByteArray tags = kUnknown;
    const char *source = nullptr;  // the fixture whose audio it plays; none: it plays nothing
    Then then = Kept;              // done to it 0.1 s into playing, past what is read ahead
    qint64 shortOfSourceMs = 0;    // cut short: LENGTH is what is left, up to this much less
};
Q_DECLARE_METATYPE(Hostile)

namespace {
const QStringList kKeys = {u"TITLE"_s, u"ARTIST"_s, u"ALBUM"_s, u"LENGTH"_s, u"TYPE"_s, u"SIZE"_s};

// As zuna-probe writes a file's line: KEY=value for those of `keys` present, in that order.
QString fields(const TrackMetadata &metadata, const QStringList &keys = kKeys)
{
    QStringList present;
    for (const QString &key : keys)
        if (metadata.contains(key))
            present.append(key + u'=' + metadata.value(key));
    return present.join(u'\t');
}

// Read from `path`, holding fixture `audio`'s sound (or none): tags (unless "-"), kind, length
// within `slackMs` (or up to `shortMs` less), stat()'s size (0 for nothing there) in 64 bits,
// and only the six keys.
void checkRead(const TrackMetadata &read, const QString &path, const QString &tags,
               const Fixture &audio, qint64 slackMs, qint64 shortMs = 0)
{
    if (tags != u"-"_s)
        QCOMPARE(fields(read, kKeys.mid(0, 3)), tags);
    QCOMPARE(read.value(u"TYPE"_s), audio.rate > 0 ? audio.type : u"UNKNOW"_s);
    struct stat info {};
    const bool exists = ::stat(QFile::encodeName(path), &info) == 0;
    QCOMPARE(read.value(u"SIZE"_s).toLongLong(), exists ? qint64(info.st_size) : 0);
    const qint64 length = audio.rate > 0 ? audio.frames * 1000 / audio.rate : 0;
    const qint64 shown = read.value(u"LENGTH"_s).toLongLong();
    QVERIFY2(shown - length <= slackMs && length - shown <= slackMs + shortMs,
             qPrintable(QString::number(shown)));
    for (const QString &key : read.keys())
        QVERIFY2(kKeys.contains(key), qPrintable(key));
}
}  // namespace

class TestFiles : public QObject {
    Q_OBJECT

private slots:
    void aViewTakesDropsInOrderAndShowsOnlyRowsInSight()
    {
        // By the block of 32 the pool reads at a time: files slow to read (ten minutes of MP3
        // scanned frame by frame), then quick ones, so that blocks are read out of order.
        QTemporaryDir dir;
        const QString slow = dir.filePath(u"slow.mp3"_s);
        QFile mp3(fixturePath(u"vbr-noxing-550.mp3"_s)), file(slow);
        QVERIFY(mp3.open(QIODevice::ReadOnly) && file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(mp3.readAll().repeated(200)) > 0 && file.flush());
        const QStringList quick = {u"no-tags.mp3"_s, u"flac24-1000.flac"_s, u"not-audio.mp3"_s,
                                   u"missing.mp3"_s};
        const auto mixedFiles = [&](int count) {
            QStringList files;
            for (int i = 0; i < count; ++i)
                files << ((i / 32) % 2 ? fixturePath(quick[i % 4]) : slow);
            return files;
        };
        auto view = std::make_unique<ZUNAListView>(0);
        view->resize(300, 400);
        view->show();
        const QStringList paths = mixedFiles(3);
        const QString remote = u"https://example.org/song.mp3"_s;
        // Local files up to the first other URL. And Qt 6 refuses drags from outside moving
        // over an InternalMove view unless told.
        QVERIFY(dropFiles(view.get(), paths));
        QVERIFY(dropFiles(view.get(), {remote, paths[0]}));
        QVERIFY(dropFiles(view.get(), {paths[0], paths[1], remote, paths[2]}));
        // Without a URL list the drag is refused, its formats logged in Qt's debug form.
        LogRecorder log;
        QMimeData text;
        text.setText(u"just words"_s);
        text.setData(u"application/x-zuna-test"_s, "x");
        QVERIFY(!dropFiles(view.get(), {}, true, &text));
        QString formats;
        QDebug(&formats) << text.formats();
        QCOMPARE(log.lines(), QStringList(formats.trimmed()));
        // Rows go in as asked, and a second drop and a file added on its own wait their turn.
        const QStringList first = mixedFiles(400), second = mixedFiles(37);
        QVERIFY(dropFiles(view.get(), first, false));
        QCOMPARE(view->viewport()->cursor().shape(), Qt::BusyCursor);  // while taking them in
        QVERIFY(dropFiles(view.get(), second, false));
        TRY_VERIFY(view->count() > 5 + 64);  // some blocks in, as they are read
        view->AddFile(paths[0]);             // there when it returns
        const QStringList rows = pathsOf(view.get());
        QCOMPARE(rows, paths + paths.mid(0, 2) + first + second + paths.mid(0, 1));
        for (int row = 0; row < rows.size(); ++row)  // each with what its own file reads as
            QCOMPARE(entryOf(view.get(), row)->Getmetadata(), readTrackMetadata(rows[row]));
        QVERIFY(!view->takingIn());
        QCOMPARE(view->viewport()->cursor().shape(), Qt::ArrowCursor);
        // In sight, an entry shows its labels where its row is; out of sight it waits, hidden,
        // without them. At least the rows that fit whole are in sight.
        const auto consistent = [&view] {
            int shown = 0;
            for (int row = 0; row < view->count(); ++row) {
                ZUNAListWidget *entry = entryOf(view.get(), row);
                const QRect rect = view->visualItemRect(view->item(row));
                const bool inSight = rect.intersects(view->viewport()->rect());
                const QList<QLabel *> labels = entry->findChildren<QLabel *>();
                if (inSight != entry->isVisible() || inSight != (labels.size() == 5) ||
                    (inSight && (entry->geometry() != rect || labels.first()->text().isEmpty())))
                    return false;
                shown += inSight;
            }
            return shown >= view->viewport()->height() / 40;
        };
        QTRY_VERIFY(consistent());
        view->scrollToBottom();
        QTRY_VERIFY(consistent() && entryOf(view.get(), 442)->isVisible());
        // Deleted, as a tab's closing does, while files come in: they stop coming.
        QVERIFY(dropFiles(view.get(), mixedFiles(30000), false));
        TRY_VERIFY(view->count() > 443);
        QVERIFY(view->takingIn());
        view.reset();
        QTest::qWait(scaledMs(50));  // anything still coming would land in a deleted list
    }

    void kindLengthSizeAndTags_data()
    {
        // Tags that tell something: full Unicode, blank as none, the later one winning, Vorbis
        // keys in any case, none of the six, a FLAC file named .mp3.
        const QHash<QString, QString> tags = {
            {u"id3v23-utf16.mp3"_s, u"TITLE=Café Grüße – ½\tARTIST=Zoë Ørsted\tALBUM=Ünïcödé"_s},
            {u"id3v24-utf8.mp3"_s, u"TITLE=Песня\tARTIST=東京の歌手\tALBUM=🎵 Album"_s},
            {u"id3v1-only.mp3"_s, u"TITLE=Old Title\tARTIST=Old Artist\tALBUM=Old Album"_s},
            {u"cbr-noinfo-330-cover.mp3"_s, u"TITLE=Tone 330"_s},
            {u"no-tags.mp3"_s, QString::fromLatin1(kUnknown)},
            {u"flac16-880.flac"_s, u"TITLE=Tone 880\tARTIST=ZUNA Tests\tALBUM=Fixtures"_s},
            {u"blank-title.mp3"_s, u"TITLE=Unknow\tARTIST= Leading Blank\tALBUM=Fixtures"_s},
            {u"two-artists.flac"_s, u"TITLE=Duet\tARTIST=Second Artist"_s},
            {u"lowercase-key.flac"_s, u"TITLE=lower case key"_s},
            {u"other-tags-only.flac"_s, {}},
            {u"flac-named.mp3"_s, u"TITLE=Disguised FLAC"_s},
            {u"truncated.mp3"_s, u"TITLE=Tone 440\tARTIST=ZUNA Tests\tALBUM=Fixtures"_s},
            // Each other kind with the tags it keeps: Vorbis comments in Ogg, MP4 items, RIFF
            // INFO and an ID3 chunk in WAV, ID3 in AIFF, APE in WavPack, a module's name.
            {u"vorbis-660.ogg"_s, u"TITLE=Vorbis Tone\tARTIST=Ogg Artist\tALBUM=Formats"_s},
            {u"opus-880.opus"_s, u"TITLE=Opus Tone\tARTIST=Opus Artist\tALBUM=Formats"_s},
            {u"aac-440.m4a"_s, u"TITLE=AAC Tone\tARTIST=Ünïcödé Artist\tALBUM=Formats"_s},
            {u"alac-1000.m4a"_s, u"TITLE=ALAC Tone\tARTIST=Lossless Artist\tALBUM=Formats"_s},
            {u"aac-itunes-440.m4a"_s, u"TITLE=iTunes Gapless"_s},
            {u"pcm16-440.wav"_s, u"TITLE=WAV Tone\tARTIST=RIFF Artist\tALBUM=Formats"_s},
            {u"float-440.wav"_s, u"TITLE=WAV ID3 Tone\tARTIST=ID3 Artist"_s},
            {u"u8-500.wav"_s, QString::fromLatin1(kUnknown)},
            {u"pcm16-770.aiff"_s, u"TITLE=AIFF Tone\tARTIST=AIFF Artist\tALBUM=Formats"_s},
            {u"wavpack-330.wv"_s, u"TITLE=WavPack Tone\tARTIST=APE Artist\tALBUM=Formats"_s},
            {u"monkeys-660.ape"_s, u"TITLE=Monkey Tone\tARTIST=APE Artist\tALBUM=Formats"_s},
            {u"tone-259.mod"_s, u"TITLE=Tone Module"_s},
            {u"video-only.mp4"_s, QString::fromLatin1(kUnknown)}};
        QTest::addColumn<Fixture>("f");
        QTest::addColumn<QString>("tags");
        for (const Fixture &f : loadFixtures())
            QTest::newRow(qPrintable(f.file)) << f << tags.value(f.file, u"-"_s);
    }

    void kindLengthSizeAndTags()
    {
        QFETCH(Fixture, f);
        QFETCH(QString, tags);
        const QString path = fixturePath(f.file);
        // Cut behind a header claiming 3 s: what is left, within an MPEG frame (26 ms). WebM
        // times in milliseconds: within an Opus frame (20 ms).
        STEP(checkRead(readTrackMetadata(path), path, tags, f,
                       f.file == "truncated.mp3"_L1 ? 27
                       : f.file.endsWith(u".webm")  ? 20
                                                    : 0));
        QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), Uint32(0));  // headers only, no sound device
    }

    // Entries as a playlist holds them: path (not cleaned) and map kept, the texts a user sees
    // (absent keys empty, 00:00, 0.0MB; 64-bit numbers; no album), clicks reaching the list;
    // and the time and size texts on their own.
    void entriesAndTheirTexts()
    {
        const QList<TrackMetadata> maps = {
            {{u"TITLE"_s, u"A Title"_s}, {u"ARTIST"_s, u"An Artist"_s}, {u"TYPE"_s, u"FLAC"_s}},
            {{u"ALBUM"_s, u"LP"_s}, {u"LENGTH"_s, u"4294967295"_s}, {u"SIZE"_s, u"5369756671"_s}}};
        const QList<QStringList> sortedTexts = {
            {u"0.0MB"_s, u"00:00"_s, u"A Title"_s, u"An Artist"_s, u"FLAC"_s},
            {{}, {}, {}, u"1193:02:47"_s, u"5120.9MB"_s}};
        const QString odd = u" ./music/..//Тест %1 🎵.mp3 "_s;
        QListWidget list;
        for (int i = 0; i < maps.size(); ++i)
            list.setItemWidget(new QListWidgetItem(&list), new ZUNAListWidget(maps[i], odd.arg(i)));
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QSignalSpy doubleClicked(&list, &QListWidget::itemDoubleClicked);
        for (int row = 0; row < list.count(); ++row) {
            QListWidgetItem *item = list.item(row);
            auto *entry = qobject_cast<ZUNAListWidget *>(list.itemWidget(item));
            QCOMPARE(entry->Getpath(), odd.arg(row));
            QCOMPARE(entry->Getmetadata(), maps[row]);
            QStringList texts;
            for (QLabel *label : entry->findChildren<QLabel *>()) {
                texts.append(label->text());
                list.setCurrentRow((row + 1) % list.count());
                QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
                QCOMPARE(list.currentRow(), row);
                QTest::mouseDClick(label, Qt::LeftButton, {}, label->rect().center());
                QCOMPARE(doubleClicked.size(), 1);
                QCOMPARE(doubleClicked.takeFirst().at(0).value<QListWidgetItem *>(), item);
            }
            texts.sort();
            QCOMPARE(texts, sortedTexts[row]);
        }
        // Both cut, not rounded: from an hour on h:mm:ss, as mm:ss has no valid form; the
        // size's one digit stops at 9 (2 MB + 1023 KB).
        const auto all = [](QString (*text)(qint64), std::initializer_list<qint64> values) {
            QStringList texts;
            for (const qint64 value : values)
                texts << text(value);
            return texts.join(u' ');
        };
        QCOMPARE(
            all(timeText, {83456, 59999, 3599999, 3600000, 3723000, 90061000, 4294967295, -5000}),
            u"01:23 00:59 59:59 1:00:00 1:02:03 25:01:01 1193:02:47 00:00"_s);
        QCOMPARE(all(sizeText, {-5000000, 102399, 102400, 5000000, 3145727, 5369756671}),
                 u"0.0MB 0.0MB 0.1MB 4.7MB 2.9MB 5120.9MB"_s);
    }

    void eachGetsItsRowPlaysSafelyAndTheNextFilePlays_data()
    {
        QTest::addColumn<Hostile>("file");
        const auto row = [](const char *name, const Hostile &file) { QTest::newRow(name) << file; };
        const auto bytesOf = [](const char *fixtureName) {
            QFile file(fixturePath(QString::fromLatin1(fixtureName)));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        // Writes `bytes`; if asked, makes it `size` long (a hole past them) or takes every
        // permission away (false if it is readable all the same).
        const auto write = [](const QByteArray &bytes, qint64 size = -1, bool readable = true) {
            return Maker([=](QString &path) {
                QFile file(path);
                return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
                       (size < 0 || file.resize(size)) &&
                       (readable ||
                        (file.setPermissions({}) && !QFile(path).open(QIODevice::ReadOnly)));
            });
        };
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
        QByteArray rateZero = flac, noStreamInfo = flac, noise(qsizetype{64} * 1024, '\0'), frames;
        rateZero[18] = rateZero[19] = 0;  // STREAMINFO's 20-bit sample rate, from its byte 10
        rateZero[20] = char(rateZero[20] & 0x0F);
        noStreamInfo[4] = 0x01;  // STREAMINFO turned into PADDING
        QRandomGenerator(1).fillRange(reinterpret_cast<quint32 *>(noise.data()), 16384);
        for (int i = 0; i < 9999; ++i)
            frames += frame("TXXX", "NOTE\0"_ba + QByteArray::number(i));
        frames += frame("TIT2", "Many Tags");  // last, behind all the others
        row("zero-byte.mp3", {write({})});
        // Cut short behind headers that still claim 3 s and 2 s: playing ends where data does.
        const QByteArray ours = "\tARTIST=ZUNA Tests\tALBUM=Fixtures";
        row("cut-mid-frame.mp3",
            {write(bytesOf("truncated.mp3")), "TITLE=Tone 440" + ours, "truncated.mp3"});
        row("cut-mid-frame.flac",
            {write(flac.left(20000)), "TITLE=Tone 880" + ours, "flac16-880.flac"});
        row("noise.mp3", {write(noise)});
        row("noise.flac", {write(noise)});
        row("id3v2-size-past-end.mp3", {write(tagged({}, 0x0FFFFFFF))});
        row("streaminfo-rate-zero.flac", {write(rateZero)});
        row("streaminfo-missing.flac", {write(noStreamInfo)});
        // A mono stream with a stereo one's frames after its own: frames of another channel
        // count than STREAMINFO's are no audio of this stream.
        qsizetype firstFrame = 4;  // past "fLaC" and each metadata block
        for (bool last = false; !last;) {
            last = uchar(flac[firstFrame]) & 0x80;
            firstFrame += 4 + (uchar(flac[firstFrame + 1]) << 16 |
                               uchar(flac[firstFrame + 2]) << 8 | uchar(flac[firstFrame + 3]));
        }
        row("mono-then-stereo.flac", {write(bytesOf("two-a-1200.flac") + flac.mid(firstFrame)),
                                      "TITLE=First\tARTIST=ZUNA Tests", "two-a-1200.flac"});
        row("ten-thousand-tags.mp3", {write(tagged(frames)), "TITLE=Many Tags", "no-tags.mp3"});
        // A megabyte of padding after the frames, as taggers leave to grow a tag in place.
        row("padded-tag.mp3", {write(tagged(frame("TIT2", "Padded") + QByteArray(1 << 20, '\0'))),
                               "TITLE=Padded", "no-tags.mp3"});
        // No label could lay out a title of 50 MB in time: its first 1024 characters are kept.
        row("fifty-megabyte-title.mp3", {write(tagged(frame("TIT2", QByteArray(50'000'000, 'T')))),
                                         "TITLE=" + QByteArray(1024, 'T'), "no-tags.mp3"});
        // Markup in a tag is text like any other: never drawn bold, never an image loaded.
        const QByteArray markup = "<b>Bold</b> & <img src=\"/etc/hostname\">";
        row("markup-title.mp3",
            {write(tagged(frame("TIT2", markup))), "TITLE=" + markup, "no-tags.mp3"});
        row("directory.mp3", {[](QString &p) { return QDir().mkdir(p); }});
        row("named-pipe.mp3", {[](QString &p) { return !::mkfifo(QFile::encodeName(p), 0644); }});
        row("dev-zero", {[](QString &p) { return !(p = u"/dev/zero"_s).isEmpty(); }});  // itself
        row("no-read-permission.mp3", {write(bytesOf("cbr-440.mp3"), -1, false)});
        row("dangling-link.mp3", {[](QString &p) { return QFile::link(p + u".gone"_s, p); }});
        row("sparse-5gib.mp3", {write({}, qint64(5) << 30)});
        // MP3 without a length header, then a 5 GiB hole: the zeros are no audio.
        row("mp3-then-5gib-hole.mp3", {write(bytesOf("vbr-noxing-550.mp3"), qint64(5) << 30),
                                       kUnknown, "vbr-noxing-550.mp3"});
        // An open file lives on when deleted, until it is closed: all of it is heard.
        row("deleted-while-playing.flac", {write(bytesOf(victim)), kUnknown, victim, Deleted});
        row("truncated-while-playing.flac", {write(bytesOf(victim)), kUnknown, victim, Truncated});
        // Other kinds cut short: what is left plays, and the row says how long that is (the
        // last Ogg page, the last whole MP4 packet its index lists, the WAV samples there).
        const auto cut = [&](const char *name, int percent) {
            const QByteArray whole = bytesOf(name);
            return write(whole.left(whole.size() * percent / 100));
        };
        row("cut-short.ogg",
            {cut("vorbis-660.ogg", 90), "TITLE=Vorbis Tone\tARTIST=Ogg Artist\tALBUM=Formats",
             "vorbis-660.ogg", Kept, 500});
        row("cut-short.m4a",
            {cut("aac-440.m4a", 60), "TITLE=AAC Tone\tARTIST=Ünïcödé Artist\tALBUM=Formats",
             "aac-440.m4a", Kept, 500});
        row("cut-short.wav",
            {cut("pcm16-440.wav", 60), "TITLE=WAV Tone\tARTIST=RIFF Artist\tALBUM=Formats",
             "pcm16-440.wav", Kept, 250});
        // An MP4 whose index (its "moov" box) is gone holds nothing that can be played.
        QByteArray noIndex = bytesOf("aac-440.m4a");
        const qsizetype moov = noIndex.indexOf("moov") - 4;
        noIndex.remove(moov, qFromBigEndian<quint32>(noIndex.constData() + moov));
        row("no-index.m4a", {write(noIndex)});
        // A WAV whose data chunk claims 4 GiB, as a recorder that died leaves it: the samples
        // the file holds.
        QByteArray huge = bytesOf("pcm16-440.wav");
        huge.replace(huge.indexOf("data") + 4, 4, "\xF0\xFF\xFF\xFF");
        row("four-gib-claimed.wav",
            {write(huge), "TITLE=WAV Tone\tARTIST=RIFF Artist\tALBUM=Formats", "pcm16-440.wav"});
        row("zero-length.mod", {write({})});
        row("video-with-sound.mp4", {write(bytesOf("video-600.mp4")), kUnknown, "video-600.mp4"});
        row("video-without-sound.mp4", {write(bytesOf("video-only.mp4"))});
    }

    void eachGetsItsRowPlaysSafelyAndTheNextFilePlays()
    {
        QFETCH(Hostile, file);
        QTemporaryDir dir;
        QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        if (!file.make(path))
            QSKIP("this system cannot make the file: no sparse files, or reads any file");
        // Nothing may wait on a file: a reader that opened the pipe as a plain open() does
        // or read /dev/zero would never come back (and the suite's limit fails this row),
        // and none may still hold the pipe open afterwards.
        readTrackMetadata(path);
        struct stat info {};
        if (::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISFIFO(info.st_mode)) {
            const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
            QVERIFY2(writer < 0 && errno == ENXIO, "a reader holds the pipe open");
        }
        WindowRig rig;
        rig.playlist(0)->AddFile(path);
        // 6 s of 500 Hz at 8 kHz: no file here has that format, so nothing joins it gaplessly.
        ZUNAListView *view = rig.fill({u"long-6s-8k.flac"_s});
        // What can be read, defaults for the rest; the length within an MPEG frame if cut.
        const bool plays = file.source != nullptr;
        const Fixture audio = plays ? fixture(QLatin1String(file.source)) : Fixture();
        const TrackMetadata shown = entryOf(view, 0)->Getmetadata();
        STEP(checkRead(shown, path, QString::fromUtf8(file.tags), audio,
                       audio.type == "MP3"_L1 ? 27 : 0, file.shortOfSourceMs));
        const qint64 length = shown.value(u"LENGTH"_s).toLongLong();
        // Played: nothing, or no more than the row announced and then an end; then the next file.
        Heard finished(rig.engine(), &ZUNAAudio::Finish), ticks(rig.engine(), &ZUNAAudio::Tick);
        STEP(rig.doubleClickRow(view, 0));
        // Tag text is shown as plain text: as large as a plain-text label of it (markup is not).
        for (const QLabel *label : entryOf(view, 0)->findChildren<QLabel *>() +
                                       QList{rig.label("tracklabel"), rig.label("artistlabel")}) {
            QLabel plain;
            plain.setTextFormat(Qt::PlainText);
            plain.setFont(label->font());
            plain.setText(label->text());
            QVERIFY2(label->text().isEmpty() || plain.sizeHint() == label->sizeHint(),
                     qPrintable(label->text()));
        }
        QCOMPARE(rig.capture().outputsOpened(), int(plays));
        qint64 heard = qint64(rig.capture().pump(4800));
        if (file.then != Kept)
            QVERIFY(file.then == Deleted ? QFile::remove(path) : QFile::resize(path, 200));
        for (size_t got = 8192; got == 8192 && heard < qint64{10} * 48000 * 60;
             heard += qint64(got))
            got = rig.capture().pump(8192);  // until a short pump: the track's end
        QVERIFY(heard * 1000 <= (length + 30) * rig.capture().format().rate);
        QVERIFY(file.then == Kept || (heard == audio.frames) == (file.then == Deleted));
        rig.monitor();
        QCOMPARE(finished.size(), int(plays));
        QCOMPARE(ticks.size(), 0);
        if (!plays)
            STEP(rig.doubleClickRow(view, 1));  // the user plays on
        QCOMPARE(rig.played.size(), 2);
        STEP(rig.checkHeard(u"long-6s-8k.flac"_s));
    }

    // In a folder of its own, the working one from here on: relative paths come out as given.
    void foldersGiveTheirMusicInLibraryOrder()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()));
        for (const QString &path :
             {u"Lib/b.mp3"_s,          u"Lib/A10.flac"_s,        u"Lib/a2.FLAC"_s,
              u"Lib/notes.txt"_s,      u"Lib/artist 2/10.mp3"_s, u"Lib/artist 2/9.Mp3"_s,
              u"Lib/artist 2/1.mp3"_s, u"Lib/Artist 10/x.mp3"_s, u"Lib/locked/y.mp3"_s,
              u"Empty/cover.jpg"_s,    u"loose.txt"_s,           u"song.MP3"_s,
              u"Kinds/a.ogg"_s,        u"Kinds/b.OPUS"_s,        u"Kinds/c.m4a"_s,
              u"Kinds/d.Wav"_s,        u"Kinds/e.aiff"_s,        u"Kinds/f.wv"_s,
              u"Kinds/g.it"_s,         u"Kinds/h.webm"_s,        u"Kinds/i.m4v"_s,
              u"Kinds/j.cue"_s})
            QVERIFY(QDir().mkpath(QFileInfo(path).path()) && QFile(path).open(QFile::WriteOnly));
        QVERIFY(QFile::link(dir.filePath(u"Lib"_s), u"Lib/artist 2/again"_s));  // a loop
        QVERIFY(QFile::setPermissions(u"Lib/locked"_s, {}));
        // Unlocked however the test ends, or the temporary folder could not be removed.
        const auto unlock = qScopeGuard([] {
            QFile::setPermissions(u"Lib/locked"_s,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        QCOMPARE(expandFolders({u"loose.txt"_s, u"Lib"_s, u"Empty"_s, u"song.MP3"_s}),
                 QStringList({u"loose.txt"_s, u"Lib/a2.FLAC"_s, u"Lib/A10.flac"_s, u"Lib/b.mp3"_s,
                              u"Lib/artist 2/1.mp3"_s, u"Lib/artist 2/9.Mp3"_s,
                              u"Lib/artist 2/10.mp3"_s, u"Lib/Artist 10/x.mp3"_s, u"song.MP3"_s}));
        // Every kind that plays, in any case; a video's M4V or a cue sheet is no music of its own.
        QCOMPARE(
            expandFolders({u"Kinds"_s}),
            QStringList({u"Kinds/a.ogg"_s, u"Kinds/b.OPUS"_s, u"Kinds/c.m4a"_s, u"Kinds/d.Wav"_s,
                         u"Kinds/e.aiff"_s, u"Kinds/f.wv"_s, u"Kinds/g.it"_s, u"Kinds/h.webm"_s}));
    }

    // A line per path: a non-Latin name read like its original, its tabs, breaks and backslashes
    // escaped; defaults for paths leading nowhere, and a pipe a plain open() would wait on. Last:
    // under ThreadSanitizer a process that has started another may start no more threads.
    void probePrintsOneLinePerPath()
    {
        QTemporaryDir scratch;
        const QString original = fixturePath(u"id3v24-utf8.mp3"_s);
        const QString odd = scratch.filePath(u"Тест テスト 🎵 a\tb\nc\\d.mp3"_s);
        const QString flac = fixturePath(u"two-artists.flac"_s);  // no ALBUM
        const QString pipe = scratch.filePath(u"pipe.mp3"_s), missing = scratch.filePath(u"x"_s);
        QVERIFY(QFile::copy(original, odd));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QProcess probe;
        probe.start(QStringLiteral(ZUNA_PROBE), {odd, flac, missing, QString(), pipe});
        QVERIFY(probe.waitForFinished(scaledMs(10000)));
        QVERIFY(probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0);
        const QString unknown =
            u'\t' + QLatin1String(kUnknown) + u"\tLENGTH=0\tTYPE=UNKNOW\tSIZE=0"_s;
        QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).split(u'\n'),
                 QStringList({scratch.path() + u"/Тест テスト 🎵 a\\tb\\nc\\\\d.mp3\t"_s +
                                  fields(readTrackMetadata(original)),
                              flac + u'\t' + fields(readTrackMetadata(flac)), missing + unknown,
                              unknown, pipe + unknown, QString()}));
    }
};

QTEST_MAIN(TestFiles)
#include "tst_files.moc"
