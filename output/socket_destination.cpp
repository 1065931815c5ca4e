#include "output/socket_destination.h"

#include "common/safe_text.h"
#include "output/operator_hints.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/sockios.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// The first look at the acknowledgements comes this long after the last, and each later one twice as long
// after, up to a slice of the window's event processing.
constexpr std::chrono::nanoseconds kFirstAckPause = std::chrono::microseconds(20);
constexpr std::chrono::nanoseconds kLastAckPause = std::chrono::milliseconds(10);

} // namespace

SocketDestination::~SocketDestination()
{
    // Dropped with a job under way: nothing of it that the printer has not acknowledged goes after all.
    if (fd_ >= 0 && jobUnderWay_)
        resetConnection();
}

QString SocketDestination::doOpen()
{
    ignoreBrokenPipes();
    sent_ = 0;
    jobUnderWay_ = false;
    leftBehind_.clear();
    const QDeadlineTimer deadline(timeouts().connect);
    std::vector<SocketAddress::Resolved> candidates;
    bool lookupStopped = false;
    const QString notFound = lookUpHost(
        address_, deadline, timeouts().connect,
        [this] {
            pump();
            return !stopRequested();
        },
        &candidates, &lookupStopped);
    if (lookupStopped)
        return stoppedReason();
    if (!notFound.isEmpty())
        return notFound;
    QString why;
    for (const SocketAddress::Resolved& candidate : candidates) {
        why = connectTo(candidate, deadline);
        if (why.isEmpty() || stopped() || deadline.hasExpired())
            break;
    }
    return why;
}

QString SocketDestination::connectTo(const SocketAddress::Resolved& address, const QDeadlineTimer& deadline)
{
    const sockaddr_storage& storage = address.address;
    const socklen_t length = address.length;
    if (fd_ >= 0)
        closeDescriptor();
    fd_ = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return qt_error_string(errno);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&storage), length) == 0)
        return {};
    if (errno != EINPROGRESS)
        return connectionFault(errno);
    for (;;) {
        if (waitFor(POLLOUT, sliceMs(deadline)) != 0) {
            int error = 0;
            socklen_t size = sizeof(error);
            ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size);
            return error == 0 ? QString() : connectionFault(error);
        }
        if (stopRequested())
            return stoppedReason();
        if (deadline.hasExpired())
            return QStringLiteral("%1 did not answer within %2 s")
                       .arg(address_.shown())
                       .arg(secondsText(timeouts().connect)) +
                   operatorHint(OperatorHint::PrinterOnNetwork);
        pump();
    }
}

QString SocketDestination::connectionFault(int error) const
{
    switch (error) {
    case ECONNREFUSED:
        return QStringLiteral("%1 refused the connection").arg(address_.shown()) +
               operatorHint(OperatorHint::RawPrinterPort);
    case ETIMEDOUT:
        return QStringLiteral("%1 did not answer").arg(address_.shown()) + operatorHint(OperatorHint::PrinterOnNetwork);
    default:
        return QStringLiteral("cannot connect to %1: %2").arg(address_.shown(), qt_error_string(error));
    }
}

long SocketDestination::writeSome(const char* data, qint64 size)
{
    return ::send(fd_, data, size_t(size), MSG_NOSIGNAL);
}

QString SocketDestination::writeFailure(int error, qint64 done, qint64 total) const
{
    if (error == EPIPE || error == ECONNRESET)
        return QStringLiteral("%1 closed the connection after %2 of %3 bytes")
            .arg(address_.shown())
            .arg(done)
            .arg(total);
    return DescriptorDestination::writeFailure(error, done, total);
}

QString SocketDestination::doSend(const QByteArray& job)
{
    jobUnderWay_ = true;
    const QString why = writeWhole(job, timeouts().transfer(job.size()));
    if (why.isEmpty())
        sent_ += job.size();
    return why;
}

QString SocketDestination::doConfirm()
{
    const std::chrono::milliseconds timeout = timeouts().transfer(sent_);
    const QDeadlineTimer deadline(timeout);
    std::chrono::nanoseconds pause = kFirstAckPause;
    bool theirSideClosed = false; // then the socket stays readable: the pause is slept, not polled
    for (;;) {
        int unacknowledged = 0;
        if (::ioctl(fd_, SIOCOUTQ, &unacknowledged) != 0)
            return QStringLiteral("cannot watch the connection: %1").arg(qt_error_string(errno));
        int error = 0;
        socklen_t size = sizeof(error);
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0)
            return QStringLiteral("%1 closed the connection before it had acknowledged the job: %2")
                .arg(address_.shown(), qt_error_string(error));
        if (unacknowledged == 0) {
            sent_ = 0;
            jobUnderWay_ = false;
            return {};
        }
        if (stopRequested())
            return stoppedReason();
        if (deadline.hasExpired())
            return QStringLiteral("%1 bytes were not acknowledged within %2 s")
                       .arg(unacknowledged)
                       .arg(secondsText(timeout)) +
                   operatorHint(OperatorHint::PrinterOnline);
        pump();
        // What the printer says is read and dropped, so that it never waits for us to listen; a few reads a
        // pause, so that a printer that talks without end cannot hold the wait.
        char sink[512];
        for (int reads = 0; reads < 16 && !theirSideClosed; ++reads) {
            const ssize_t got = ::recv(fd_, sink, sizeof sink, MSG_DONTWAIT);
            theirSideClosed = got == 0;
            if (got <= 0)
                break;
        }
        // Woken early by anything the printer says, until it has closed its side.
        const auto left = std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0));
        const std::chrono::nanoseconds wait = std::min<std::chrono::nanoseconds>(pause, left);
        const timespec span{time_t(wait.count() / 1000000000), long(wait.count() % 1000000000)};
        pollfd entry{fd_, POLLIN | POLLRDHUP, 0};
        ::ppoll(theirSideClosed ? nullptr : &entry, theirSideClosed ? 0 : 1, &span, nullptr);
        pause = std::min<std::chrono::nanoseconds>(pause * 2, kLastAckPause);
    }
}

void SocketDestination::resetConnection()
{
    const linger reset{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    closeDescriptor();
}

void SocketDestination::doAbandon()
{
    if (fd_ < 0)
        return;
    // A connection closed in order would still deliver what the printer has not acknowledged, after the
    // run was reported as failed or stopped; a reset drops it. Only what the printer had already received
    // of the job under way may have printed.
    if (jobUnderWay_)
        leftBehind_ = QStringLiteral("the job being sent may have printed in part (the connection was reset, so "
                                     "nothing more of it prints)");
    resetConnection();
    jobUnderWay_ = false;
}

QString SocketDestination::doClose()
{
    if (fd_ >= 0)
        ::shutdown(fd_, SHUT_WR);
    return closeDescriptor();
}
