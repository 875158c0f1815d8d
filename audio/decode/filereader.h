#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/audioresult.h"
#include "audio/decode/bytesource.h"

namespace zuna {

// A read-only regular file with read-ahead buffers. Reads go through pread(), so that the
// decoder and the tag reader (readAt) never disturb each other's position, a frame-by-frame
// scan costs one system call per buffer rather than per frame, and a file that shrinks while
// it plays simply ends early (nothing is memory-mapped, so nothing can fault). Opening a
// stream and reading its tags jump between the start of the file, its first audio frame and
// its end, the sniffer, the decoder and TagLib each in turn; so a few buffers ("windows")
// each keep one region, and a jump refills the one used least recently. A window fills
// small at first and after a jump, as headers are short, and its fills grow while reading
// goes on in order from its end.
class FileReader final : public ByteSource {
public:
    // Opens `path`, given in the platform's file-name encoding. Anything that is not a
    // regular file (directory, pipe, device) is refused before a byte is read, so the
    // call can never block or read forever.
    static AudioResult open(const std::string &path, std::unique_ptr<FileReader> *reader);

    // Another reader of the same open file, with a position and buffer of its own, for a
    // second thread; nullptr if the descriptor cannot be duplicated. Safe to call while
    // another thread reads through this reader.
    std::unique_ptr<FileReader> twin() const;

    ~FileReader() override;
    FileReader(const FileReader &) = delete;
    FileReader &operator=(const FileReader &) = delete;

    int64_t size() const override { return fileSize; }
    int64_t tell() const { return position; }

    // Moves the read position like lseek(); returns the new position, or -1 for a target
    // before the start (the position is then unchanged).
    int64_t seek(int64_t offset, int whence) override;

    // Reads up to `count` bytes at the read position and advances it. Returns the number
    // of bytes read, 0 at the end of the file, -1 on an I/O error.
    long read(void *data, size_t count) override;

    // Like read(), at `offset`, leaving the read position alone.
    long readAt(int64_t offset, void *data, size_t count);

private:
    struct Window {
        std::unique_ptr<unsigned char[]> bytes;  // holds [start, start + length)
        int64_t start = 0;
        size_t length = 0;
        size_t fillSize = 0;  // bytes the last fill asked for: small at first, growing on
        uint64_t lastUse = 0;
    };
    static constexpr int kWindows = 4;  // start, first frame, end, and one for TagLib's jumps

    FileReader(int descriptor, int64_t size);
    Window *windowHolding(int64_t offset);
    long fill(int64_t offset, bool *reachedEnd);

    int fd;
    int64_t fileSize;
    int64_t position = 0;
    Window windows[kWindows];
    uint64_t uses = 0;
};

}  // namespace zuna
