#pragma once

#include <QByteArray>
#include <QSerialPort>
#include <QString>

#include <chrono>

// Line settings of a serial port, applied when it opens.
struct LineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;

    // Start bit, data bits, parity bit and stop bits: what one byte costs on the wire.
    int bitsPerByte() const;

    friend bool operator==(const LineSettings& a, const LineSettings& b)
    {
        return a.baudRate == b.baudRate && a.dataBits == b.dataBits && a.parity == b.parity &&
               a.stopBits == b.stopBits && a.flowControl == b.flowControl;
    }
};

// The device end of the serial-port control: opens a device, queues bytes for it, tells how many are still
// on their way, and hands over what the printer sent back. MSComm drives it; tests put in a line whose output queue and
// failures they control.
class SerialLine
{
public:
    virtual ~SerialLine() = default;

    // Opens the device at `path` with `settings`. On failure errorString() says why.
    virtual bool open(const QString& path, const LineSettings& settings) = 0;
    // Closes the device at once; whatever has not been handed to it yet is dropped.
    virtual void close() = 0;
    // Queues all of `bytes` for the device, or fails.
    virtual bool write(const QByteArray& bytes) = 0;
    // Hands queued bytes to the device as far as it takes them now, without blocking; false on a write error.
    virtual bool flush() = 0;
    // Bytes written but not yet out of the port: queued here, in the driver, or in the transmitter. -1 if
    // that cannot be told.
    virtual qint64 pendingBytes() = 0;
    // Waits at most `atMost` for the output to move on, handing over queued bytes as the device takes them.
    virtual void waitForOutput(std::chrono::milliseconds atMost) = 0;
    virtual QString errorString() const = 0;

    // What the printer sent back: appends at most `atMost` bytes that have come in, without waiting; false on
    // a read error or a line that hung up.
    virtual bool read(QByteArray* into, qsizetype atMost)
    {
        (void)into;
        (void)atMost;
        return true;
    }
    // Waits at most `atMost` for something to read.
    virtual void waitForInput(std::chrono::milliseconds atMost) { (void)atMost; }
    // Drops what came in and was not read.
    virtual void discardInput() {}
};
