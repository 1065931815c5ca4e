#include "output/serial_port.h"

#include "output/destination.h"
#include "output/operator_hints.h"
#include "output/port_devices.h"
#include "output/serial_library.h"

#include <QDeadlineTimer>

#include <algorithm>

namespace {

// Long enough to keep the processor idle, short enough that the window stays lively while it drains.
constexpr std::chrono::milliseconds kDrainSlice{2};
constexpr std::chrono::milliseconds kDrainMargin{1000};

} // namespace

// The line to the system's driver is made at the first open, so that a program that never opens a serial port
// does not load the library that drives them.
SerialPort::SerialPort() = default;

SerialPort::SerialPort(std::unique_ptr<SerialLine> line) : line_(std::move(line)) {}

SerialPort::~SerialPort()
{
    close();
}

void SerialPort::close()
{
    if (open_) {
        line_->close();
        open_ = false;
    }
}

bool SerialPort::open()
{
    if (open_)
        return fail(QStringLiteral("the port is open already"));
    const QString device = devicePath_.isEmpty() ? serialDevicePath(portNumber_) : devicePath_;
    if (device.isEmpty())
        return fail(QStringLiteral("no device is mapped to COM%1 (only COM1 is)").arg(portNumber_));
    if (!line_) {
        QString why;
        line_ = createSerialLine(&why);
        if (!line_)
            return fail(why);
    }
    if (!line_->open(device, settings_))
        return fail(line_->errorString());
    open_ = true;
    return true;
}

bool SerialPort::write(const QByteArray& text)
{
    if (!open_)
        return fail(QStringLiteral("the port is not open"));
    if (!line_->write(text))
        return fail(line_->errorString());
    return true;
}

bool SerialPort::drain(std::chrono::milliseconds timeout, const std::function<bool()>& keepWaiting)
{
    if (!open_)
        return fail(QStringLiteral("the port is not open"));
    const QDeadlineTimer deadline(timeout);
    for (;;) {
        if (!line_->flush())
            return fail(line_->errorString());
        const qint64 pending = line_->pendingBytes();
        if (pending < 0)
            return fail(line_->errorString());
        if (pending == 0)
            return true;
        if (deadline.hasExpired()) {
            return fail(QStringLiteral("the port did not send the job within %1 s: %2 bytes were still waiting")
                            .arg(secondsText(timeout))
                            .arg(pending) +
                        operatorHint(OperatorHint::PrinterOnline));
        }
        if (keepWaiting && !keepWaiting())
            return fail(QStringLiteral("stopped before the job had gone"));
        const auto left = std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0));
        line_->waitForOutput(std::min(kDrainSlice, left));
    }
}

bool SerialPort::read(QByteArray* into, qsizetype atMost)
{
    if (!open_)
        return fail(QStringLiteral("the port is not open"));
    if (!line_->read(into, atMost))
        return fail(line_->errorString());
    return true;
}

void SerialPort::waitForInput(std::chrono::milliseconds atMost)
{
    if (open_)
        line_->waitForInput(atMost);
}

void SerialPort::discardInput()
{
    if (open_)
        line_->discardInput();
}

std::chrono::milliseconds SerialPort::drainTimeout(qint64 bytes) const
{
    const qint64 bits = std::max<qint64>(bytes, 0) * settings_.bitsPerByte();
    const qint64 onWireMs = (bits * 1000 + settings_.baudRate - 1) / settings_.baudRate;
    return std::chrono::milliseconds(2 * onWireMs) + kDrainMargin;
}

bool SerialPort::fail(const QString& why)
{
    error_ = why;
    return false;
}
