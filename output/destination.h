#pragma once

#include "common/process.h"
#include "common/safe_text.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

// What a caller does while a destination waits for its device: the window processes its events, the batch
// checks for Ctrl-C. Every wait is cut into short slices and calls these between them.
struct WaitControl
{
    // One pass of processing pending events; may be empty.
    std::function<void()> pump;
    // True ends the wait at once as a failure that stopped() reports; may be empty.
    std::function<bool()> stopRequested;
};

// How long a destination waits for each thing before it gives up. A printer that takes nothing is reported
// when these run out; none of them is ever waited for without processing events.
struct DestinationTimeouts
{
    // Finding the host of a network printer and connecting to it.
    std::chrono::milliseconds connect{10000};
    // A device, a pipe or a connection taking the bytes of a job: `transferBase` plus `transferPer10KB` for
    // every 10 KB (10240 bytes) begun, so that a printer that takes 10 KB a second never times out.
    std::chrono::milliseconds transferBase{10000};
    std::chrono::milliseconds transferPer10KB{1000};
    // A print service accepting a job.
    std::chrono::milliseconds service{30000};

    std::chrono::milliseconds transfer(qint64 bytes) const;
};

// Where jobs are printed: one link to one printer (a device, a network printer's raw port, a serial line, a
// print service, standard output). A destination is opened, takes jobs whole, confirms that each has gone,
// and is closed; each step that fails returns false and errorString() then says which step, which
// destination and why, in the words the window's message and the batch's error line show as they are.
// Between jobs the same link carries queries (write()) and the printer's answers (readUntil()), so that
// asking a printer never opens a second connection beside the one the jobs went out on.
//
// What "gone" means depends on the kind (see goneMeaning()): a serial port has sent the last bit, a
// pseudo-terminal holds the job in the buffer of its other end, a device or file has taken every byte, a
// network printer has acknowledged every byte, a print service has accepted the job.
class Destination
{
public:
    explicit Destination(QString name) : name_(std::move(name)) {}
    virtual ~Destination() = default;
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;

    // What messages call it: "COM1 (/dev/ttyS0)", "LPT1 (socket://10.0.0.5:9100)", "/dev/usb/lp0".
    QString name() const { return name_; }

    void setWaitControl(WaitControl control) { wait_ = std::move(control); }
    void setTimeouts(const DestinationTimeouts& timeouts) { timeouts_ = timeouts; }
    const DestinationTimeouts& timeouts() const { return timeouts_; }

    bool open();
    // Hands the whole job over; may return before it has gone (confirm() waits for that).
    bool send(const QByteArray& job);
    // Waits until everything sent so far has gone.
    bool confirm();
    // Releases the destination; false when that failed (some devices report their errors only then).
    bool close();
    // Releases the destination after a failure without delivering what it still holds (a print service
    // cancels the job, a network connection is reset); reports nothing.
    void abandon() { doAbandon(); }

    // Listening. Empty when the printer can answer on this link, otherwise why it cannot ("a pipe carries no
    // answer from a printer"), told without opening. An address that cannot be reached at all gives empty:
    // opening then says why.
    virtual QString whyNoAnswer() const { return QStringLiteral("this device carries no answer from the printer"); }
    // Hands `bytes` (a query, not a job) to the open link within `timeout`; the reason when it could not.
    QString write(const QByteArray& bytes, std::chrono::milliseconds timeout);
    // Reads until `complete` says the bytes read so far are whole, at most `limit` bytes, within `timeout`.
    // Returns what was read; `*timedOut` tells a wait that ran out, `*error` a link that failed or closed.
    QByteArray readUntil(const std::function<bool(const QByteArray&)>& complete, qsizetype limit,
                         std::chrono::milliseconds timeout, bool* timedOut, QString* error);
    // Whether the printer's error reporting (US: ACK, and NAK with a code on a fault) reaches the sender on
    // this link unasked: a serial line.
    virtual bool carriesErrorReports() const { return false; }
    // Drops what the printer said before (an answer nobody read).
    void discardInput() { doDiscardInput(); }

    // True when the jobs are only delivered at close() (a print service takes a run as one job), so that
    // none of them counts as gone before close() has succeeded.
    virtual bool deliversAtClose() const { return false; }
    // How many of the first `handed` jobs, each sent and confirmed, count as gone (see goneMeaning()): all
    // of them unless the destination still holds some, or delivers only at close().
    virtual qsizetype jobsGone(qsizetype handed) const { return deliversAtClose() ? 0 : handed; }
    // What the destination said when it took the jobs, e.g. the print service's job id; empty if nothing.
    virtual QString receipt() const { return {}; }
    // After a failure or abandon(): what may still print that was not counted as gone, as a clause that
    // messages add ("job 17 may still print: cancel it with `cancel LABELS-17`"); empty when nothing can.
    virtual QString leftBehind() const { return {}; }
    // One sentence on what "gone" means for this kind of destination.
    virtual QString goneMeaning() const = 0;

    QString errorString() const { return error_; }
    // The last failure's reason alone, without the step and the name.
    QString reason() const { return reason_; }
    // Whether the last failure was a stop request (End, Ctrl-C), not a fault of the destination.
    bool stopped() const { return stopped_; }

protected:
    // Each returns an empty text when the step succeeded, otherwise the reason, without the step and the
    // name: "Connection refused", "nothing is reading the pipe".
    virtual QString doOpen() = 0;
    virtual QString doSend(const QByteArray& job) = 0;
    virtual QString doConfirm() = 0;
    virtual QString doClose() = 0;
    virtual void doAbandon() { doClose(); }

    // The link's own reading and writing, for destinations that can answer.
    virtual QString doWrite(const QByteArray& bytes, std::chrono::milliseconds timeout);
    // Appends what can be read now, at most `atMost` bytes, without waiting; `*closed` when the other end
    // has gone. The reason when reading failed.
    virtual QString readSome(QByteArray* into, qsizetype atMost, bool* closed);
    // Waits at most `atMostMs` for something to read.
    virtual void waitForInput(int atMostMs);
    virtual void doDiscardInput() {}

    // For waits: one slice of the caller's event processing; true when the caller asks to stop, in which
    // case the reason to return is stoppedReason().
    void pump() const;
    bool stopRequested();
    static const QString& stoppedReason();

private:
    bool step(const char* what, const QString& reason);

    QString name_;
    WaitControl wait_;
    DestinationTimeouts timeouts_;
    QString error_;
    QString reason_;
    bool stopped_ = false;
};

// A destination from its address (the one place that reads one):
//   socket://HOST[:PORT]              a network printer's raw port (9100 unless given)
//   cups:QUEUE                        a queue of the CUPS server the user's set-up names
//   ipp://HOST[:PORT]/printers/QUEUE  a queue of the given CUPS server (also ipps://)
//   anything else                     a path: a terminal is driven as a serial port at 9600 8N1, anything
//                                     else is written as a device or a file that must exist already
// `name`, when not empty, is what messages call it, followed by the address in brackets ("LPT1 (/dev/lp0)").
// Returns null and sets `error` for an address that cannot be used (an empty path, a bad port number).
std::unique_ptr<Destination> createDestination(const QString& address, const QString& name, QString* error);

// What messages call a destination: `name (address)`, or the address alone without a name; the address
// shown safely (control characters visible, a long one cut).
QString destinationName(const QString& name, const QString& address);

// Whether `path` names a terminal (a serial port, a USB serial adapter, a pseudo-terminal), told without
// opening it where the system says so, so that a terminal the user may not open is still known as one.
bool isTerminalDevice(const QString& path);
