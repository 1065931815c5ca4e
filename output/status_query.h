#pragma once

#include "output/destination.h"
#include "protocol/epl2_status.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <memory>

// Asking a printer whether it is ready. An EPL2 printer answers `^ee` with its error codes ("00" when there
// is none); a CUPS queue has a state, state reasons and a message. A file, a pipe, a parallel port and a
// printer that stays silent cannot tell: their status is "unknown", which is not a failure.
//
// Only `^ee` (and, for the batch's --verify on a serial line, `US` and `UN`) is ever sent: never `UI`, `UM`
// or `UP`, which on a serial line turn off XON/XOFF flow control until the printer is reset, nor `^default`.

// "1" turns on the window's "Ask after each Print" at start.
inline constexpr char kVerifyVariable[] = "QUORLEX_LABEL_VERIFY";

// How long one status query may take at most, connecting included.
inline constexpr std::chrono::milliseconds kStatusTimeout{2000};
// Asks the printer on `link`, which is open and has just had its jobs (or nothing) sent: `^ee`, then its
// answer within `timeout`. A link that carries no answer gives "unknown" and the reason.
PrinterStatus askOnLink(Destination& link, std::chrono::milliseconds timeout);

// Asks the printer at `address` (as createDestination() reads it) within `timeout`, on a link of its own that
// is closed again: the window's Printer > Status and the batch's --status.
PrinterStatus queryPrinterStatus(const QString& address, const WaitControl& wait,
                                 std::chrono::milliseconds timeout = kStatusTimeout);
