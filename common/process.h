#pragma once

// Makes a reader that goes away a failed write with EPIPE instead of a signal that ends the process.
// Called by every destination that writes to a descriptor; harmless to call again.
void ignoreBrokenPipes();
