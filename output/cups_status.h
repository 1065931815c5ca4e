#pragma once

#include "output/cups_library.h"

// The queue's state through libcups, on a thread of its own so that the caller goes on processing events.
bool cupsQueueStatus(const QString& address, std::chrono::milliseconds timeout, const WaitControl& wait,
                     CupsQueueReport* report, QString* error);
