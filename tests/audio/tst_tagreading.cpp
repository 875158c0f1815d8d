// Tags of MP3 and FLAC files read by our lean reader, held against TagLib reading the same
// crafted files: every file must give the same tags either way, plainly laid out files must
// be read by the lean reader, and anything unusual or broken must be left to TagLib.

#include <QTemporaryDir>
#include <QtTest>

#include "audio/decode/filereader.h"
#include "audio/decode/plaintags.h"
#include "audio/decode/tagreader.h"
#include "support/fixtures.h"

using namespace zuna;
using namespace Qt::StringLiterals;

namespace {
QByteArray le32(quint32 v)
{
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(b, 4);
}

QByteArray synchsafe(quint32 v)
{
    const char b[4] = {char(v >> 21 & 0x7F), char(v >> 14 & 0x7F), char(v >> 7 & 0x7F),
                       char(v & 0x7F)};
    return QByteArray(b, 4);
}

// An ID3v2.3 or 2.4 frame; `size` overrides the size written.
QByteArray frame(int version, const char *id, const QByteArray &body, char flags = 0,
                 qint64 size = -1)
{
    const auto n = quint32(size < 0 ? body.size() : size);
    return id + (version == 4 ? synchsafe(n) : be32(n)) + QByteArray(1, flags) + '\0' + body;
}

// A text frame's body: its encoding byte, then the bytes as given.
QByteArray text(char encoding, const QByteArray &bytes)
{
    return encoding + bytes;
}

QByteArray utf16(const QString &s, bool bigEndian, bool bom = true)
{
    QByteArray out;
    if (bom)
        out += bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
    for (const QChar c : s) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        out.append(bigEndian ? hi : lo).append(bigEndian ? lo : hi);
    }
    return out;
}

QByteArray tag(int version, const QByteArray &frames, int padding = 0, char flags = 0)
{
    const QByteArray body = frames + QByteArray(padding, '\0');
    return "ID3" + QByteArray(1, char(version)) + '\0' + flags + synchsafe(quint32(body.size())) +
           body;
}

// A few MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz: 417 bytes each) of silence.
QByteArray audio()
{
    QByteArray one("\xFF\xFB\x90\x64", 4);
    one.append(413, '\0');
    return one.repeated(4);
}

QByteArray id3v1(const QByteArray &title)
{
    QByteArray t = "TAG" + title.leftJustified(30, '\0', true);
    return t + QByteArray(125 - 30, '\0');
}

QByteArray apeFooter()
{
    return "APETAGEX" + le32(2000) + le32(32) + le32(0) + le32(0) + QByteArray(8, '\0');
}

QByteArray block(int type, const QByteArray &body, bool last = false)
{
    const auto n = quint32(body.size());
    const char h[4] = {char(type | (last ? 0x80 : 0)), char(n >> 16), char(n >> 8), char(n)};
    return QByteArray(h, 4) + body;
}

// STREAMINFO of a 44.1 kHz stereo 16-bit stream of 44,100 frames.
QByteArray streamInfo()
{
    return QByteArray::fromHex(
               "10001000"
               "000000"
               "000000"
               "0ac442f00000ac44") +
           QByteArray(16, '\0');
}

QByteArray comment(const QList<QByteArray> &fields, const QByteArray &vendor = "reference")
{
    QByteArray out = le32(quint32(vendor.size())) + vendor + le32(quint32(fields.size()));
    for (const QByteArray &f : fields)
        out += le32(quint32(f.size())) + f;
    return out;
}

QByteArray flac(const QByteArray &blocks)
{
    return "fLaC" + block(0, streamInfo()) + blocks + QByteArray("\xFF\xF8\x69\x08", 4);
}

QString describe(const std::vector<Tag> &tags)
{
    QStringList out;
    for (const Tag &t : tags)
        out << QString::fromStdString(t.name) + u'=' + QString::fromStdString(t.text);
    return out.join(u" | ");
}
}  // namespace

class TestTagReading : public QObject {
    Q_OBJECT
    QTemporaryDir scratch;
    int written = 0;

    std::unique_ptr<FileReader> open(const QByteArray &bytes)
    {
        const QString path = writeScratchFile(scratch, QString::number(++written), bytes);
        if (path.isEmpty())
            return nullptr;
        std::unique_ptr<FileReader> reader;
        FileReader::open(QFile::encodeName(path).toStdString(), &reader);
        return reader;
    }

    // The tags of `bytes` read the player's way and by TagLib alone, each from a fresh
    // reader, and whether the lean reader answered.
    void compare(const QByteArray &bytes, TagLayout layout, bool leanExpected)
    {
        const auto ours = open(bytes), theirs = open(bytes), lean = open(bytes);
        QVERIFY(ours && theirs && lean);
        const std::vector<Tag> expected = readTagsWithTagLib(layout, *theirs);
        QCOMPARE(describe(readTags(layout, *ours)), describe(expected));
        const auto plain =
            layout == TagLayout::Mpeg ? readPlainId3v2Tags(*lean) : readPlainFlacTags(*lean);
        QCOMPARE(plain.has_value(), leanExpected);
        if (leanExpected)
            QVERIFY(!expected.empty());
    }

private slots:
    void id3v2AsTagLibReadsIt_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("lean");
        const auto tags = [](int v, const QByteArray &frames, int padding = 0) {
            return tag(v, frames, padding) + audio();
        };
        const QByteArray title = frame(3, "TIT2", text(0, "Title"));
        const QByteArray title4 = frame(4, "TIT2", text(3, "Title"));
        QTest::newRow("v2.3 Latin-1, the usual frames")
            << tags(3, title + frame(3, "TPE1", text(0, "Caf\xE9")) +
                           frame(3, "TALB", text(0, "Album")) + frame(3, "TRCK", text(0, "3/12")) +
                           frame(3, "TPOS", text(0, "1")) + frame(3, "TPE2", text(0, "Various")) +
                           frame(3, "TCOM", text(0, "Composer")) +
                           frame(3, "TSSE", text(0, "Lavf")) + frame(3, "TCON", text(0, "Rock")) +
                           frame(3, "TYER", text(0, "1999")))
            << true;
        QTest::newRow("v2.4 UTF-8, several values, empty ones, trailing NULs")
            << tags(4, title4 +
                           frame(4, "TPE1", text(3, QByteArray("Ana\0\0Bo\0\xC3\xA9\0\0", 12))) +
                           frame(4, "TALB", text(3, "")) +
                           frame(4, "TCON", text(3, QByteArray("Pop\0Jazz", 8))) +
                           frame(4, "TDRC", text(3, "2020-01-02T10:00")))
            << true;
        QTest::newRow("v2.3 UTF-16 with byte order marks of both kinds, a surrogate pair")
            << tags(3, frame(3, "TIT2", text(1, utf16(u"T\u00EDtulo"_s, false))) +
                           frame(3, "TPE1",
                                 text(1, utf16(u"\U0001F3B5 A"_s, true) + QByteArray(2, '\0') +
                                             utf16(u"B"_s, false))) +
                           frame(3, "TALB", text(1, utf16(QString(), false))))
            << true;
        QTest::newRow("v2.4 UTF-16BE, and a cover and padding after the text")
            << tags(
                   4,
                   frame(4, "TIT2", text(2, utf16(u"\u6771\u4EAC"_s, true, false))) +
                       frame(4, "APIC", QByteArray("\0image/png\0\3\0", 13) + QByteArray(300, 'x')),
                   4096)
            << true;
        // 256 written as a plain integer reads as 128 when synchsafe; TagLib takes 256, as a
        // frame follows there and none at 128. 213 is no synchsafe number at all.
        const QByteArray cover = QByteArray("\0image/png\0\3\0", 13) + QByteArray(243, 'x');
        QTest::newRow("v2.4 frame size written as a plain integer")
            << tags(4, title4 + frame(4, "APIC", cover).replace(4, 4, be32(256)) +
                           frame(4, "TPE1", text(0, "A")))
            << false;
        QTest::newRow("v2.4 frame size that is no synchsafe number")
            << tags(4, title4 + frame(4, "APIC", cover.left(213)).replace(4, 4, be32(213)) +
                           frame(4, "TPE1", text(0, "A")))
            << false;
        QTest::newRow("frame of one byte: no text")
            << tags(3, title + frame(3, "TPE1", text(0, ""))) << true;
        QTest::newRow("ID3v2 and ID3v1: the ID3v2 tag wins")
            << tags(3, title) + id3v1("Other") << true;
        QTest::newRow("genre by number")
            << tags(3, title + frame(3, "TCON", text(0, "(17)"))) << false;
        QTest::newRow("genre number alone")
            << tags(4, title4 + frame(4, "TCON", text(0, "17"))) << false;
        QTest::newRow("a comment frame")
            << tags(3, title + frame(3, "COMM", text(0, QByteArray("eng\0hi", 6)))) << false;
        QTest::newRow("a user text frame")
            << tags(3, title + frame(3, "TXXX", text(0, QByteArray("k\0v", 3)))) << false;
        QTest::newRow("two title frames") << tags(3, title + title) << false;
        QTest::newRow("no title, artist or album: ID3v1 is taken")
            << tags(3, frame(3, "TRCK", text(0, "1"))) + id3v1("From v1") << false;
        QTest::newRow("only ID3v1") << audio() + id3v1("Title") << false;
        QTest::newRow("ID3v2.2") << tag(2, QByteArray("TT2") + QByteArray("\0\0\x06", 3) +
                                               text(0, "Title")) +
                                        audio()
                                 << false;
        QTest::newRow("APE tag at the end") << tags(3, title) + apeFooter() << false;
        QTest::newRow("APE tag before ID3v1") << tags(3, title) + apeFooter() + id3v1("T") << false;
        QTest::newRow("unsynchronised tag") << tag(3, title, 0, char(0x80)) + audio() << false;
        QTest::newRow("extended header flag") << tag(4, title4, 0, char(0x40)) + audio() << false;
        QTest::newRow("compressed frame")
            << tags(3, frame(3, "TIT2", text(0, "xx"), char(0x80))) << false;
        QTest::newRow("frame format flags")
            << tags(4, frame(4, "TIT2", text(0, "xx"), char(0x02))) << false;
        QTest::newRow("malformed UTF-8")
            << tags(4, frame(4, "TIT2", text(3, "a\xC0\x80"))) << false;
        QTest::newRow("unpaired surrogate") << tags(3, frame(3, "TIT2",
                                                             text(1, QByteArray("\xFF\xFE\x00\xD8"
                                                                                "a\0",
                                                                                6))))
                                            << false;
        QTest::newRow("second value without byte order mark")
            << tags(3, frame(3, "TIT2",
                             text(1, utf16(u"A"_s, false) + QByteArray(2, '\0') +
                                         utf16(u"B"_s, false, false))))
            << false;
        QTest::newRow("odd UTF-16 length") << tags(3, frame(3, "TIT2",
                                                            text(1, QByteArray("\xFF\xFE"
                                                                               "a\0b",
                                                                               5))))
                                           << false;
        QTest::newRow("unknown text encoding")
            << tags(3, frame(3, "TIT2", text(7, "abc"))) << false;
        QTest::newRow("zero-sized frame")
            << tags(3, title + frame(3, "TPE1", {}) + frame(3, "TALB", text(0, "A"))) << false;
        QTest::newRow("frame past the tag")
            << tags(3, title + frame(3, "TPE1", text(0, "A"), 0, 5000)) << false;
        QTest::newRow("frame size past the file")
            << tags(3, frame(3, "TIT2", text(0, "A"), 0, 0x7FFFFFFF)) << false;
        QTest::newRow("tag past the file")
            << tag(3, title).replace(6, 4, synchsafe(1 << 26)) << false;
        QTest::newRow("tag size not synchsafe")
            << tag(3, title).replace(6, 4, be32(0x00000180)) + audio() << false;
        QTest::newRow("tag of no size") << tag(3, {}) + audio() << false;
        QTest::newRow("tag cut short")
            << tag(3, title + frame(3, "TPE1", text(0, "Artist"))).left(24) << false;
    }

    void id3v2AsTagLibReadsIt()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, lean);
        compare(bytes, TagLayout::Mpeg, lean);
    }

    void flacCommentsAsTagLibReadsThem_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("lean");
        const QByteArray fields = comment({"TITLE=Title", "artist=Ana", "ARTIST=B\xC3\xB3",
                                           "ALBUM=", "Genre=Rock", "COMMENT=a=b"});
        const QByteArray picture = block(6, be32(3) + be32(9) + "image/png" + be32(0) + be32(1) +
                                                be32(1) + be32(24) + be32(0) + be32(5) + "xxxxx");
        QTest::newRow("comments after a picture, padding last")
            << flac(block(3, QByteArray(18, '\0')) + picture + block(4, fields) +
                    block(1, QByteArray(100, '\0'), true))
            << true;
        QTest::newRow("comments last, ID3v1 at the end")
            << flac(block(4, fields, true)) + id3v1("Other") << true;
        QTest::newRow("two comment blocks: the first counts")
            << flac(block(4, fields) + block(4, comment({"TITLE=Second"}), true)) << true;
        QTest::newRow("no comments") << flac(block(1, QByteArray(10, '\0'), true)) << false;
        QTest::newRow("empty comments, ID3v1 at the end")
            << flac(block(4, comment({}), true)) + id3v1("From v1") << false;
        QTest::newRow("picture kept as a comment")
            << flac(block(4, comment({"TITLE=T", "METADATA_BLOCK_PICTURE=AAAA"}), true)) << false;
        QTest::newRow("field without '='")
            << flac(block(4, comment({"TITLE=T", "junk"}), true)) << false;
        QTest::newRow("key out of range")
            << flac(block(4, comment({"TITLE=T", "K\x7F=v"}), true)) << false;
        QTest::newRow("malformed UTF-8") << flac(block(4, comment({"TITLE=\xFF"}), true)) << false;
        QTest::newRow("field past the block")
            << flac(block(4, comment({"TITLE=T"}).replace(17, 4, le32(999)), true)) << false;
        QTest::newRow("count past the block")
            << flac(block(4, comment({"TITLE=T"}).replace(13, 4, le32(0xFFFFFFF)), true)) << false;
        QTest::newRow("vendor past the block")
            << flac(block(4, comment({"TITLE=T"}).replace(0, 4, le32(0xFFFFFFF0)), true)) << false;
        QTest::newRow("block past the file")
            << ("fLaC" + block(0, streamInfo()) + block(4, fields, true)).left(60) << false;
        QTest::newRow("zero-sized block") << flac(block(2, {}) + block(4, fields, true)) << false;
        QTest::newRow("no stream info first") << "fLaC" + block(4, fields, true) << false;
        QTest::newRow("no last block")
            << "fLaC" + block(0, streamInfo()) + block(4, fields) << false;
    }

    void flacCommentsAsTagLibReadsThem()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, lean);
        compare(bytes, TagLayout::Flac, lean);
    }

    // Read through the reader's buffer, the lean reader leaves the position alone, as the
    // decoder reads on from it.
    void readingTagsLeavesThePositionAlone()
    {
        const auto reader = open(tag(3, frame(3, "TIT2", text(0, "Title"))) + audio());
        QVERIFY(reader);
        QCOMPARE(reader->seek(25, SEEK_SET), 25);
        QVERIFY(readPlainId3v2Tags(*reader).has_value());
        QCOMPARE(reader->tell(), 25);
    }
};

QTEST_GUILESS_MAIN(TestTagReading)
#include "tst_tagreading.moc"
