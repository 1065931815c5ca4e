#pragma once

#include "output/destination.h"

class QDeadlineTimer;

// A destination written through a non-blocking descriptor: a write that the device cannot take yet is
// retried when it becomes ready, the caller's events processed in between, until the transfer time-out.
class DescriptorDestination : public Destination
{
public:
    using Destination::Destination;
    ~DescriptorDestination() override;

protected:
    // Writes all of `bytes` within `timeout`; empty when done, otherwise why not, with how many bytes were
    // taken.
    QString writeWhole(const QByteArray& bytes, std::chrono::milliseconds timeout);
    QString doWrite(const QByteArray& bytes, std::chrono::milliseconds timeout) override
    {
        return writeWhole(bytes, timeout);
    }
    QString readSome(QByteArray* into, qsizetype atMost, bool* closed) override;
    void waitForInput(int atMostMs) override;
    void doDiscardInput() override;
    // One slice of a wait: short enough that the window stays lively, never past `deadline`.
    static int sliceMs(const QDeadlineTimer& deadline);
    // Waits one slice, at most `atMost` ms, for `events` on the descriptor; returns the events seen.
    short waitFor(short events, int atMost);
    // Closes the descriptor; the reason when closing failed.
    QString closeDescriptor();

    // One write of at most `size` bytes: what write(2) returns, errno set on failure.
    virtual long writeSome(const char* data, qint64 size);
    // Why a write failed with `error` after `done` of `total` bytes.
    virtual QString writeFailure(int error, qint64 done, qint64 total) const;
    // Whether a read of nothing means the other end has gone (a connection), not only that nothing is there.
    virtual bool readEndsAtZero() const { return false; }

    int fd_ = -1;
};

// A device or a file that must exist already: a parallel or USB printer, a pipe, a file standing in for
// one. Opened without blocking (a pipe that nobody reads fails at once); a file is overwritten.
class DeviceDestination final : public DescriptorDestination
{
public:
    DeviceDestination(const QString& path, const QString& name) : DescriptorDestination(name), path_(path) {}

    QString goneMeaning() const override;
    // A USB printer (/dev/usb/lp*) answers on its device; a file, a pipe or a parallel port carries nothing
    // back.
    QString whyNoAnswer() const override;

protected:
    QString doOpen() override;
    QString doSend(const QByteArray& job) override;
    QString doConfirm() override { return {}; }
    QString doClose() override { return closeDescriptor(); }
    QString writeFailure(int error, qint64 done, qint64 total) const override;

private:
    QString path_;
    bool pipe_ = false;
    bool writeOnly_ = false; // a device that answers, opened without reading: its answers cannot be read
};
