#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/audioresult.h"

// A read-only regular file with a read-ahead buffer. Reads go through pread(), so the
// decoder and the tag reader never disturb each other's position, a frame-by-frame scan
// costs one system call per buffer rather than per frame, and a file that shrinks while it
// plays simply ends early (nothing is memory-mapped, so nothing can fault). The buffer fills
// small at first and after a jump, as opening a stream needs only its headers; fills grow
// while reading goes on in order.
class FileReader {
public:
    // Opens `path`, given in the platform's file-name encoding. Anything that is not a
    // regular file (directory, pipe, device) is refused before a byte is read, so the
    // call can never block or read forever.
    static AudioResult open(const std::string &path, std::unique_ptr<FileReader> *reader);

    ~FileReader();
    FileReader(const FileReader &) = delete;
    FileReader &operator=(const FileReader &) = delete;

    int64_t size() const { return fileSize; }
    int64_t tell() const { return position; }
    int descriptor() const { return fd; }

    // Moves the read position like lseek(); returns the new position, or -1 for a target
    // before the start (the position is then unchanged).
    int64_t seek(int64_t offset, int whence);

    // Reads up to `count` bytes at the read position and advances it. Returns the number
    // of bytes read, 0 at the end of the file, -1 on an I/O error.
    long read(void *data, size_t count);

    // Like read(), at `offset`, leaving the read position alone.
    long readAt(int64_t offset, void *data, size_t count);

private:
    FileReader(int descriptor, int64_t size);
    long fill(int64_t offset);

    int fd;
    int64_t fileSize;
    int64_t position = 0;
    std::unique_ptr<unsigned char[]> buffer;  // holds [bufferStart, bufferStart + bufferLength)
    int64_t bufferStart = 0;
    size_t bufferLength = 0;
    size_t fillSize = 0;  // bytes the last fill read: small at first, growing on reading on
};
