#pragma once

#include "output/device_destination.h"

#include <sys/socket.h>

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

// Raw TCP to a network printer: the host is looked up and connected to within the connect time-out, the
// job written whole, and it counts as gone once the printer has acknowledged every byte (the socket's
// queue of unacknowledged bytes is empty) within the transfer time-out. abandon() resets the connection,
// so that nothing the printer had not acknowledged reaches it later.
class SocketDestination final : public DescriptorDestination
{
public:
    SocketDestination(const SocketAddress& address, const QString& name)
        : DescriptorDestination(name), address_(address)
    {
    }

    ~SocketDestination() override;

    QString goneMeaning() const override { return QStringLiteral("the network printer has acknowledged every byte"); }
    QString leftBehind() const override { return leftBehind_; }

protected:
    QString doOpen() override;
    QString doSend(const QByteArray& job) override;
    QString doConfirm() override;
    QString doClose() override;
    void doAbandon() override;
    long writeSome(const char* data, qint64 size) override;
    QString writeFailure(int error, qint64 done, qint64 total) const override;

private:
    // Connects to one of the host's addresses before `deadline`; the reason when it could not.
    QString connectTo(const SocketAddress::Resolved& address, const class QDeadlineTimer& deadline);
    QString connectionFault(int error) const;

    // Closes the descriptor with a reset: what the printer has not acknowledged is dropped.
    void resetConnection();

    SocketAddress address_;
    qint64 sent_ = 0;
    bool jobUnderWay_ = false; // a job was handed over and not yet acknowledged whole
    QString leftBehind_;
};
