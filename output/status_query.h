#pragma once

#include "output/destination.h"

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
// The query with its line end.
inline constexpr char kStatusQuery[] = "^ee\r\n";

// The control bytes of a printer's error reporting on a serial line (US): ACK takes US, NAK comes before an
// error code, XOFF and XON hold and free the sender while a fault lasts.
inline constexpr char kAck = 0x06;
inline constexpr char kNak = 0x15;
inline constexpr char kXon = 0x11;
inline constexpr char kXoff = 0x13;

struct PrinterStatus
{
    enum class State {
        Ready,   // the printer reports no error (a CUPS queue: idle or printing, accepting jobs)
        Fault,   // the printer reports an error: `text` has its words
        Unknown, // the destination cannot tell, or the printer did not answer: `text` says why
        Failed,  // it could not be asked (no such device, connection refused): `text` says why
    };
    State state = State::Unknown;
    // Ready: "00: no error" or the queue's state; Fault: "07: paper or ribbon empty" (several joined by
    // "; "); Unknown and Failed: the reason.
    QString text;
    QList<int> codes; // the codes the printer reported, when it did

    bool ready() const { return state == State::Ready; }
    bool fault() const { return state == State::Fault; }
};

// What `code` means, in the words of the EPL2 programmer's manual: "paper or ribbon empty" for 7.
QString statusCodeMeaning(int code);
// "07: paper or ribbon empty".
QString statusCodeText(int code);

// The status an answer to `^ee` gives: "00\r\n" ready, "07\r\n" or "01,11\r\n" a fault. Anything else is
// unknown, with a safe excerpt of what came. Flow-control bytes (XON, XOFF) around the answer are ignored.
PrinterStatus statusFromAnswer(const QByteArray& answer);

// The reason of the status of a printer that said nothing.
QString silentPrinterReason();

// Asks the printer on `link`, which is open and has just had its jobs (or nothing) sent: `^ee`, then its
// answer within `timeout`. A link that carries no answer gives "unknown" and the reason.
PrinterStatus askOnLink(Destination& link, std::chrono::milliseconds timeout);

// Asks the printer at `address` (as createDestination() reads it) within `timeout`, on a link of its own that
// is closed again: the window's Printer > Status and the batch's --status.
PrinterStatus queryPrinterStatus(const QString& address, const WaitControl& wait,
                                 std::chrono::milliseconds timeout = kStatusTimeout);

// Whether an answer to `^ee` is complete: a line end after the codes.
bool statusAnswerComplete(const QByteArray& bytes);

// Whether `bytes` hold an error notice of a printer's reporting (NAK and a code), which statusFromAnswer()
// reads as a fault even without an answer after it.
bool hasErrorNotice(const QByteArray& bytes);

// What the status line of the batch and the window's message say about a state: "ready", "fault",
// "unknown", "could not be asked".
QString statusStateName(PrinterStatus::State state);

// One sentence on what "unknown" means, for messages that show it.
QString unknownMeaning();

// "COM1 (/dev/ttyS0): fault: 07: paper or ribbon empty": a status as the batch's line and the window's message
// say it; an unknown one with what "unknown" means.
QString statusLine(const QString& name, const PrinterStatus& status);
