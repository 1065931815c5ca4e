#pragma once

#include "output/serial_line.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

// A serial port numbered as the operator knows it (COM1), at 9600 baud, no parity, 8 data bits, 1 stop bit and
// no flow control, and nothing changes that later. Port 1 is the device that serialDevicePath(1) names at the
// moment of opening.
//
// write() only queues bytes; they reach the device while events are processed or while drain() waits.
// Closing drops what has not reached the device, so a sender drains before it closes.
class SerialPort
{
public:
    SerialPort();
    // With another line in place of the system's driver (tests).
    explicit SerialPort(std::unique_ptr<SerialLine> line);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    qint16 portNumber() const { return portNumber_; }
    // Takes effect at the next open.
    void setPortNumber(qint16 port) { portNumber_ = port; }

    // A device to open in place of the one the port number is mapped to (a terminal named on a command
    // line); empty goes back to the mapping. Takes effect at the next open.
    void setDevicePath(const QString& path) { devicePath_ = path; }

    bool isOpen() const { return open_; }
    // Opens the port numbered by portNumber(); fails if it cannot, or is open already.
    bool open();
    // Closes at once, dropping whatever has not been sent yet; cannot fail.
    void close();

    // Hands `text` to the open port for transmission, all of it or nothing; an empty text is handed on too.
    bool write(const QByteArray& text);

    // Waits until everything handed to the port has gone out of it, calling `keepWaiting` (the window's event
    // processing) between short waits. False on a write error, when `timeout` passes first, or when
    // `keepWaiting` returns false (errorString() is then "stopped before the job had gone").
    bool drain(std::chrono::milliseconds timeout, const std::function<bool()>& keepWaiting);

    // How long a drain of `bytes` may take at this port's line speed: twice their time on the wire plus a
    // second for the device to get going.
    std::chrono::milliseconds drainTimeout(qint64 bytes) const;

    // Appends at most `atMost` bytes the printer sent back, without waiting; false on a read error.
    bool read(QByteArray* into, qsizetype atMost);
    // Waits at most `atMost` for something to read.
    void waitForInput(std::chrono::milliseconds atMost);
    // Drops what the printer said and nobody read.
    void discardInput();

    const LineSettings& lineSettings() const { return settings_; }
    // Why the last failed operation failed, in words an operator can act on.
    QString errorString() const { return error_; }

private:
    bool fail(const QString& why);

    std::unique_ptr<SerialLine> line_;
    LineSettings settings_;
    qint16 portNumber_ = 1;
    bool open_ = false;
    QString devicePath_;
    QString error_;
};
