#pragma once

#include "output/device_destination.h"
#include "output/socket_address.h"

// Raw TCP to a network printer: the host is looked up and connected to within the connect time-out, the
// job written whole, and it counts as gone once the printer has acknowledged every byte (the socket's
// queue of unacknowledged bytes is empty) within the transfer time-out. The kernel tells no event when that
// queue empties, so the wait looks again after a pause that starts at a few microseconds and grows to a
// slice: a printer that acknowledges at once is sent the next job at once. abandon() resets the connection,
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
    QString whyNoAnswer() const override { return {}; }

protected:
    QString doOpen() override;
    QString doSend(const QByteArray& job) override;
    QString doConfirm() override;
    QString doClose() override;
    void doAbandon() override;
    long writeSome(const char* data, qint64 size) override;
    QString writeFailure(int error, qint64 done, qint64 total) const override;
    bool readEndsAtZero() const override { return true; }

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
