#pragma once

#include <QString>

// Where the program's port names land on this machine. Serial port 1 is /dev/ttyS0 and the parallel
// device "LPT1" is /dev/lp0 unless these variables name another device (a USB-serial adapter, a USB
// printer, a pseudo-terminal or a file). An empty value counts as unset. They are read at every open, so
// a changed mapping takes effect at the next press; nothing else in the program reads the environment.
inline constexpr char kCom1Variable[] = "QUORLEX_LABEL_COM1";
inline constexpr char kLpt1Variable[] = "QUORLEX_LABEL_LPT1";

// The device of serial port number `port`; empty for every port but 1, which is the only one mapped.
QString serialDevicePath(int port);

// The device of the parallel port "LPT1".
QString parallelDevicePath();
