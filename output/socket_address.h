#pragma once

#include <QDeadlineTimer>
#include <QString>

#include <functional>
#include <sys/socket.h>
#include <vector>

// A network printer's raw port, from "socket://HOST[:PORT]".
struct SocketAddress
{
    QString host; // a name, an IPv4 address or an IPv6 address without its brackets
    quint16 port = 9100;

    // "printer.example:9100", "[::1]:9100"; a long host name cut as messages cut a value.
    QString shown() const;
    QString hostShown() const;

    // One address the host name stands for.
    struct Resolved
    {
        sockaddr_storage address;
        socklen_t length;
    };
};

// Reads "socket://HOST[:PORT]" (IPv6 in brackets: socket://[::1]:9100); empty when it could be read,
// otherwise what is wrong with it.
QString parseSocketAddress(const QString& address, SocketAddress* result);

// The addresses `address.host` stands for, before `deadline`. A numeric address is read at once; a name is
// looked up on a thread of its own, so that a slow name server never holds the caller, which waits on the
// lookup's own descriptor and calls `keepWaiting` (its event processing; false gives up) between short waits.
// Empty when found, otherwise why not; `*stopped` tells a lookup that `keepWaiting` gave up.
QString lookUpHost(const SocketAddress& address, const QDeadlineTimer& deadline, std::chrono::milliseconds timeout,
                   const std::function<bool()>& keepWaiting, std::vector<SocketAddress::Resolved>* found,
                   bool* stopped);
