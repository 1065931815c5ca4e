#pragma once

#include "batch/batch_options.h"
#include "output/destination.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QIODevice;

// Where a run sends its jobs: standard output with --dry-run, else the destination --port names (COM1 and
// LPT1 mapped as the window maps them; any other value is a destination address). Null, with `error` set,
// for an address that cannot be used.
std::unique_ptr<Destination> createJobOutput(const BatchOptions& options, QIODevice& standardOutput, QString* error);

// Flushes what a file holds back to the system: empty when done, otherwise why not. Other devices have
// nothing to flush.
QString flushDevice(QIODevice& device);
// Writes all of `bytes` and flushes them: empty when done, otherwise why not.
QString writeAll(QIODevice& device, const QByteArray& bytes);
