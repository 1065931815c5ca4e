#include "output/qserialport_line.h"

#include "common/safe_text.h"
#include "output/destination.h"
#include "output/operator_hints.h"
#include "output/port_devices.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace {

// What an operator can do about the commonest reasons a port does not open.
QString openFailure(const QSerialPort& port)
{
    const QString reason = port.errorString();
    if (reason == qt_error_string(EACCES))
        return reason + operatorHint(OperatorHint::DialoutGroup);
    if (reason == qt_error_string(EBUSY))
        return reason + operatorHint(OperatorHint::PortInUse);
    // QSerialPort takes a lock file for the port, and only another program holding it can make that fail.
    if (port.error() == QSerialPort::PermissionError && reason.contains(QLatin1String("lock")))
        return QStringLiteral("another program is using the port (%1)").arg(reason);
    return reason;
}

// Only a terminal device takes line settings; anything else fails as "Inappropriate ioctl for device" once
// they are set, which tells the operator nothing about a mapping that names a file.
QString notASerialPort(const QString& path)
{
    return QStringLiteral("%1 is not a serial port (a serial port is a terminal device such as %2)")
        .arg(visibleForMessage(path), QLatin1String(kCom1Device));
}

bool existsButIsNoTerminal(const QString& path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && !isTerminalDevice(path);
}

// Whether the other end of the line has gone: a pseudo-terminal whose master was closed, a modem line whose
// carrier dropped.
bool hungUp(int fd)
{
    pollfd entry{fd, POLLOUT, 0};
    return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLHUP) != 0;
}

} // namespace

// What is kept of the printer's words between reads.
constexpr qsizetype kInputKept = 4096;

QSerialPortLine::QSerialPortLine()
{
    QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] { takeInput(); });
}

void QSerialPortLine::takeInput()
{
    input_ += port_.readAll();
    if (input_.size() > kInputKept)
        input_.remove(0, input_.size() - kInputKept);
}

bool QSerialPortLine::read(QByteArray* into, qsizetype atMost)
{
    if (!portHealthy())
        return false;
    takeInput();
    const qsizetype taken = std::min(atMost, input_.size());
    into->append(input_.left(taken));
    input_.remove(0, taken);
    return true;
}

void QSerialPortLine::waitForInput(std::chrono::milliseconds atMost)
{
    if (!input_.isEmpty())
        return;
    // A line that hung up reports itself readable at once; it is not looked at more often than a slice.
    if (port_.isOpen() && hungUp(port_.handle())) {
        QThread::msleep(static_cast<unsigned long>(atMost.count()));
        return;
    }
    port_.waitForReadyRead(int(atMost.count()));
}

void QSerialPortLine::discardInput()
{
    if (port_.isOpen()) {
        port_.clear(QSerialPort::Input);
        port_.readAll();
    }
    input_.clear();
}

bool QSerialPortLine::open(const QString& path, const LineSettings& settings)
{
    path_ = path;
    error_.clear();
    port_.setPortName(path);
    port_.setBaudRate(settings.baudRate);
    port_.setDataBits(settings.dataBits);
    port_.setParity(settings.parity);
    port_.setStopBits(settings.stopBits);
    port_.setFlowControl(settings.flowControl);
    // Told before opening, so that a file or a FIFO named by mistake is not opened at all.
    if (existsButIsNoTerminal(path)) {
        error_ = notASerialPort(path);
        return false;
    }
    if (!port_.open(QIODevice::ReadWrite)) {
        error_ = port_.errorString() == qt_error_string(ENOTTY) ? notASerialPort(path) : openFailure(port_);
        port_.clearError();
        return false;
    }
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(true);
    port_.clearError();
    return true;
}

void QSerialPortLine::close()
{
    input_.clear();
    port_.close();
    port_.clearError();
}

bool QSerialPortLine::write(const QByteArray& bytes)
{
    if (!portHealthy())
        return false;
    if (port_.write(bytes) != bytes.size()) {
        error_ = port_.errorString();
        return false;
    }
    return true;
}

bool QSerialPortLine::flush()
{
    // QSerialPort::flush() would block in tcdrain and takes a full device for an error; a zero wait
    // writes only when the device has room.
    if (port_.bytesToWrite() > 0)
        port_.waitForBytesWritten(0);
    return portHealthy();
}

qint64 QSerialPortLine::pendingBytes()
{
    if (!portHealthy())
        return -1;
    const int fd = port_.handle();
    int inDriver = 0;
    if (::ioctl(fd, TIOCOUTQ, &inDriver) == -1) {
        error_ = QStringLiteral("cannot watch the output of the port: %1").arg(qt_error_string(errno));
        return -1;
    }
    // The driver's queue empties before the transmitter's own buffer has gone out on the wire; closing
    // then would restore the old line settings under the last bytes. UARTs tell when they are empty;
    // other devices refuse the question and count as empty.
    int lineStatus = 0;
    const bool transmitting = ::ioctl(fd, TIOCSERGETLSR, &lineStatus) == 0 && (lineStatus & TIOCSER_TEMT) == 0;
    return port_.bytesToWrite() + inDriver + (transmitting ? 1 : 0);
}

void QSerialPortLine::waitForOutput(std::chrono::milliseconds atMost)
{
    if (port_.bytesToWrite() > 0) {
        // Returns as soon as the device has taken another part of the queue.
        port_.waitForBytesWritten(int(atMost.count()));
        return;
    }
    // The driver gives no signal when its queue has gone out; look again after a short while.
    QThread::msleep(static_cast<unsigned long>(atMost.count()));
}

bool QSerialPortLine::portHealthy()
{
    if (port_.isOpen() && hungUp(port_.handle())) {
        error_ = QStringLiteral("the other end of the line hung up");
        return false;
    }
    switch (port_.error()) {
    case QSerialPort::NoError:
        return true;
    case QSerialPort::TimeoutError: // a wait that ended before the device took anything
        port_.clearError();
        return true;
    default:
        error_ = port_.errorString();
        return false;
    }
}
