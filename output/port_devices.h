#pragma once

#include <QString>

#include <memory>
#include <optional>

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
inline constexpr char kCom1Device[] = "/dev/ttyS0";

// The device of serial port number `port`; empty for every port but 1, which is the only one mapped.
QString serialDevicePath(int port);

// The destination address of the parallel port "LPT1".
QString parallelPortAddress();

// The two printer ports the window offers, which the batch names com1 and lpt.
enum class PrinterPort {
    Com1, // serial port 1, as serialDevicePath(1) maps it
    Lpt,  // the parallel port LPT1, as parallelPortAddress() maps it
};
inline constexpr PrinterPort kPrinterPorts[] = {PrinterPort::Com1, PrinterPort::Lpt};

// "COM1" or "LPT": the port as the window's PortName holds it.
QString printerPortName(PrinterPort port);
// "COM1" or "LPT1": the port's device as messages name it.
QString printerPortDevice(PrinterPort port);
// The port whose name is exactly `name` ("COM1", "LPT"), if any.
std::optional<PrinterPort> printerPortNamed(const QString& name);

// Where the port is mapped now: serialDevicePath(1) for COM1, parallelPortAddress() for LPT.
QString printerPortAddress(PrinterPort port);

// The port as the window and the batch open it (made where every destination is made from its address). COM1 goes
// through `control` (the window's MSC_Com1, left open after a failure for the next press to close), or through a
// control of its own when `control` is null. LPT1 goes where QUORLEX_LABEL_LPT1 maps it: null, with `error` set, for an
// address that cannot be used.
std::unique_ptr<Destination> printerPortDestination(PrinterPort port, SerialPort* control, QString* error);
