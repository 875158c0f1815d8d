#include "audio/decode/filereader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zuna {

namespace {
constexpr size_t kKiB = 1024;
constexpr size_t kBufferSize = 64 * kKiB;
constexpr size_t kFirstFill = 16 * kKiB;
constexpr size_t kTailFill = 4 * kKiB;

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

std::unique_ptr<FileReader> FileReader::twin() const
{
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    return copy < 0 ? nullptr : std::unique_ptr<FileReader>(new FileReader(copy, fileSize));
}

FileReader::FileReader(int descriptor, int64_t size) : fd(descriptor), fileSize(size) {}

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

FileReader::Window *FileReader::windowHolding(int64_t offset)
{
    for (Window &w : windows) {
        if (offset >= w.start && offset < w.start + int64_t(w.length)) {
            w.lastUse = ++uses;
            return &w;
        }
    }
    return nullptr;
}

long FileReader::fill(int64_t offset, bool *reachedEnd)
{
    // Reading on from a window's end is a sign of more to come: that window moves on and
    // reads more. A jump (to a tag at the end, back to the start) usually wants a few bytes
    // only, and takes the window used least recently.
    Window *target = nullptr;
    for (Window &w : windows) {
        if (w.length > 0 && offset == w.start + int64_t(w.length))
            target = &w;
    }
    const bool onward = target != nullptr;
    if (!onward) {
        target = &windows[0];
        for (Window &w : windows) {
            if (w.lastUse < target->lastUse)
                target = &w;
        }
    }
    Window &w = *target;
    if (!w.bytes)
        w.bytes.reset(new unsigned char[kBufferSize]);
    w.fillSize = onward ? std::min(w.fillSize * 2, kBufferSize) : kFirstFill;
    int64_t start = offset;
    size_t want = w.fillSize;
    if (offset < fileSize && fileSize - offset < int64_t(want)) {
        // The fill reaches the end: asking for no more than is there saves the call that
        // would find nothing more. A jump there looks for tags at the end (ID3v1, APE),
        // which are short and read backwards from it: the window takes the file's last
        // few kilobytes.
        if (!onward)
            start = std::max<int64_t>(0, std::min(offset, fileSize - int64_t(kTailFill)));
        want = size_t(fileSize - start);
    }
    const long got = preadFully(fd, w.bytes.get(), want, start);
    w.start = start;
    w.length = got > 0 ? size_t(got) : 0;
    w.lastUse = ++uses;
    // Past what was there at opening, or past a short read, there is nothing now.
    *reachedEnd = got >= 0 && (size_t(got) < want || start + got >= fileSize);
    return got;
}

long FileReader::readAt(int64_t offset, void *data, size_t count)
{
    auto *out = static_cast<unsigned char *>(data);
    size_t done = 0;
    bool reachedEnd = false;  // a fill found the end of the file: nothing lies past it
    while (done < count) {
        const int64_t at = offset + int64_t(done);
        if (const Window *w = windowHolding(at)) {
            const size_t skip = size_t(at - w->start);
            const size_t n = std::min(count - done, w->length - skip);
            std::memcpy(out + done, w->bytes.get() + skip, n);
            done += n;
            continue;
        }
        if (reachedEnd)
            break;
        if (count - done >= kBufferSize) {
            // Large reads bypass the windows instead of copying through them.
            const long got = preadFully(fd, out + done, count - done, at);
            if (got < 0)
                return done > 0 ? long(done) : -1;
            done += size_t(got);
            break;
        }
        const long got = fill(at, &reachedEnd);
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

}  // namespace zuna
