#include "output/serial_destination.h"

#include "printing/mscomm.h"

SerialDestination::SerialDestination(const QString& path, const QString& name)
    : Destination(name), owned_(std::make_unique<MSComm>()), control_(*owned_)
{
    control_.setDevicePath(path);
}

SerialDestination::SerialDestination(MSComm& control, const QString& name) : Destination(name), control_(control) {}

SerialDestination::~SerialDestination() = default;

QString SerialDestination::goneMeaning() const
{
    return QStringLiteral("the serial port has sent every byte (a pseudo-terminal: its other end holds them)");
}

QString SerialDestination::doOpen()
{
    ignoreBrokenPipes();
    pending_ = 0;
    control_.setCommPort(1);
    if (!control_.setPortOpen(true))
        return control_.errorString();
    emptyTextSent_ = false;
    return {};
}

QString SerialDestination::doSend(const QByteArray& job)
{
    // An empty text first after opening, as every send to the printer has always begun.
    if (!emptyTextSent_ && !control_.setOutput(QByteArray()))
        return control_.errorString();
    emptyTextSent_ = true;
    if (!control_.setOutput(job))
        return control_.errorString();
    pending_ += job.size();
    return {};
}

QString SerialDestination::doConfirm()
{
    const bool drained = control_.drain(control_.drainTimeout(pending_), [this] {
        pump();
        return !stopRequested();
    });
    if (!drained)
        return control_.errorString();
    pending_ = 0;
    return {};
}

QString SerialDestination::doClose()
{
    control_.setPortOpen(false);
    return {};
}

void SerialDestination::doAbandon()
{
    // The window's control stays open after a failure; its next press closes it before anything else.
    if (owned_)
        control_.setPortOpen(false);
}
