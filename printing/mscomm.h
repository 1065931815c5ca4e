#pragma once

#include "output/serial_port.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

// The serial-port control the main window owns as MSC_Com1, with its properties CommPort, PortOpen and Output
// as methods, over the output layer's serial port: the Print press closes a port a failed press left open
// (PortOpen) and sends through port(), which the serial destination drives. It is configured at creation
// for port 1 at 9600 baud, no parity, 8 data bits, 1 stop bit and no flow control, and nothing changes that
// later.
class MSComm : public QObject
{
    Q_OBJECT

public:
    explicit MSComm(QObject* parent = nullptr);
    // With another line in place of QSerialPort (tests).
    explicit MSComm(std::unique_ptr<SerialLine> line, QObject* parent = nullptr);
    ~MSComm() override;

    qint16 CommPort() const { return port_.portNumber(); }
    // Takes effect at the next open.
    void setCommPort(qint16 port) { port_.setPortNumber(port); }

    bool PortOpen() const { return port_.isOpen(); }
    // True opens the port numbered by CommPort and fails if it cannot (or is open already). False closes it
    // at once, dropping whatever has not been sent yet; closing cannot fail.
    bool setPortOpen(bool open);

    // Hands `text` to the open port for transmission, all of it or nothing; an empty text is handed on too.
    bool setOutput(const QByteArray& text) { return port_.write(text); }

    std::chrono::milliseconds drainTimeout(qint64 bytes) const { return port_.drainTimeout(bytes); }

    // Why the last failed operation failed, in words an operator can act on.
    QString errorString() const { return port_.errorString(); }

    // The port itself, for the output layer's serial destination.
    SerialPort& port() { return port_; }

private:
    SerialPort port_;
};
