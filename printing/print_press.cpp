#include "printing/print_press.h"

#include "printing/mscomm.h"
#include "printing/parallel_device.h"
#include "printing/port_devices.h"

namespace {

class RunningFlag
{
public:
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& flag_;
};

} // namespace

void PrintPress::run(PrintHost& host)
{
    if (running_)
        return;
    const RunningFlag running(running_);
    const QString cause = press(host);
    if (!cause.isEmpty())
        host.reportFailure(cause);
}

QString PrintPress::press(PrintHost& host)
{
    MSComm& serial = host.serialControl();
    if (serial.PortOpen() && !serial.setPortOpen(false))
        return QStringLiteral("closing the serial port left open: %1").arg(serial.errorString());

    const ComposedJob job = host.composeJob();
    if (!job.ok())
        return QStringLiteral("composing the job: %1").arg(job.cause);

    if (serial.PortOpen())
        return QStringLiteral("the serial port is still open, so nothing was sent");

    const QString port = host.portName();
    if (port == QLatin1String("COM1"))
        return sendSerial(host, job.bytes);
    if (port == QLatin1String("LPT"))
        return sendParallel(host, job.bytes);
    return QStringLiteral("no printer port is chosen (the port is \"%1\")").arg(port);
}

QString PrintPress::sendSerial(PrintHost& host, const QByteArray& job)
{
    MSComm& serial = host.serialControl();
    serial.setCommPort(1);
    if (!serial.setPortOpen(true))
        return QStringLiteral("opening COM1: %1").arg(serial.errorString());
    if (!serial.setOutput(QByteArray()) || !serial.setOutput(job))
        return QStringLiteral("sending to COM1: %1").arg(serial.errorString());
    pause(host);
    if (!serial.drain(serial.drainTimeout(job.size()), [&host] { host.processEvents(); }))
        return QStringLiteral("sending to COM1: %1").arg(serial.errorString());
    // The error path is disarmed from here on.
    serial.setPortOpen(false);
    return {};
}

QString PrintPress::sendParallel(PrintHost& host, const QByteArray& job)
{
    ParallelDevice device;
    if (!device.open(parallelDevicePath()))
        return QStringLiteral("opening LPT1: %1").arg(device.errorString());
    if (!device.write(job))
        return QStringLiteral("printing to LPT1: %1").arg(device.errorString());
    pause(host);
    if (!device.close())
        return QStringLiteral("closing LPT1: %1").arg(device.errorString());
    return {};
}

void PrintPress::pause(PrintHost& host)
{
    for (qint32 counter = 0; counter < kPausePasses; ++counter)
        host.processEvents();
}
