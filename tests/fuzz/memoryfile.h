#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A byte buffer as a file that the audio layer opens by path like any other: an anonymous
// in-memory file, reachable as /proc/self/fd/N while this object lives. No disk, no clean-up.
class MemoryFile {
public:
    MemoryFile(const uint8_t *data, size_t size);
    ~MemoryFile();
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;

    bool isOpen() const { return fd >= 0; }
    const std::string &path() const { return name; }

private:
    int fd = -1;
    std::string name;
};
