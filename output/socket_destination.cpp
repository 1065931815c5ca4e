#include "output/socket_destination.h"

#include "output/safe_text.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

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

QString SocketDestination::doOpen()
{
    ignoreBrokenPipes();
    sent_ = 0;
    jobUnderWay_ = false;
    leftBehind_.clear();
    const QDeadlineTimer deadline(timeouts().connect);
    QList<QHostAddress> candidates;
    QHostAddress numeric;
    if (numeric.setAddress(address_.host)) {
        candidates.append(numeric);
    } else {
        // Looked up on Qt's lookup thread; the answer comes as an event for `receiver` alone, so nothing else
        // of the caller's runs except through pump().
        QObject receiver;
        bool answered = false;
        QHostInfo answer;
        const int id = QHostInfo::lookupHost(address_.host, &receiver, [&](const QHostInfo& info) {
            answer = info;
            answered = true;
        });
        while (!answered) {
            QCoreApplication::sendPostedEvents(&receiver, QEvent::MetaCall);
            if (answered)
                break;
            if (stopRequested() || deadline.hasExpired()) {
                QHostInfo::abortHostLookup(id);
                return stopped() ? stoppedReason()
                                 : QStringLiteral("looking up %1 took longer than %2 s")
                                       .arg(address_.hostShown())
                                       .arg(secondsText(timeouts().connect));
            }
            pump();
            QThread::msleep(2);
        }
        if (answer.error() != QHostInfo::NoError || answer.addresses().isEmpty()) {
            // The resolver's text names the host too: shown as messages show it.
            QString detail = answer.errorString();
            detail.replace(address_.host, address_.hostShown(), Qt::CaseInsensitive);
            return QStringLiteral("host %1 not found (%2)").arg(address_.hostShown(), safeMessageLine(detail, 200));
        }
        candidates = answer.addresses();
    }
    QString why;
    for (const QHostAddress& candidate : std::as_const(candidates)) {
        why = connectTo(candidate, deadline);
        if (why.isEmpty() || stopped() || deadline.hasExpired())
            break;
    }
    return why;
}

QString SocketDestination::connectTo(const QHostAddress& address, const QDeadlineTimer& deadline)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(address_.port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::copy(std::begin(bytes.c), std::end(bytes.c), in6->sin6_addr.s6_addr);
        in6->sin6_scope_id = address.scopeId().toUInt();
        length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(address_.port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    }
    if (fd_ >= 0)
        closeDescriptor();
    fd_ = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return qt_error_string(errno);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&storage), length) == 0)
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
            return QStringLiteral("%1 did not answer within %2 s (is the printer switched on and on the network?)")
                .arg(address_.shown())
                .arg(secondsText(timeouts().connect));
        pump();
    }
}

QString SocketDestination::connectionFault(int error) const
{
    switch (error) {
    case ECONNREFUSED:
        return QStringLiteral("%1 refused the connection (is it a printer taking raw jobs on that port?)")
            .arg(address_.shown());
    case ETIMEDOUT:
        return QStringLiteral("%1 did not answer (is the printer switched on and on the network?)")
            .arg(address_.shown());
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
            return QStringLiteral("%1 bytes were not acknowledged within %2 s (is the printer switched on and online?)")
                .arg(unacknowledged)
                .arg(secondsText(timeout));
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
