#include "output/socket_destination.h"

#include "output/operator_hints.h"
#include "output/safe_text.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <linux/sockios.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

QString SocketAddress::hostShown() const
{
    return visibleForMessage(host, kShownValueLength);
}

QString SocketAddress::shown() const
{
    const QString hostText = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(hostShown()) : hostShown();
    return QStringLiteral("%1:%2").arg(hostText).arg(port);
}

SocketDestination::~SocketDestination()
{
    // Dropped with a job under way: nothing of it that the printer has not acknowledged goes after all.
    if (fd_ >= 0 && jobUnderWay_)
        resetConnection();
}

QString parseSocketAddress(const QString& address, SocketAddress* result)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().compare(QLatin1String("socket"), Qt::CaseInsensitive) != 0 ||
        url.host().isEmpty())
        return QStringLiteral("a network printer is written socket://HOST or socket://HOST:PORT");
    if (!url.userInfo().isEmpty() || !(url.path().isEmpty() || url.path() == QLatin1String("/")) || url.hasQuery() ||
        url.hasFragment())
        return QStringLiteral("a network printer is written socket://HOST or socket://HOST:PORT, with nothing after "
                              "the port");
    const int port = url.port(9100);
    if (port < 1 || port > 65535)
        return QStringLiteral("the port of a network printer is a number from 1 to 65535");
    result->host = url.host();
    result->port = quint16(port);
    return {};
}

namespace {

// A host name looked up with getaddrinfo on a thread of its own, so that a slow name server never holds the
// caller: the caller waits in slices and may give up, and the thread then ends on its own, holding nothing of
// the caller's.
struct Lookup
{
    std::atomic<bool> done{false};
    int status = 0;
    std::vector<SocketAddress::Resolved> addresses;
};

std::vector<SocketAddress::Resolved> addressesOf(const addrinfo* list)
{
    std::vector<SocketAddress::Resolved> result;
    for (const addrinfo* each = list; each; each = each->ai_next) {
        if (each->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        SocketAddress::Resolved resolved{};
        std::memcpy(&resolved.address, each->ai_addr, each->ai_addrlen);
        resolved.length = each->ai_addrlen;
        result.push_back(resolved);
    }
    return result;
}

addrinfo hintsFor(int flags)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    return hints;
}

} // namespace

QString SocketDestination::doOpen()
{
    ignoreBrokenPipes();
    sent_ = 0;
    jobUnderWay_ = false;
    leftBehind_.clear();
    const QDeadlineTimer deadline(timeouts().connect);
    const QByteArray host = address_.host.toUtf8();
    const QByteArray port = QByteArray::number(address_.port);
    std::vector<SocketAddress::Resolved> candidates;
    const addrinfo numericHints = hintsFor(AI_NUMERICHOST | AI_NUMERICSERV);
    addrinfo* numeric = nullptr;
    if (::getaddrinfo(host.constData(), port.constData(), &numericHints, &numeric) == 0) {
        candidates = addressesOf(numeric);
        ::freeaddrinfo(numeric);
    } else {
        auto lookup = std::make_shared<Lookup>();
        std::thread([lookup, host, port] {
            const addrinfo hints = hintsFor(AI_NUMERICSERV | AI_ADDRCONFIG);
            addrinfo* found = nullptr;
            lookup->status = ::getaddrinfo(host.constData(), port.constData(), &hints, &found);
            if (lookup->status == 0) {
                lookup->addresses = addressesOf(found);
                ::freeaddrinfo(found);
            }
            lookup->done.store(true, std::memory_order_release);
        }).detach();
        while (!lookup->done.load(std::memory_order_acquire)) {
            if (stopRequested())
                return stoppedReason();
            if (deadline.hasExpired())
                return QStringLiteral("looking up %1 took longer than %2 s")
                    .arg(address_.hostShown())
                    .arg(secondsText(timeouts().connect));
            pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (lookup->status != 0 || lookup->addresses.empty()) {
            const QString why = lookup->status == EAI_SYSTEM ? qt_error_string(errno)
                                                             : QString::fromLocal8Bit(::gai_strerror(lookup->status));
            return QStringLiteral("host %1 not found (%2)").arg(address_.hostShown(), safeMessageLine(why, 200));
        }
        candidates = lookup->addresses;
    }
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
    const QString why = writeWhole(job);
    if (why.isEmpty())
        sent_ += job.size();
    return why;
}

QString SocketDestination::doConfirm()
{
    const std::chrono::milliseconds timeout = timeouts().transfer(sent_);
    const QDeadlineTimer deadline(timeout);
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
        // slice, so that a printer that talks without end cannot hold the wait.
        char sink[512];
        for (int reads = 0; reads < 16 && ::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) > 0; ++reads) {
        }
        waitFor(0, sliceMs(deadline));
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
