#include "audio/decode/filereader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
constexpr size_t kBufferSize = 64 * 1024;
constexpr size_t kFirstFill = 16 * 1024;

long preadFully(int fd, void *data, size_t count, int64_t offset)
{
    auto *out = static_cast<unsigned char *>(data);
    size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, out + done, count - done, offset + int64_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return done > 0 ? long(done) : -1;
        if (got == 0)
            break;
        done += size_t(got);
    }
    return long(done);
}
}  // namespace

AudioResult FileReader::open(const std::string &path, std::unique_ptr<FileReader> *reader)
{
    reader->reset();
    // O_NONBLOCK keeps open() itself from waiting on a FIFO with no writer; the type check
    // below then turns such paths away.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno == EISDIR ? AudioResult::NotAFile : AudioResult::CannotOpen;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return AudioResult::CannotOpen;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return AudioResult::NotAFile;
    }
    reader->reset(new FileReader(fd, int64_t(info.st_size)));
    return AudioResult::Ok;
}

FileReader::FileReader(int descriptor, int64_t size)
    : fd(descriptor), fileSize(size), buffer(new unsigned char[kBufferSize])
{
}

FileReader::~FileReader()
{
    ::close(fd);
}

int64_t FileReader::seek(int64_t offset, int whence)
{
    int64_t target = offset;
    if (whence == SEEK_CUR)
        target += position;
    else if (whence == SEEK_END)
        target += fileSize;
    if (target < 0)
        return -1;
    position = target;
    return position;
}

long FileReader::fill(int64_t offset)
{
    // Reading on from the buffer's end is a sign of more to come; a jump (to a tag at the
    // end, back to the start) usually wants a few bytes only.
    const bool onward = bufferLength > 0 && offset == bufferStart + int64_t(bufferLength);
    fillSize = onward ? std::min(fillSize * 2, kBufferSize) : kFirstFill;
    const long got = preadFully(fd, buffer.get(), fillSize, offset);
    bufferStart = offset;
    bufferLength = got > 0 ? size_t(got) : 0;
    return got;
}

long FileReader::readAt(int64_t offset, void *data, size_t count)
{
    auto *out = static_cast<unsigned char *>(data);
    size_t done = 0;
    while (done < count) {
        const int64_t at = offset + int64_t(done);
        if (at >= bufferStart && at < bufferStart + int64_t(bufferLength)) {
            const size_t skip = size_t(at - bufferStart);
            const size_t n = std::min(count - done, bufferLength - skip);
            std::memcpy(out + done, buffer.get() + skip, n);
            done += n;
            continue;
        }
        if (count - done >= kBufferSize) {
            // Large reads bypass the buffer instead of copying through it.
            const long got = preadFully(fd, out + done, count - done, at);
            if (got < 0)
                return done > 0 ? long(done) : -1;
            done += size_t(got);
            break;
        }
        const long got = fill(at);
        if (got < 0)
            return done > 0 ? long(done) : -1;
        if (got == 0)
            break;
    }
    return long(done);
}

long FileReader::read(void *data, size_t count)
{
    const long got = readAt(position, data, count);
    if (got > 0)
        position += got;
    return got;
}
