#pragma once

// Ctrl-C and SIGTERM handling of a batch run. Once armed, neither ends the process: each only raises a flag,
// which the run looks at between jobs and in every wait, so the job that is being sent goes out whole or is
// reported as not gone.
void armInterruptFlag();
bool interruptRequested();
// "Ctrl-C" or "SIGTERM": what raised the flag.
const char* interruptName();
