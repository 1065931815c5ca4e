#include "output/device_destination.h"

#include "output/operator_hints.h"

#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Short enough that the window stays lively while a device makes it wait.
constexpr int kSliceMs = 10;

QString hintFor(int error, bool characterDevice)
{
    if (!characterDevice)
        return {};
    switch (error) {
    case EACCES:
        return operatorHint(OperatorHint::LpGroup);
    case EBUSY:
        return operatorHint(OperatorHint::PrinterInUse);
    case ENXIO:
    case ENODEV:
    case EIO:
        return operatorHint(OperatorHint::PrinterConnected);
    default:
        return {};
    }
}

} // namespace

DescriptorDestination::~DescriptorDestination()
{
    if (fd_ >= 0)
        ::close(fd_);
}

long DescriptorDestination::writeSome(const char* data, qint64 size)
{
    return ::write(fd_, data, size_t(size));
}

QString DescriptorDestination::writeFailure(int error, qint64 done, qint64 total) const
{
    return QStringLiteral("%1 after %2 of %3 bytes").arg(qt_error_string(error)).arg(done).arg(total);
}

QString DescriptorDestination::writeWhole(const QByteArray& bytes)
{
    const std::chrono::milliseconds timeout = timeouts().transfer(bytes.size());
    const QDeadlineTimer deadline(timeout);
    qint64 done = 0;
    while (done < bytes.size()) {
        const long written = writeSome(bytes.constData() + done, bytes.size() - done);
        if (written > 0) {
            done += written;
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return writeFailure(errno, done, bytes.size());
        if (stopRequested())
            return stoppedReason();
        if (deadline.hasExpired()) {
            return QStringLiteral("took %1 of %2 bytes in %3 s and no more")
                       .arg(done)
                       .arg(bytes.size())
                       .arg(secondsText(timeout)) +
                   operatorHint(OperatorHint::PrinterOnline);
        }
        pump();
        waitFor(POLLOUT, sliceMs(deadline));
    }
    return {};
}

int DescriptorDestination::sliceMs(const QDeadlineTimer& deadline)
{
    return int(std::clamp<qint64>(deadline.remainingTime(), 0, kSliceMs));
}

short DescriptorDestination::waitFor(short events, int atMost)
{
    pollfd entry{fd_, events, 0};
    if (::poll(&entry, 1, atMost) <= 0)
        return 0;
    return entry.revents;
}

QString DescriptorDestination::closeDescriptor()
{
    if (fd_ < 0)
        return {};
    const int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close reports an error; never retry it.
    if (::close(fd) != 0 && errno != EINTR)
        return qt_error_string(errno);
    return {};
}

QString DeviceDestination::goneMeaning() const
{
    return pipe_ ? QStringLiteral("the pipe has taken every byte") : QStringLiteral("the device has taken every byte");
}

QString DeviceDestination::doOpen()
{
    ignoreBrokenPipes();
    const QByteArray native = QFile::encodeName(path_);
    struct stat info
    {
    };
    const bool exists = ::stat(native.constData(), &info) == 0;
    const bool characterDevice = exists && S_ISCHR(info.st_mode);
    pipe_ = exists && S_ISFIFO(info.st_mode);
    if (exists && S_ISDIR(info.st_mode))
        return QStringLiteral("it is a folder, not a printer");
    // Never O_CREAT: a device or file that is not there is a failure, not a new file.
    fd_ = ::open(native.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_TRUNC);
    if (fd_ < 0) {
        const int error = errno;
        if (error == ENXIO && pipe_)
            return QStringLiteral("nothing is reading the pipe");
        return qt_error_string(error) + hintFor(error, characterDevice);
    }
    return {};
}

QString DeviceDestination::doSend(const QByteArray& job)
{
    return writeWhole(job);
}

QString DeviceDestination::writeFailure(int error, qint64 done, qint64 total) const
{
    if (error == EPIPE)
        return QStringLiteral("the reader of the pipe went away after %1 of %2 bytes").arg(done).arg(total);
    return DescriptorDestination::writeFailure(error, done, total);
}
