#pragma once

#include "output/serial_line.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

// Serial ports are driven through a library of their own (QtSerialPort and libudev with it), loaded when a
// serial port is first opened or listed, so that a start that never opens one does not load them. It sits
// beside the output library, as the CUPS library does.

inline constexpr char kSerialLibraryFile[] = "libquorlex-label-serial.so";
// A path to load in place of the library beside the output library (tests, a library built elsewhere).
inline constexpr char kSerialLibraryVariable[] = "QUORLEX_LABEL_SERIAL_LIBRARY";

// A line on the system's serial port driver; null, with `error` set to what is missing and the package to
// install, when the library cannot be loaded.
std::unique_ptr<SerialLine> createSerialLine(QString* error);

struct SerialPortListing
{
    QString location;    // "/dev/ttyS0"
    QString description; // "serial port: USB-Serial Controller, Prolific", made printable
};

// The serial ports the system knows; nullopt, with `error` set, when the library cannot be loaded.
std::optional<QList<SerialPortListing>> listSerialPorts(QString* error);

// What the serial library offers; it and the programs are built together, and `version` tells a stale copy.
struct SerialLibraryEntry
{
    int version;
    SerialLine* (*createLine)();
    QList<SerialPortListing> (*listPorts)();
};
inline constexpr int kSerialLibraryVersion = 2;
inline constexpr char kSerialLibraryEntryName[] = "quorlex_label_serial_entry";
