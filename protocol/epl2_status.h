#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The facts of the EPL2 protocol's status and error reporting, for the side that asks (the window, the batch)
// and the side that answers (the virtual printer): the bytes, the codes and their words, and each answer's
// encoding beside its reading.
//
// Only `^ee` (and, for the batch's --verify on a serial line, `US` and `UN`) is ever sent: never `UI`, `UM`
// or `UP`, which on a serial line turn off XON/XOFF flow control until the printer is reset, nor `^default`.

// The query with its line end.
inline constexpr char kStatusQuery[] = "^ee\r\n";
// Error reporting on (acknowledged with ACK) and off, with their line ends.
inline constexpr char kReportingOn[] = "US\r\n";
inline constexpr char kReportingOff[] = "UN\r\n";

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

// The error and status codes of the EPL2 programmer's manual.
enum StatusCode {
    kNoError = 0,
    kSyntaxError = 1,      // a line not understood or not carried out
    kObjectPastBorder = 2, // a field runs past the label's edge
    kBarCodeLength = 3,
    kInsufficientMemory = 4, // the image buffer or the form memory is full
    kMemoryConfiguration = 5,
    kSerialInterface = 6,
    kPaperOrRibbonEmpty = 7, // paper-out
    kDuplicateName = 8,
    kNameNotFound = 9,
    kNotInDataEntry = 10,
    kHeadUp = 11, // head-open
    kPaused = 12, // paused
    kBusy = 50,
};

// A status of `state` with `text`.
PrinterStatus statusOf(PrinterStatus::State state, const QString& text);
// What an answer that is not a status gives: "unknown", with a safe excerpt of what came.
PrinterStatus notAStatus(const QByteArray& answer);

// What `code` means, in the words of the EPL2 programmer's manual: "paper or ribbon empty" for 7.
QString statusCodeMeaning(int code);
// "07: paper or ribbon empty".
QString statusCodeText(int code);

// The status an answer to `^ee` gives: "00\r\n" ready, "07\r\n" or "01,11\r\n" a fault. Anything else is
// unknown, with a safe excerpt of what came. Flow-control bytes (XON, XOFF) around the answer are ignored.
PrinterStatus statusFromAnswer(const QByteArray& answer);

// The reason of the status of a printer that said nothing.
QString silentPrinterReason();

// ^ee's answer: "00\r\n" without an error, one code "07\r\n", several "01,11\r\n" (in rising order).
QByteArray errorReport(QList<int> codes);

// An error as reporting sends it the moment it happens: NAK, the code in two digits, and XOFF when the
// printer stops printing until the fault is cleared.
QByteArray errorNotice(int code, bool stops);

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
