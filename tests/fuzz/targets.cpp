#include "targets.h"

#include <cmath>
#include <memory>
#include <vector>

#include "audio/audiosystem.h"
#include "audio/decode/decoder.h"
#include "audio/decode/trackfile.h"
#include "memoryfile.h"

namespace {
constexpr long kChunkFrames = 1024;
// A few kilobytes of FLAC can legally hold hours of constant samples; decoding stops here
// so that each input stays quick to run. Hangs are still caught: a stream must reach this
// many frames or its end.
constexpr int64_t kMaxDecodedFrames = int64_t(1) << 22;

bool isUtf8(const std::string &text)
{
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t extra = lead < 0x80             ? 0
                             : (lead & 0xE0) == 0xC0 ? 1
                             : (lead & 0xF0) == 0xE0 ? 2
                             : (lead & 0xF8) == 0xF0 ? 3
                                                     : 4;
        if (extra > 3 || text.size() - i <= extra)
            return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += extra + 1;
    }
    return true;
}

std::string checkOpenResult(AudioResult result)
{
    // An in-memory file is a readable regular file: whatever its bytes, it opens, and the
    // content is either audio or turned away as such.
    if (result == AudioResult::CannotOpen || result == AudioResult::NotAFile)
        return std::string("a readable regular file was refused: ") + describe(result);
    return {};
}

uint64_t hashOf(const uint8_t *data, size_t size)
{
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

// Decodes up to `limit` frames; returns the frames decoded, or a negative value with
// `problem` set when the decoder broke its contract.
int64_t decodeOn(Decoder &decoder, int64_t limit, std::string *problem)
{
    const AudioFormat format = decoder.format();
    std::vector<float> chunk(size_t(kChunkFrames) * size_t(format.channels));
    int64_t total = 0;
    while (total < limit) {
        long got = 0;
        const AudioResult result = decoder.read(chunk.data(), kChunkFrames, &got);
        if (got < 0 || got > kChunkFrames || (result != AudioResult::Ok && got != 0)) {
            *problem = "read() gave " + std::to_string(got) + " frames for " +
                       std::to_string(kChunkFrames) + " with " + describe(result);
            return -1;
        }
        if (got == 0)
            break;
        for (size_t i = 0; i < size_t(got) * size_t(format.channels); ++i) {
            if (!std::isfinite(chunk[i])) {
                *problem = "decoded a sample that is not a number";
                return -1;
            }
        }
        total += got;
    }
    return total;
}
}  // namespace

std::string openAndDescribe(const uint8_t *data, size_t size)
{
    const MemoryFile file(data, size);
    if (!file.isOpen())
        return {};       // out of descriptors or memory: nothing to learn from this input
    AudioSystem system;  // opening touches no device
    std::unique_ptr<AudioStream> stream;
    const AudioResult result = system.openStream(file.path(), &stream);
    if (std::string problem = checkOpenResult(result); !problem.empty())
        return problem;
    if (result != AudioResult::Ok)
        return {};
    if (stream->type() == SoundType::Other)
        return "an opened stream has no sound type";
    const AudioFormat format = stream->format();
    if (format.rate <= 0 || format.channels < 1 || format.channels > 8)
        return "an opened stream has the format " + std::to_string(format.rate) + " Hz × " +
               std::to_string(format.channels);
    if (stream->lengthFrames() < 0)
        return "negative length";
    const int count = stream->tagCount();
    if (count < 0 || stream->tagCount() != count)
        return "the tag count changed between two calls";
    for (int i = 0; i < count; ++i) {
        const Tag *tag = stream->tag(i);
        if (!tag)
            return "no tag at index " + std::to_string(i) + " of " + std::to_string(count);
        // The metadata reader takes names and texts as UTF-8.
        if (!isUtf8(tag->name) || !isUtf8(tag->text))
            return "tag " + std::to_string(i) + " is not UTF-8 text";
    }
    if (stream->tag(count) != nullptr || stream->tag(-1) != nullptr)
        return "a tag index out of range gave a tag";
    return {};
}

std::string decodeWithSeeks(const uint8_t *data, size_t size)
{
    const MemoryFile file(data, size);
    if (!file.isOpen())
        return {};
    std::unique_ptr<TrackFile> track;
    const AudioResult opened = TrackFile::open(file.path(), &track);
    if (std::string problem = checkOpenResult(opened); !problem.empty())
        return problem;
    if (opened != AudioResult::Ok)
        return {};
    Decoder *decoder = &track->decoder();

    std::string problem;
    if (decodeOn(*decoder, kMaxDecodedFrames, &problem) < 0)
        return problem;
    // Seeks land anywhere from the start to the end, as the progress slider allows; a
    // failed seek is allowed on damaged data, but reading after it must still behave.
    const int64_t length = decoder->lengthFrames();
    uint64_t pick = hashOf(data, size);
    for (int i = 0; i < 3; ++i, pick = pick * 6364136223846793005ull + 1442695040888963407ull) {
        const int64_t target = length > 0 ? int64_t((pick >> 17) % uint64_t(length + 1)) : 0;
        decoder->seek(target);
        if (decodeOn(*decoder, kMaxDecodedFrames / 4, &problem) < 0)
            return problem + " after a seek to " + std::to_string(target);
    }
    decoder->seek(0);  // as playing the stream a second time does
    if (decodeOn(*decoder, kChunkFrames, &problem) < 0)
        return problem + " after a seek back to the start";
    return {};
}
