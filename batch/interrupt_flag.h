#pragma once

// Ctrl-C handling of a batch run. Once armed, SIGINT no longer ends the process: it only raises a flag, which
// the run looks at between jobs, so the job that is being sent always goes out whole.
void armInterruptFlag();
bool interruptRequested();
