#include "batch/standard_stream.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

constexpr qint64 kBufferBytes = 64 * 1024;

} // namespace

StandardStream::StandardStream(int fd, OpenMode mode) : fd_(fd)
{
    open(mode | QIODevice::Unbuffered);
}

StandardStream::~StandardStream()
{
    flush();
}

bool StandardStream::flush()
{
    if (pending_ == 0)
        return true;
    const bool written = writeOut(buffer_.get(), pending_);
    pending_ = 0;
    return written;
}

qint64 StandardStream::readData(char* data, qint64 maxSize)
{
    for (;;) {
        const ssize_t got = ::read(fd_, data, size_t(maxSize));
        if (got >= 0)
            return got;
        if (errno != EINTR) {
            setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
            return -1;
        }
    }
}

qint64 StandardStream::writeData(const char* data, qint64 size)
{
    if (pending_ + size > kBufferBytes && !flush())
        return -1;
    if (size >= kBufferBytes)
        return writeOut(data, size) ? size : -1;
    if (!buffer_)
        buffer_.reset(new char[kBufferBytes]); // left uninitialised: a page is touched only when written
    std::memcpy(buffer_.get() + pending_, data, size_t(size));
    pending_ += size;
    return size;
}

bool StandardStream::writeOut(const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd_, data + done, size_t(size - done));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        done += written;
    }
    return true;
}
