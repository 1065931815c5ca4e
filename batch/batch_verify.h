#pragma once

#include "batch/batch_environment.h"
#include "batch/batch_jobs.h"
#include "output/send_loop.h"
#include "output/status_query.h"

#include <functional>

// What --status and --verify ask: the printer --port names, as the window maps COM1 and LPT1.
struct StatusTarget
{
    QString address;
    QString name; // what messages call it: "COM1 (/dev/ttyS0)"
};
StatusTarget statusTarget(const BatchOptions& options);

// --status: asks, prints the line on standard output; kExitOk when ready, kExitFault for a fault,
// kExitSendFailed when the status is unknown or the printer could not be asked.
int askPrinterStatus(BatchEnvironment& env, const BatchOptions& options);

// --verify, on the link the jobs go out on. Where the link carries the printer's error reporting (a serial
// line), reporting (US) is turned on after opening, the printer is asked after every job, and the run stops at
// the first fault with the count of labels the printer confirmed; UN turns it off before closing. Anywhere
// else the printer is asked once the last job has gone, before the link closes (a print service, which
// delivers at close, once it has closed).
class RunVerifier
{
public:
    RunVerifier(BatchEnvironment& env, const BatchOptions& options, Destination& link,
                std::function<void(const QString&)> report);

    // Right after the link opened: false when the run must end, with its exit status in `*exit`.
    bool start(int* exit);
    // Puts the per-job question and the last word before closing on `loop`.
    void attach(SendLoop& loop);
    // The exit status of a run that ended as Done or Ended, its words reported.
    int finish(const SendLoop& loop);
    // What a stopped run adds to its line: the labels the printer confirmed, when it was asked.
    QString stoppedNote() const;

private:
    QString askAfterJob(const SendLoop& loop);
    void beforeClose();

    BatchEnvironment& env_;
    StatusTarget target_;
    Destination& link_;
    std::function<void(const QString&)> report_;
    bool reporting_ = false;
    quint64 confirmed_ = 0;
    quint64 counted_ = 0;
    bool askedBeforeClose_ = false;
    PrinterStatus afterRun_;
};
