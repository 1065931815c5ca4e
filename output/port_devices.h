#pragma once

#include <QString>

#include <memory>

class Destination;
class SerialPort;

// Where the program's port names land on this machine. Serial port 1 is /dev/ttyS0 unless
// QUORLEX_LABEL_COM1 names another serial device (a USB-serial adapter, a pseudo-terminal). The parallel
// port "LPT1" is /dev/lp0 unless QUORLEX_LABEL_LPT1 names another destination: a device or file, a
// terminal, socket://HOST[:PORT], cups:QUEUE or ipp://HOST[:PORT]/printers/QUEUE (see destination.h).
// An empty value counts as unset. They are read at every open, so a changed mapping takes effect at the
// next press.
inline constexpr char kCom1Variable[] = "QUORLEX_LABEL_COM1";
inline constexpr char kLpt1Variable[] = "QUORLEX_LABEL_LPT1";

// The device of serial port number `port`; empty for every port but 1, which is the only one mapped.
QString serialDevicePath(int port);

// The destination address of the parallel port "LPT1".
QString parallelPortAddress();

// COM1 as the window and the batch open it: through `control` (the window's MSC_Com1, left open after a
// failure for the next press to close), or through a control of its own when `control` is null.
std::unique_ptr<Destination> com1Destination(SerialPort* control);

// LPT1 as QUORLEX_LABEL_LPT1 maps it; null, with `error` set, for an address that cannot be used.
std::unique_ptr<Destination> lpt1Destination(QString* error);
