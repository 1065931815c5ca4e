#pragma once

#include "batch/batch_jobs.h"
#include "batch/batch_run.h"
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

// --verify after a run in which `gone` of `total` jobs went: asks the printer; a fault is reported and gives
// kExitFault, anything else `exitSoFar`.
int verifyAfterRun(BatchEnvironment& env, const BatchOptions& options, qsizetype gone, qsizetype total, int exitSoFar,
                   const std::function<void(const QString&)>& report);

// --verify on a serial line: the run with the printer's error reporting (US) on, asking after every job and
// stopping at the first fault with the count of labels the printer confirmed; UN at the end.
int sendWithReporting(BatchEnvironment& env, const BatchOptions& options, const CheckedLabels& labels,
                      const StatusTarget& target, const std::function<void(const QString&)>& report);
