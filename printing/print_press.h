#pragma once

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
    // "COM1" or "LPT", as the port handlers last set it.
    virtual QString portName() = 0;
    // The window's serial-port control, MSC_Com1.
    virtual MSComm& serialControl() = 0;
    // One pass of processing pending window events.
    virtual void processEvents() = 0;
    // Shows the port error message with `cause` as its detail; returns when the operator has closed it.
    virtual void reportFailure(const QString& cause) = 0;
};

// The Print press (SSCmd_Print_Click, also run by Enter in the quantity box). In order:
//   1. arm the error path: from here on any failure goes to step 8;
//   2. close the serial port if a failed press left it open, whatever port is chosen;
//   3. compose the job;
//   4. if the serial port is still open, go to step 8: nothing is sent;
//   5. "COM1": CommPort = 1, open, write an empty text, then the whole job in one write, pause, and wait
//      until the port has sent every byte (bounded by MSComm::drainTimeout of the job), disarm, close;
//   6. "LPT": open the device LPT1, write the job in one write, pause, close it, disarm;
//   7. any other port name goes on to step 8;
//   8. report the failure, naming the step that failed and why.
// The pause is kPausePasses passes of event processing, so the window stays alive and other handlers run
// inside a press. A press started while one is running is dropped, not queued: a second close of the
// port would cut the first job short.
// After a failure a serial port that the press opened stays open until the next press closes it in step
// 2; the parallel device is released before the failure is reported. The close of the serial port after
// the error path is disarmed reports nothing: by then every byte has gone out, and the port ends closed.
class PrintPress
{
public:
    static constexpr qint32 kPausePasses = 30001; // counter 0 to 30000, both included

    void run(PrintHost& host);
    bool isRunning() const { return running_; }

private:
    // Steps 2 to 7; the cause of the failure, empty when the job went out.
    QString press(PrintHost& host);
    QString sendSerial(PrintHost& host, const QByteArray& job);
    QString sendParallel(PrintHost& host, const QByteArray& job);
    static void pause(PrintHost& host);

    bool running_ = false;
};
