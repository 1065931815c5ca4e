#pragma once

#include "batch/batch_options.h"
#include "batch/job_output.h"

#include <chrono>
#include <functional>
#include <memory>

class QIODevice;

// Exit statuses of quorlex-label-batch.
enum BatchExit : int {
    kExitOk = 0,
    kExitSendFailed = 1, // the port did not open, or a job or the close failed
    kExitUsage = 2,      // a usage or validation error: nothing was sent
    kExitFault = 3,      // --status, --verify: the printer reports a fault
    kExitInterrupted = 130,
};

// What a run reads from and writes to besides its arguments.
struct BatchEnvironment
{
    QIODevice* standardInput = nullptr;  // read for --csv -; none when it is closed
    QIODevice* standardOutput = nullptr; // --help, and the jobs with --dry-run
    QIODevice* standardError = nullptr;  // errors and progress
    // Whether standard error is a terminal: progress then rewrites one line instead of adding lines.
    bool errorIsTerminal = false;

    // Called once every label is checked, right before the output opens (the program arms its Ctrl-C
    // handling here, so that Ctrl-C while the input is read still ends it at once).
    std::function<void()> startingToSend;
    // Asked before every job and during every wait for the printer: true stops the run there.
    std::function<bool()> stopRequested;
    // What stopped the run, as messages name it ("Ctrl-C", "SIGTERM"); "Ctrl-C" when not set.
    std::function<QString()> stopCause;
    // The output for the options; createJobOutput() when not set (tests put in outputs that fail).
    std::function<std::unique_ptr<Destination>(const BatchOptions&)> createOutput;
    // How long the run waits for a printer.
    DestinationTimeouts timeouts;
    // Progress is shown once sending has taken longer than this, and then at most once per this interval.
    std::chrono::milliseconds progressAfter{1000};
};

// "stopped by Ctrl-C": the head of every message of a stopped run.
QString stoppedBy(const BatchEnvironment& environment);
