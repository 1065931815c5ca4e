#pragma once

#include "output/destination.h"
#include "printing/composed_job.h"

#include <QString>

class MSComm;

// What the Print press needs from the window that runs it. The press touches no widget itself.
class PrintHost
{
public:
    virtual ~PrintHost() = default;

    // Composes the job from the window's state at this moment.
    virtual ComposedJob composeJob() = 0;
    // "COM1" or "LPT" (printerPortName()), as the port handlers last set it.
    virtual QString portName() = 0;
    // The window's serial-port control, MSC_Com1.
    virtual MSComm& serialControl() = 0;
    // One pass of processing pending window events.
    virtual void processEvents() = 0;
    // Shows the port error message with `cause` as its detail; returns when the operator has closed it.
    virtual void reportFailure(const QString& cause) = 0;
    // True once the window has been asked to close: every wait for a printer ends then, without a message.
    virtual bool closeRequested() { return false; }
    // How long the press waits for a printer.
    virtual DestinationTimeouts timeouts() { return {}; }
    // Called once a press has delivered its job (the port is closed again); the press still counts as
    // running, so a press made meanwhile is dropped.
    virtual void jobGone() {}
};

// The Print press (SSCmd_Print_Click, also run by Enter in the quantity box). In order:
//   1. close the serial port if a failed press left it open, whatever port is chosen;
//   2. compose the job;
//   3. if the serial port is still open, fail: nothing is sent;
//   4. open the chosen port: "COM1" is the window's serial control (port 1), "LPT" the destination that
//      LPT1 maps to (a device, a terminal, a network printer or a print queue); any other name fails;
//   5. hand it the job (COM1: an empty text, then the whole job in one write);
//   6. pause for kPausePasses passes of event processing;
//   7. wait until the job has gone, as the destination defines it, processing events;
//   8. close the port.
// When all of them succeeded, the host hears that the job has gone (it may then ask the printer).
// The first step that fails ends the press, and its cause (which step, which port, why) is shown in the
// one port error message. Every wait is bounded by the destination's time-outs, and ends at once when the
// window is closed (End), in which case nothing is shown.
// A press started while one is running is dropped, not queued: a second close of the port would cut the
// first job short. After a failure a serial port that the press opened stays open until the next press
// closes it in step 1; any other destination is released before the failure is reported.
class PrintPress
{
public:
    static constexpr qint32 kPausePasses = 30001; // counter 0 to 30000, both included

    void run(PrintHost& host);
    bool isRunning() const { return running_; }

private:
    // Steps 1 to 8; the cause of the failure, empty when the job went out.
    QString press(PrintHost& host, bool* stopped);
    static void pause(PrintHost& host);

    bool running_ = false;
};
