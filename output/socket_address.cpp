#include "output/socket_address.h"

#include "common/safe_text.h"

#include <QUrl>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <thread>
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

// Short enough that the window stays lively while a name server takes its time.
constexpr int kSliceMs = 10;

// A lookup shared by the caller and its thread: whoever lets go last closes the pipe, so that a caller that
// gave up leaves nothing open behind it.
struct Lookup
{
    Lookup()
    {
        if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0)
            pipe[0] = pipe[1] = -1;
    }
    ~Lookup()
    {
        for (int fd : pipe) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;

    int pipe[2];
    std::atomic<bool> done{false};
    int status = 0;
    int systemError = 0;
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

QString lookUpHost(const SocketAddress& address, const QDeadlineTimer& deadline, std::chrono::milliseconds timeout,
                   const std::function<bool()>& keepWaiting, std::vector<SocketAddress::Resolved>* found, bool* stopped)
{
    *stopped = false;
    const QByteArray host = address.host.toUtf8();
    const QByteArray port = QByteArray::number(address.port);
    const addrinfo numericHints = hintsFor(AI_NUMERICHOST | AI_NUMERICSERV);
    addrinfo* numeric = nullptr;
    if (::getaddrinfo(host.constData(), port.constData(), &numericHints, &numeric) == 0) {
        *found = addressesOf(numeric);
        ::freeaddrinfo(numeric);
        return {};
    }
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host, port] {
        const addrinfo hints = hintsFor(AI_NUMERICSERV | AI_ADDRCONFIG);
        addrinfo* list = nullptr;
        lookup->status = ::getaddrinfo(host.constData(), port.constData(), &hints, &list);
        lookup->systemError = errno;
        if (lookup->status == 0) {
            lookup->addresses = addressesOf(list);
            ::freeaddrinfo(list);
        }
        lookup->done.store(true, std::memory_order_release);
        if (lookup->pipe[1] >= 0)
            (void)!::write(lookup->pipe[1], "", 1);
    }).detach();
    // The stop is asked at least once, however fast the lookup: a stop requested while it ran is seen before
    // anything is connected to.
    for (;;) {
        if (keepWaiting && !keepWaiting()) {
            *stopped = true;
            return {};
        }
        if (lookup->done.load(std::memory_order_acquire))
            break;
        if (deadline.hasExpired())
            return QStringLiteral("looking up %1 took longer than %2 s")
                .arg(address.hostShown())
                .arg(secondsText(timeout));
        // Woken by the lookup's end; without a pipe, the slice is all there is.
        pollfd entry{lookup->pipe[0], POLLIN, 0};
        ::poll(&entry, lookup->pipe[0] >= 0 ? 1 : 0, int(std::clamp<qint64>(deadline.remainingTime(), 0, kSliceMs)));
    }
    if (lookup->status != 0 || lookup->addresses.empty()) {
        const QString why = lookup->status == EAI_SYSTEM ? qt_error_string(lookup->systemError)
                                                         : QString::fromLocal8Bit(::gai_strerror(lookup->status));
        return QStringLiteral("host %1 not found (%2)").arg(address.hostShown(), safeMessageLine(why, 200));
    }
    *found = lookup->addresses;
    return {};
}
