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

QString DescriptorDestination::writeWhole(const QByteArray& bytes, std::chrono::milliseconds timeout)
{
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

QString DescriptorDestination::readSome(QByteArray* into, qsizetype atMost, bool* closed)
{
    char buffer[512];
    while (atMost > 0) {
        const long got = ::read(fd_, buffer, size_t(std::min<qsizetype>(atMost, qsizetype(sizeof buffer))));
        if (got > 0) {
            into->append(buffer, got);
            atMost -= got;
            continue;
        }
        if (got == 0) {
            *closed = readEndsAtZero();
            return {};
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {};
        return qt_error_string(errno);
    }
    return {};
}

void DescriptorDestination::waitForInput(int atMostMs)
{
    // A device that reports itself readable with nothing to read (a hung-up line) must not spin.
    const short seen = waitFor(POLLIN, atMostMs);
    if ((seen & (POLLHUP | POLLERR)) && !(seen & POLLIN))
        ::poll(nullptr, 0, atMostMs);
}

void DescriptorDestination::doDiscardInput()
{
    if (fd_ < 0)
        return;
    // A few reads, so that a printer that talks without end cannot hold the caller.
    char sink[512];
    for (int reads = 0; reads < 16; ++reads) {
        if (::read(fd_, sink, sizeof sink) <= 0)
            break;
    }
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

QString DeviceDestination::whyNoAnswer() const
{
    if (writeOnly_)
        return QStringLiteral("the device could be opened for writing only, so its answers cannot be read");
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path_).constData(), &info) != 0)
        return {}; // opening says what is wrong with it
    if (S_ISCHR(info.st_mode) && path_.startsWith(QLatin1String("/dev/usb/lp")))
        return {};
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("a pipe carries no answer from a printer");
    if (S_ISREG(info.st_mode))
        return QStringLiteral("a file cannot report a printer's status");
    return Destination::whyNoAnswer();
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
    // Never O_CREAT: a device or file that is not there is a failure, not a new file. A printer that answers
    // is opened for reading too, so that it is asked on the link its jobs go out on.
    const int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_TRUNC;
    fd_ = -1;
    writeOnly_ = false;
    const bool answers = characterDevice && whyNoAnswer().isEmpty();
    if (answers)
        fd_ = ::open(native.constData(), O_RDWR | flags);
    if (fd_ < 0) {
        fd_ = ::open(native.constData(), O_WRONLY | flags);
        writeOnly_ = answers && fd_ >= 0;
    }
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
    return writeWhole(job, timeouts().transfer(job.size()));
}

QString DeviceDestination::writeFailure(int error, qint64 done, qint64 total) const
{
    if (error == EPIPE)
        return QStringLiteral("the reader of the pipe went away after %1 of %2 bytes").arg(done).arg(total);
    return DescriptorDestination::writeFailure(error, done, total);
}
