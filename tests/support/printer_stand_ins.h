#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

#include <atomic>
#include <mutex>
#include <thread>

class Destination;
class PseudoTerminal;

// Printers made of real parts for the output tests: a loopback TCP listener and a FIFO, each served by a
// thread of its own so that it reads while the code under test waits, whatever that code's thread does.

// How a stand-in reads what it is sent.
enum class Reading {
    All,      // everything, at once
    Slowly,   // 1 KB every 2 ms
    Never,    // takes the connection or opens the pipe, and reads nothing
    GoesAway, // reads `goneAfter` bytes, then closes its end
    NoReader, // FIFO only: nothing has the pipe open for reading
    Paused,   // network only: takes the connection and reads nothing until resume(), then everything
};

// A TCP listener on a free port of 127.0.0.1 (its number in `port`), with a receive buffer of
// `receiveBuffer` bytes when that is not 0; -1 when none could be made.
int listenOnLoopback(quint16* port, int receiveBuffer = 0);

// A listener on 127.0.0.1 and the thread that accepts its connections one at a time, handing each to
// `handle` and closing it once `handle` returns. `handle` watches `stop`, which is set when the object goes;
// the thread is joined and the listener closed before the object is gone.
class LoopbackServer
{
public:
    using Handler = std::function<void(int connection, const std::atomic<bool>& stop)>;
    explicit LoopbackServer(Handler handle, int receiveBuffer = 0, int acceptFlags = 0);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool isValid() const { return listener_ >= 0; }
    quint16 port() const { return port_; }
    // socket://127.0.0.1:PORT
    QString address() const;

private:
    int listener_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A network printer's raw port on 127.0.0.1, on a free port.
class LoopbackPrinter
{
public:
    explicit LoopbackPrinter(Reading reading = Reading::All, qint64 goneAfter = 0);
    ~LoopbackPrinter();
    LoopbackPrinter(const LoopbackPrinter&) = delete;
    LoopbackPrinter& operator=(const LoopbackPrinter&) = delete;

    bool isValid() const { return server_.isValid(); }
    quint16 port() const { return server_.port(); }
    QString address() const { return server_.address(); }
    // Waits up to `ms` until at least `bytes` have arrived; returns what has arrived.
    QByteArray received(qint64 bytes, int ms = 5000) const;
    int connections() const { return connections_; }
    // Reading::Paused: reads from now on.
    void resume() { paused_ = false; }

private:
    Reading reading_;
    qint64 goneAfter_;
    std::atomic<bool> paused_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    QByteArray received_;
    LoopbackServer server_; // last: its thread stops before the members it uses go
};

// A loopback port on which nothing listens: connecting to it is refused.
quint16 refusedLoopbackPort();

// A FIFO in a temporary folder standing in for a printer device.
class FifoPrinter
{
public:
    // With Reading::Never the pipe is also filled up before it is handed out, so that a writer finds it full.
    explicit FifoPrinter(Reading reading = Reading::All, qint64 goneAfter = 0);
    ~FifoPrinter();
    FifoPrinter(const FifoPrinter&) = delete;
    FifoPrinter& operator=(const FifoPrinter&) = delete;

    bool isValid() const { return !path_.isEmpty(); }
    QString path() const { return path_; }
    QByteArray received(qint64 bytes, int ms = 5000) const;

private:
    void serve();

    QTemporaryDir dir_;
    Reading reading_;
    qint64 goneAfter_;
    QString path_;
    int reader_ = -1;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    QByteArray received_;
    std::thread thread_;
};

// A job of `bytes` bytes, well over what the kernel's buffers take, so that a reader that stalls is felt.
QByteArray bulkyJob(qint64 bytes = 1024 * 1024);

// Kinds of destination a test can stand a printer in for.
enum class PrinterKind { File, Folder, Missing, Fifo, Network, RefusedPort, Terminal };

// One stand-in printer of any kind, its address as the program takes it, and what it received.
class StandInPrinter
{
public:
    explicit StandInPrinter(PrinterKind kind, Reading reading = Reading::All, qint64 goneAfter = 0);
    ~StandInPrinter();

    QString address;
    std::unique_ptr<FifoPrinter> fifo;
    std::unique_ptr<LoopbackPrinter> network;
    std::unique_ptr<PseudoTerminal> terminal;

    // Reads what a terminal has been sent so far; call it between the waits of the code under test, since a
    // terminal has no thread of its own.
    void serve();
    // What has arrived, waiting (bounded) for `bytes` of it.
    QByteArray received(qint64 bytes);

private:
    QTemporaryDir dir_;
    QByteArray terminalGot_;
};

// Runs `destination` through a press's steps for `jobs`: open, send and confirm each, close. The cause of the
// first step that fails (after which the destination is abandoned), empty when every job went.
QString printJobs(Destination& destination, const QList<QByteArray>& jobs);

// A network printer on 127.0.0.1 that answers every connection with `answer` once it has been sent
// something: once, or over and over until the other end goes (`endless`).
class AnsweringPrinter
{
public:
    AnsweringPrinter(const QByteArray& answer, bool endless);
    ~AnsweringPrinter();
    AnsweringPrinter(const AnsweringPrinter&) = delete;
    AnsweringPrinter& operator=(const AnsweringPrinter&) = delete;

    QString address() const { return server_.address(); }
    // What the last connection sent, waiting (bounded) for `bytes` of it.
    QByteArray received(qint64 bytes, int ms = 5000) const;

private:
    void answer(int connection, const std::atomic<bool>& stop);

    QByteArray answer_;
    bool endless_;
    mutable std::mutex mutex_;
    QByteArray received_;
    LoopbackServer server_; // last: its thread stops before the members it uses go
};
