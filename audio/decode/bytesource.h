#pragma once

#include <cstddef>
#include <cstdint>

namespace zuna {

// The bytes of one file, as a decoder reads them: a position that read() advances, a seek
// like lseek(), and the size. The decoder module loaded at run time reads through this
// interface alone, so that it needs no symbol of the program that loads it.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Reads up to `count` bytes at the position and advances it. Returns the number of
    // bytes read, 0 at the end, -1 on an I/O error.
    virtual long read(void *data, size_t count) = 0;
    // Moves the position like lseek(); returns the new position, or -1 for a target before
    // the start (the position is then unchanged).
    virtual int64_t seek(int64_t offset, int whence) = 0;
    virtual int64_t size() const = 0;
};

}  // namespace zuna
