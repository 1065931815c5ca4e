#pragma once

#include "output/serial_line.h"

#include <QSerialPort>

// The real line, on QSerialPort. The port is opened for reading and writing; what the printer sends back is
// kept for read(), the oldest dropped beyond a few kilobytes, so that a printer that talks without end cannot
// fill memory nor upset the wait for output. DTR and RTS are
// raised after every open: with no flow control neither carries handshaking, and a printer that waits for
// DSR or CTS before it accepts data sees a host that is ready. A device without modem-control lines (a
// pseudo-terminal, some adapters) refuses that, which is not an error here.
class QSerialPortLine final : public SerialLine
{
public:
    QSerialPortLine();

    bool open(const QString& path, const LineSettings& settings) override;
    void close() override;
    bool write(const QByteArray& bytes) override;
    bool flush() override;
    qint64 pendingBytes() override;
    void waitForOutput(std::chrono::milliseconds atMost) override;
    QString errorString() const override { return error_; }
    bool read(QByteArray* into, qsizetype atMost) override;
    void waitForInput(std::chrono::milliseconds atMost) override;
    void discardInput() override;

private:
    // Records a failure that the port has signalled, if any; true when the port is still fine.
    bool portHealthy();

    // Takes what has come in from the port.
    void takeInput();

    QSerialPort port_;
    QByteArray input_;
    QString path_;
    QString error_;
};
