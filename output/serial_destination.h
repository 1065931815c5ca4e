#pragma once

#include "output/destination.h"

#include <memory>

class SerialPort;

// A serial port at 9600 8N1: opened, sent an empty text and then the jobs,
// each drained before it counts as gone (a UART has sent the last bit; a pseudo-terminal holds the job in
// the buffer of its other end), and closed.
class SerialDestination final : public Destination
{
public:
    // A terminal named by its path, with a control of its own that is closed when this goes.
    SerialDestination(const QString& path, const QString& name);
    // The window's COM1 port. After a failure the port is left open, for the next press to close.
    SerialDestination(SerialPort& control, const QString& name);
    ~SerialDestination() override;

    QString goneMeaning() const override;
    QString whyNoAnswer() const override { return {}; }
    bool carriesErrorReports() const override { return true; }

protected:
    QString doOpen() override;
    QString doSend(const QByteArray& job) override;
    QString doConfirm() override;
    QString doClose() override;
    void doAbandon() override;
    QString doWrite(const QByteArray& bytes, std::chrono::milliseconds timeout) override;
    QString readSome(QByteArray* into, qsizetype atMost, bool* closed) override;
    void waitForInput(int atMostMs) override;
    void doDiscardInput() override;

private:
    // Waits until what was handed to the port has gone, within `timeout`; the reason when not.
    QString drain(std::chrono::milliseconds timeout);

    std::unique_ptr<SerialPort> owned_;
    SerialPort& control_;
    qint64 pending_ = 0;
    bool emptyTextSent_ = false;
};
