#pragma once

#include "batch/batch_environment.h"

#include <QStringList>

// Runs quorlex-label-batch with `arguments` (without the program name): reads and checks every label first,
// then composes and sends their jobs in order, each job composed just before it is sent. Returns the exit
// status.
int runBatch(const QStringList& arguments, BatchEnvironment& environment);
