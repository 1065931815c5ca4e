#include "output/serial_destination.h"

#include "output/serial_port.h"

SerialDestination::SerialDestination(const QString& path, const QString& name)
    : Destination(name), owned_(std::make_unique<SerialPort>()), control_(*owned_)
{
    control_.setDevicePath(path);
}

SerialDestination::SerialDestination(SerialPort& control, const QString& name) : Destination(name), control_(control) {}

SerialDestination::~SerialDestination() = default;

QString SerialDestination::goneMeaning() const
{
    return QStringLiteral("the serial port has sent every byte (a pseudo-terminal: its other end holds them)");
}

QString SerialDestination::doOpen()
{
    ignoreBrokenPipes();
    pending_ = 0;
    control_.setPortNumber(1);
    if (!control_.open())
        return control_.errorString();
    emptyTextSent_ = false;
    return {};
}

QString SerialDestination::doSend(const QByteArray& job)
{
    // An empty text first after opening, as every send to the printer has always begun.
    if (!emptyTextSent_ && !control_.write(QByteArray()))
        return control_.errorString();
    emptyTextSent_ = true;
    if (!control_.write(job))
        return control_.errorString();
    pending_ += job.size();
    return {};
}

QString SerialDestination::drain(std::chrono::milliseconds timeout)
{
    const bool drained = control_.drain(timeout, [this] {
        pump();
        return !stopRequested();
    });
    return drained ? QString() : control_.errorString();
}

QString SerialDestination::doConfirm()
{
    const QString why = drain(control_.drainTimeout(pending_));
    if (why.isEmpty())
        pending_ = 0;
    return why;
}

QString SerialDestination::doWrite(const QByteArray& bytes, std::chrono::milliseconds timeout)
{
    if (!control_.write(bytes))
        return control_.errorString();
    return drain(timeout);
}

QString SerialDestination::readSome(QByteArray* into, qsizetype atMost, bool*)
{
    return control_.read(into, atMost) ? QString() : control_.errorString();
}

void SerialDestination::waitForInput(int atMostMs)
{
    control_.waitForInput(std::chrono::milliseconds(atMostMs));
}

void SerialDestination::doDiscardInput()
{
    control_.discardInput();
}

QString SerialDestination::doClose()
{
    control_.close();
    return {};
}

void SerialDestination::doAbandon()
{
    // The window's control stays open after a failure; its next press closes it before anything else.
    if (owned_)
        control_.close();
}
