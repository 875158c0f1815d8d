#include "memoryfile.h"

#include <sys/mman.h>
#include <unistd.h>

MemoryFile::MemoryFile(const uint8_t *data, size_t size)
{
    fd = ::memfd_create("zuna-fuzz", MFD_CLOEXEC);
    if (fd < 0)
        return;
    for (size_t done = 0; done < size;) {
        const ssize_t wrote = ::write(fd, data + done, size - done);
        if (wrote <= 0) {
            ::close(fd);
            fd = -1;
            return;
        }
        done += size_t(wrote);
    }
    name = "/proc/self/fd/" + std::to_string(fd);
}

MemoryFile::~MemoryFile()
{
    if (fd >= 0)
        ::close(fd);
}
