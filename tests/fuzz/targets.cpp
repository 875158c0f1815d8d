#include "targets.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "audio/audiosystem.h"
#include "audio/decode/decoder.h"
#include "audio/decode/filereader.h"
#include "audio/decode/formatsniffer.h"
#include "audio/decode/mpegdecoder.h"
#include "audio/decode/mpeglength.h"
#include "audio/decode/plaintags.h"
#include "audio/decode/statedlength.h"
#include "audio/decode/tagreader.h"
#include "audio/decode/trackfile.h"

using namespace zuna;

namespace {
constexpr long kChunk = 1024;
// A few kilobytes of FLAC can legally hold hours of constant samples; decoding stops here so
// that each input stays quick. Hangs are still caught: a stream must get this far or end.
constexpr int64_t kMaxFrames = int64_t(1) << 22;

// Runs `check` on the bytes as a file that the audio layer opens by path like any other: an
// anonymous in-memory file, /proc/self/fd/N. Out of descriptors or memory, nothing is run.
std::string onMemoryFile(const uint8_t *data, size_t size,
                         const std::function<std::string(const std::string &path)> &check)
{
    const int fd = ::memfd_create("zuna-fuzz", MFD_CLOEXEC);
    std::string problem;
    if (fd >= 0 && ::write(fd, data, size) == ssize_t(size))
        problem = check("/proc/self/fd/" + std::to_string(fd));
    if (fd >= 0)
        ::close(fd);
    return problem;
}

// A readable regular file opens whatever its bytes: they are audio or turned away as such.
std::string refused(AudioResult result)
{
    const bool file = result == AudioResult::CannotOpen || result == AudioResult::NotAFile;
    return file ? "a readable regular file was refused: " + std::string(describe(result)) : "";
}

bool isUtf8(const std::string &text)
{
    int due = 0;  // continuation bytes still to come
    for (const char c : text) {
        const auto byte = uint8_t(c);
        if ((due > 0) != ((byte & 0xC0) == 0x80) || byte >= 0xF8)
            return false;
        due = due > 0 ? due - 1 : byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    }
    return due == 0;
}

std::string listed(const std::vector<Tag> &tags)
{
    std::string out;
    for (const Tag &tag : tags)
        out += " [" + tag.name + "=" + tag.text + "]";
    return out;
}

// Wherever our lean tag readers answer, whatever the file's content, TagLib's parser of the
// same kind must give the same tags.
std::string leanTagsDiffer(const std::string &path)
{
    std::unique_ptr<FileReader> file;
    if (FileReader::open(path, &file) != AudioResult::Ok)
        return {};
    for (const TagLayout layout : {TagLayout::Mpeg, TagLayout::Flac}) {
        const auto lean =
            layout == TagLayout::Mpeg ? readPlainId3v2Tags(*file) : readPlainFlacTags(*file);
        if (!lean)
            continue;
        const std::vector<Tag> taglib = readTagsWithTagLib(layout, *file);
        if (listed(*lean) != listed(taglib))
            return "the lean reader gave" + listed(*lean) + ", TagLib" + listed(taglib);
    }
    return {};
}

// Decodes up to `limit` frames: what the decoder did wrong, if anything. The second half of
// the chunk is never asked for: a decoder that writes there overflows the player's buffers.
std::string decodeOn(Decoder &decoder, int64_t limit)
{
    const AudioFormat format = decoder.format();
    std::vector<float> chunk(2 * size_t(kChunk) * size_t(format.channels), 7.0f);
    const auto half = chunk.begin() + long(chunk.size() / 2);
    for (long got = 1, total = 0; got > 0 && total < limit; total += got) {
        const AudioResult result = decoder.read(chunk.data(), kChunk, &got);
        if (got < 0 || got > kChunk || (result != AudioResult::Ok && got != 0) ||
            std::count(half, chunk.end(), 7.0f) != chunk.end() - half)
            return "read() gave " + std::to_string(got) + " frames with " + describe(result) +
                   ", or wrote past them";
        if (decoder.format().rate != format.rate || decoder.format().channels != format.channels)
            return "the format changed while decoding";
        if (!std::all_of(chunk.begin(), chunk.begin() + got * format.channels,
                         [](float x) { return std::isfinite(x); }))
            return "decoded a sample that is not a number";
    }
    return {};
}
// What the MPEG parser states of the file, from its sniffed first frame and from its first
// byte, must be what libmpg123 reports once it opens the file.
std::string mpegStatedAsOpened(FileReader &file)
{
    const SniffedFormat sniffed = sniffFormat(file);
    for (const int64_t audioStart : {sniffed.audioStart, int64_t(0)}) {
        const auto stated = mpegStatedLength(file, audioStart);
        if (!stated)
            continue;
        std::unique_ptr<Decoder> mpeg;
        const AudioResult result = MpegDecoder::open(file, audioStart, &mpeg);
        if (result != AudioResult::Ok)
            return "MPEG parser stated a stream libmpg123 opens as " +
                   std::string(describe(result));
        if (stated->frames != mpeg->lengthFrames() || stated->format.rate != mpeg->format().rate ||
            stated->format.channels != mpeg->format().channels)
            return "MPEG parser stated " + std::to_string(stated->format.rate) + " Hz × " +
                   std::to_string(stated->format.channels) + ", " + std::to_string(stated->frames) +
                   " frames; libmpg123 " + std::to_string(mpeg->format().rate) + " Hz × " +
                   std::to_string(mpeg->format().channels) + ", " +
                   std::to_string(mpeg->lengthFrames()) + " frames";
    }
    return {};
}
}  // namespace

std::string openAndDescribe(const uint8_t *data, size_t size)
{
    return onMemoryFile(data, size, [](const std::string &path) -> std::string {
        // Each container parser on the bytes, whatever they start with: what one states must
        // be something the player can play.
        std::unique_ptr<FileReader> file;
        for (const char *demuxer : {"ogg", "mov", "wv"}) {
            const auto stated = FileReader::open(path, &file) == AudioResult::Ok
                                    ? readStatedLength(*file, demuxer)
                                    : std::nullopt;
            if (stated && (stated->format.rate <= 0 || stated->format.channels < 1 ||
                           stated->format.channels > 8 || stated->frames <= 0))
                return std::string(demuxer) + " parser stated " +
                       std::to_string(stated->format.rate) + " Hz × " +
                       std::to_string(stated->format.channels) + ", " +
                       std::to_string(stated->frames) + " frames";
        }
        if (FileReader::open(path, &file) == AudioResult::Ok) {
            if (std::string problem = mpegStatedAsOpened(*file); !problem.empty())
                return problem;
        }
        AudioSystem system;  // opening touches no device
        std::unique_ptr<AudioStream> stream;
        if (const AudioResult result = system.openStream(path, &stream);
            result != AudioResult::Ok) {
            const std::string problem = refused(result);
            return problem.empty() ? leanTagsDiffer(path) : problem;
        }
        const AudioFormat f = stream->format();
        if (f.rate <= 0 || f.channels < 1 || f.channels > 8 || stream->lengthFrames() < 0)
            return "opened as sound type " + std::to_string(int(stream->type())) + ", " +
                   std::to_string(f.rate) + " Hz × " + std::to_string(f.channels) + ", " +
                   std::to_string(stream->lengthFrames()) + " frames";
        const int count = stream->tagCount();
        if (count < 0 || stream->tagCount() != count || stream->tag(count) || stream->tag(-1))
            return "tagCount() is not " + std::to_string(count) + " each time, or out of range";
        for (int i = 0; i < count; ++i)  // the playlist takes their text as UTF-8
            if (!stream->tag(i) || !isUtf8(stream->tag(i)->name) || !isUtf8(stream->tag(i)->text))
                return "tag " + std::to_string(i) + " is missing or not UTF-8";
        return leanTagsDiffer(path);
    });
}

std::string decodeWithSeeks(const uint8_t *data, size_t size)
{
    return onMemoryFile(data, size, [&](const std::string &path) {
        std::unique_ptr<TrackFile> track;
        if (const AudioResult opened = TrackFile::open(path, &track); opened != AudioResult::Ok)
            return refused(opened);
        Decoder &decoder = track->decoder();
        std::string problem = decodeOn(decoder, kMaxFrames);
        // Seeks land anywhere from the start to the end, as the progress slider allows, picked
        // from the bytes (FNV-1a, then an LCG); the last goes back to the start, as playing the
        // stream again does. A seek may fail on damaged data; reading after it must behave.
        const int64_t length = decoder.lengthFrames();
        uint64_t pick = 1469598103934665603ull;
        for (size_t i = 0; i < size; ++i)
            pick = (pick ^ data[i]) * 1099511628211ull;
        for (int i = 0; i < 4 && problem.empty(); ++i) {
            const int64_t to =
                i < 3 && length > 0 ? int64_t((pick >> 17) % uint64_t(length + 1)) : 0;
            pick = pick * 6364136223846793005ull + 1442695040888963407ull;
            decoder.seek(to);
            if (!(problem = decodeOn(decoder, i < 3 ? kMaxFrames / 4 : kChunk)).empty())
                problem += " after a seek to " + std::to_string(to);
        }
        return problem;
    });
}

#ifdef ZUNA_FUZZ_TARGET
// libFuzzer's entry: fuzz_open and fuzz_decode are this file, built with the target's name.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const bool open = std::string(ZUNA_FUZZ_TARGET) == "open";
    const std::string problem = open ? openAndDescribe(data, size) : decodeWithSeeks(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, ZUNA_FUZZ_TARGET ": %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
#endif
