#pragma once

#include "output/serial_line.h"

#include <QSerialPort>

// The real line, on QSerialPort. The port is opened for reading and writing so that anything the printer
// sends back is read and dropped instead of being left to upset the wait for output. DTR and RTS are
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

private:
    // Records a failure that the port has signalled, if any; true when the port is still fine.
    bool portHealthy();

    QSerialPort port_;
    QString path_;
    QString error_;
};
