#pragma once

#include "batch/batch_options.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QIODevice;

// Where a run sends its jobs. It is opened once, takes the jobs one at a time, and is closed once.
class JobOutput
{
public:
    virtual ~JobOutput() = default;

    // What the messages call it: "COM1", "LPT1", "/dev/usb/lp0", "standard output".
    virtual QString name() const = 0;
    virtual bool open() = 0;
    // Returns when the whole job has gone out of the port (serial: drained from the line), or on failure.
    virtual bool send(const QByteArray& job) = 0;
    // Releases the port; false when that failed (the parallel device reports its errors at close).
    virtual bool close() = 0;
    // Why the last step failed.
    QString errorString() const { return error_; }

protected:
    // Records why a step failed; returns false for the step to return.
    bool fail(const QString& why)
    {
        error_ = why;
        return false;
    }

private:
    QString error_;
};

// The output the options choose: standard output with --dry-run, else the port --port names. A device path
// that is a terminal is driven as a serial port (9600 8N1, like COM1); any other path is written like
// LPT1, and must exist.
std::unique_ptr<JobOutput> createJobOutput(const BatchOptions& options, QIODevice& standardOutput);

// Flushes what a file holds back to the system: empty when done, otherwise why not. Other devices have
// nothing to flush.
QString flushDevice(QIODevice& device);
// Writes all of `bytes` and flushes them: empty when done, otherwise why not.
QString writeAll(QIODevice& device, const QByteArray& bytes);

// Whether `path` names a terminal (a serial port, a pseudo-terminal). Only character devices are opened to
// find out; a path that cannot be opened is no terminal.
bool isTerminalDevice(const QString& path);
