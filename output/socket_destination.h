#pragma once

#include "output/device_destination.h"

#include <sys/socket.h>

// A network printer's raw port, from "socket://HOST[:PORT]".
struct SocketAddress
{
    QString host; // a name, an IPv4 address or an IPv6 address without its brackets
    quint16 port = 9100;

    QString shown() const;

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

// Raw TCP to a network printer: the host is looked up and connected to within the connect time-out, the
// job written whole, and it counts as gone once the printer has acknowledged every byte (the socket's
// queue of unacknowledged bytes is empty) within the transfer time-out.
class SocketDestination final : public DescriptorDestination
{
public:
    SocketDestination(const SocketAddress& address, const QString& name)
        : DescriptorDestination(name), address_(address)
    {
    }

    QString goneMeaning() const override { return QStringLiteral("the network printer has acknowledged every byte"); }

protected:
    QString doOpen() override;
    QString doSend(const QByteArray& job) override;
    QString doConfirm() override;
    QString doClose() override;
    long writeSome(const char* data, qint64 size) override;
    QString writeFailure(int error, qint64 done, qint64 total) const override;

private:
    // Connects to one of the host's addresses before `deadline`; the reason when it could not.
    QString connectTo(const SocketAddress::Resolved& address, const class QDeadlineTimer& deadline);
    QString connectionFault(int error) const;

    SocketAddress address_;
    qint64 sent_ = 0;
};
