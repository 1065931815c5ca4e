#include "printing/print_press.h"

#include "output/port_devices.h"
#include "output/safe_text.h"
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

    std::unique_ptr<Destination> destination;
    const QString port = host.portName();
    if (port == QLatin1String("COM1")) {
        destination = com1Destination(&serial.port());
    } else if (port == QLatin1String("LPT")) {
        QString why;
        destination = lpt1Destination(&why);
        if (!destination)
            return QStringLiteral("opening LPT1: %1").arg(why);
    } else {
        return QStringLiteral("no printer port is chosen (the port is %1)").arg(quotedForMessage(port));
    }

    destination->setWaitControl({[&host] { host.processEvents(); }, [&host] { return host.closeRequested(); }});
    destination->setTimeouts(host.timeouts());
    const bool sent = destination->open() && destination->send(job.bytes);
    if (sent)
        pause(host);
    if (!sent || !destination->confirm() || !destination->close()) {
        *stopped = destination->stopped();
        const QString cause = destination->errorString();
        destination->abandon(); // the window's COM1 control stays open, for the next press to close
        return cause;
    }
    return {};
}

void PrintPress::pause(PrintHost& host)
{
    for (qint32 counter = 0; counter < kPausePasses; ++counter)
        host.processEvents();
}
