#include "batch/standard_stream.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr qint64 kBufferBytes = 64 * 1024;
// How long a write waits for the descriptor before it asks whether to stop: well within the second in which
// Ctrl-C must end a run whose reader has stalled.
constexpr int kWaitSliceMs = 100;
// What one write() hands over at most. A pipe that polls writable has room for this much, so the write cannot
// block on a reader that stalls right after the poll, out of reach of the stop check.
constexpr qint64 kWriteBytes = PIPE_BUF;

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

// Waits, in slices, until the descriptor takes bytes; false when the stop check gives the write up.
bool StandardStream::waitUntilWritable()
{
    for (;;) {
        pollfd watched{fd_, POLLOUT, 0};
        const int ready = ::poll(&watched, 1, stopCheck_ ? kWaitSliceMs : -1);
        if (ready > 0)
            return true; // writable, or an error or hang-up that the write itself reports
        if (ready < 0 && errno != EINTR)
            return true; // let the write say what is wrong
        if (stopCheck_ && stopCheck_()) {
            stopped_ = true;
            setErrorString(QStringLiteral("stopped while the reader of standard output took nothing"));
            return false;
        }
    }
}

bool StandardStream::writeOut(const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        if (!waitUntilWritable())
            return false;
        const ssize_t written = ::write(fd_, data + done, size_t(qMin(size - done, kWriteBytes)));
        if (written < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        done += written;
        taken_ += written;
    }
    return true;
}
