#include "printing/print_press.h"

#include "common/safe_text.h"
#include "output/port_devices.h"
#include "output/send_loop.h"
#include "output/serial_destination.h"
#include "printing/mscomm.h"

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
    bool stopped = false;
    const QString cause = press(host, &stopped);
    if (!cause.isEmpty() && !stopped)
        host.reportFailure(cause);
    else if (cause.isEmpty())
        host.jobGone();
}

QString PrintPress::press(PrintHost& host, bool* stopped)
{
    MSComm& serial = host.serialControl();
    if (serial.PortOpen())
        serial.setPortOpen(false);

    const ComposedJob job = host.composeJob();
    if (!job.ok())
        return QStringLiteral("composing the job: %1").arg(job.cause());

    if (serial.PortOpen())
        return QStringLiteral("the serial port is still open, so nothing was sent");

    const QString portName = host.portName();
    const std::optional<PrinterPort> port = printerPortNamed(portName);
    if (!port)
        return QStringLiteral("no printer port is chosen (the port is %1)").arg(quotedForMessage(portName));
    QString why;
    const std::unique_ptr<Destination> destination = printerPortDestination(*port, &serial.port(), &why);
    if (!destination)
        return QStringLiteral("opening %1: %2").arg(printerPortDevice(*port), why);

    destination->setWaitControl({[&host] { host.processEvents(); }, [&host] { return host.closeRequested(); }});
    destination->setTimeouts(host.timeouts());
    // One job; the pause comes between handing it over and waiting for it to go. After a failure the window's
    // COM1 control stays open, for the next press to close.
    SendLoop loop(*destination, 1);
    loop.afterSend = [&host] { pause(host); };
    if (loop.open() && loop.run(OutgoingJob{job.bytes, 0, QString()}, {}) == SendLoop::Outcome::Done)
        return {};
    // What a failed open left half done (a connection under way, a print job begun) is released too.
    if (!loop.opened())
        destination->abandon();
    *stopped = destination->stopped();
    const QString left = destination->leftBehind();
    return left.isEmpty() ? loop.cause() : QStringLiteral("%1; %2").arg(loop.cause(), left);
}

void PrintPress::pause(PrintHost& host)
{
    for (qint32 counter = 0; counter < kPausePasses; ++counter)
        host.processEvents();
}
