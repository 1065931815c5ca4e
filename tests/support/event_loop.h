#pragma once

#include <chrono>

// Runs the application's event loop until the program ends it (the last window closed, or End). True when it
// did; a program that has not ended after `hangLimit` is ended here, so that a fault cannot hang the test run,
// and false comes back. The limit only breaks a hang: it is far beyond what ending ever takes.
bool execUntilProgramEnds(std::chrono::milliseconds hangLimit = std::chrono::seconds(60));
