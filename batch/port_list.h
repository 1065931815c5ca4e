#pragma once

#include "output/destination.h"

#include <QString>
#include <QStringList>

// What --port takes on this machine, one line each, the --port value first and then what it is: serial
// ports with their description, USB and parallel printer devices, and the queues of the CUPS server the
// user's set-up names with their state. `notes` gets what could not be listed (no CUPS server answered
// within the time-outs, or it was stopped).
struct PortList
{
    QStringList lines;
    QStringList notes;
};

PortList listPorts(const DestinationTimeouts& timeouts, const WaitControl& wait);
