// metadata-bench FOLDER [ROUNDS]: how fast readTrackMetadata reads the files of FOLDER,
// against a bare TagLib read of the same files (FileRef: tags and audio properties), in
// the same run and with a warm cache. After one warm-up pass, every round reads all files
// through both, alternating which goes first; per-file times are summed per group:
//   - "length header": FLAC (STREAMINFO) and MP3 whose first frame is a Xing/Info/VBRI
//     header, whose length needs no scan;
//   - "no header": MP3 without such a header, whose exact length needs a scan of every
//     frame header (TagLib only estimates it from the first frame);
//   - "other kinds": what TagLib opens that is neither (WAV, AIFF, Ogg, Opus, MP4, WavPack,
//     modules), which the reader opens through FFmpeg;
//   - "all": every regular file.
// Prints the median over the rounds of files/s for each reader and group, the ratio of the
// median times (reader / TagLib), and for header-less MP3s the reader's ms per MB. FOLDER
// is read with its subfolders: tools/bench/make-corpus.sh makes a flat corpus, or with
// "covers" a cover-heavy one in artist/album folders, with ID3v2 tags padded to 1 MiB.

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/xingheader.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "metadata/trackmetadata.h"

namespace {
using Clock = std::chrono::steady_clock;

enum Group { LengthHeader, NoHeader, OtherKinds, All, GroupCount };
const char *const kGroupNames[GroupCount] = {"length header", "no header (MP3)", "other kinds",
                                             "all files"};

struct Entry {
    QString path;
    QByteArray encoded;
    Group group = All;  // All: neither kind (not audio)
    qint64 bytes = 0;
};

// Sorted by TagLib, independently of the reader under test: FLAC always states its length;
// an MP3 does when its first frame is a Xing/Info/VBRI header with a frame count.
Group classify(const QByteArray &encoded)
{
    const TagLib::FileRef ref(encoded.constData(), true, TagLib::AudioProperties::Fast);
    if (dynamic_cast<const TagLib::FLAC::File *>(ref.file()))
        return LengthHeader;
    const auto *mpeg = dynamic_cast<const TagLib::MPEG::File *>(ref.file());
    if (!mpeg)
        return ref.isNull() ? All : OtherKinds;
    if (!mpeg->audioProperties())
        return All;
    const TagLib::MPEG::XingHeader *xing = mpeg->audioProperties()->xingHeader();
    return xing && xing->totalFrames() > 0 ? LengthHeader : NoHeader;
}

// Keeps the compiler from dropping reads whose results are otherwise unused.
volatile qint64 sink = 0;

void readWithPlayer(const Entry &entry)
{
    const TrackMetadata metadata = readTrackMetadata(entry.path);
    sink = sink + metadata.value(QStringLiteral("LENGTH")).toLongLong() +
           metadata.value(QStringLiteral("TITLE")).size();
}

// What a bare TagLib read costs: open by name, tags, audio properties (length).
qint64 readWithTagLib(const Entry &entry)
{
    TagLib::FileRef ref(entry.encoded.constData(), true, TagLib::AudioProperties::Average);
    if (ref.isNull())
        return 0;
    qint64 length = 0;
    if (const TagLib::Tag *tag = ref.tag())
        sink = sink + tag->title().size() + tag->artist().size() + tag->album().size();
    if (const TagLib::AudioProperties *properties = ref.audioProperties())
        length = properties->lengthInMilliseconds();
    sink = sink + length;
    return length;
}

struct Round {
    double seconds[2][GroupCount] = {};  // [player, taglib][group]
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [ROUNDS]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    std::vector<Entry> entries;
    QDirIterator it(QFile::decodeName(argv[1]), QDir::Files | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        Entry entry;
        entry.path = it.next();
        entry.encoded = QFile::encodeName(entry.path);
        entry.bytes = it.fileInfo().size();
        entry.group = classify(entry.encoded);
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.path < b.path; });
    if (entries.empty()) {
        std::fprintf(stderr, "no files in %s\n", argv[1]);
        return 1;
    }

    int count[GroupCount] = {};
    qint64 bytes[GroupCount] = {};
    for (const Entry &e : entries) {
        if (e.group != All) {
            ++count[e.group];
            bytes[e.group] += e.bytes;
        }
        ++count[All];
        bytes[All] += e.bytes;
    }

    // Warm-up: fills the page cache and any one-time initialisation of both readers. It
    // also shows how far TagLib's estimate of header-less MP3 lengths is from the scan.
    double taglibShare = 0;
    for (const Entry &e : entries) {
        readWithPlayer(e);
        const qint64 tagLibLength = readWithTagLib(e);
        if (e.group == NoHeader) {
            const qint64 exact =
                readTrackMetadata(e.path).value(QStringLiteral("LENGTH")).toLongLong();
            taglibShare += exact > 0 ? double(tagLibLength) / double(exact) : 0;
        }
    }

    std::vector<Round> results(static_cast<size_t>(rounds));
    for (int r = 0; r < rounds; ++r) {
        for (int pass = 0; pass < 2; ++pass) {
            const int reader = (r + pass) % 2;  // alternate which reader goes first
            for (const Entry &e : entries) {
                const auto start = Clock::now();
                if (reader == 0)
                    readWithPlayer(e);
                else
                    readWithTagLib(e);
                const double s = std::chrono::duration<double>(Clock::now() - start).count();
                if (e.group != All)
                    results[size_t(r)].seconds[reader][e.group] += s;
                results[size_t(r)].seconds[reader][All] += s;
            }
        }
    }

    std::printf("%zu files, %.1f MB; %d rounds after one warm-up pass (warm cache)\n",
                entries.size(), double(bytes[All]) / 1e6, rounds);
    std::printf("%-16s %6s %9s %14s %14s %8s\n", "group", "files", "MB", "reader files/s",
                "TagLib files/s", "ratio");
    for (int g = 0; g < GroupCount; ++g) {
        if (count[g] == 0)
            continue;
        std::vector<double> player, taglib, playerRate, taglibRate;
        for (const Round &round : results) {
            player.push_back(round.seconds[0][g]);
            taglib.push_back(round.seconds[1][g]);
            playerRate.push_back(count[g] / round.seconds[0][g]);
            taglibRate.push_back(count[g] / round.seconds[1][g]);
        }
        std::printf("%-16s %6d %9.1f %14.0f %14.0f %7.2fx\n", kGroupNames[g], count[g],
                    double(bytes[g]) / 1e6, median(playerRate), median(taglibRate),
                    median(player) / median(taglib));
        if (g == NoHeader) {
            std::printf(
                "  reader: %.3f ms per MiB (exact frame scan); TagLib's estimated "
                "lengths average %.0f %% of the scanned ones\n",
                median(player) * 1e3 / (double(bytes[g]) / (1024.0 * 1024.0)),
                100.0 * taglibShare / count[g]);
        }
    }
    return 0;
}
