#pragma once

#include "support/printer_stand_ins.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

// A CUPS server of the test's own, run as the user who runs the tests: cupsd in the foreground with its own
// cupsd.conf and cups-files.conf in a temporary folder, listening on a socket in that folder and on a free
// loopback TCP port, with every folder it writes to in that folder too. Its one backend, "capture", keeps
// each job it is given in a file of its own, so a test reads what a queue printed byte for byte.
//
// cupsd runs backends under its own rules: when it runs as root, a backend must belong to root, be written
// by nobody else, and have mode 0700 to run as root (the temporary folder belongs to root, so an
// unprivileged backend could not write there); run by any other user it runs as that user. The capture
// backend is installed that way in both cases.
//
// The server is stopped by its process id when the object goes, and the folder removed; cupsd also gets
// SIGTERM should the test program die first.
class PrivateCupsServer
{
public:
    PrivateCupsServer();
    ~PrivateCupsServer();
    PrivateCupsServer(const PrivateCupsServer&) = delete;
    PrivateCupsServer& operator=(const PrivateCupsServer&) = delete;

    bool isRunning() const { return process_.state() == QProcess::Running; }
    // Why the server did not start or a step failed, with the end of the server's error log.
    QString failure() const { return failure_; }

    quint16 port() const { return port_; }
    QString hostAndPort() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
    QString socketPath() const { return dir_.filePath(QStringLiteral("cupsd.sock")); }
    // ipp://127.0.0.1:PORT/printers/QUEUE
    QString ippAddress(const QString& queue) const;

    // Adds an enabled raw queue that prints through the capture backend; false with failure() set.
    bool addQueue(const QString& queue);
    // Adds an enabled raw queue whose device is `device` (socket://127.0.0.1:PORT, ...), printed through
    // CUPS's own backend for that scheme; false with failure() set.
    bool addDeviceQueue(const QString& queue, const QString& device);
    // Runs a CUPS command-line program (cupsdisable, cupsreject, lpadmin, ...) against this server with
    // `arguments`; false with failure() set when it fails or takes longer than 10 s.
    bool runTool(const QString& program, const QStringList& arguments);

    // What the capture backend was given for `queue`: job id to the bytes of that job.
    QMap<int, QByteArray> printed(const QString& queue) const;
    // Waits at most `timeoutMs` until `queue` has printed job `jobId`; false if it has not.
    bool waitForPrinted(const QString& queue, int jobId, int timeoutMs = 10000) const;
    // The jobs of `queue` as the server knows them: job id to job state (3 pending, 5 processing, 7 canceled,
    // 8 aborted, 9 completed).
    QMap<int, int> jobStates(const QString& queue) const;

    // A server that hangs: SIGSTOP to its process, SIGCONT to go on. The destructor lets a hung server go on
    // before it stops it.
    void hang();
    void goOn();
    // Ends the server at once (SIGKILL), as a crash would.
    void kill();

private:
    bool start();
    void stop();
    bool fail(const QString& why);
    QString captureFolder(const QString& queue) const;

    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString failure_;
    bool hung_ = false;
};

// Lets a server that a test made hang go on, however the test ends (a failed check returns early).
struct GoesOnAtEnd
{
    PrivateCupsServer& server;
    ~GoesOnAtEnd() { server.goOn(); }
};

// A stand-in for a print server on 127.0.0.1, on a free port, that answers every request with junk: bytes
// that are not HTTP, or an HTTP 200 whose body is not IPP. It keeps each connection open until the client
// closes it.
class JunkPrintServer
{
public:
    enum class Junk { NotHttp, NotIpp };
    explicit JunkPrintServer(Junk junk);
    ~JunkPrintServer();
    JunkPrintServer(const JunkPrintServer&) = delete;
    JunkPrintServer& operator=(const JunkPrintServer&) = delete;

    bool isValid() const { return server_.isValid(); }
    quint16 port() const { return server_.port(); }

private:
    void answer(int connection, const std::atomic<bool>& stop);

    Junk junk_;
    QRandomGenerator random_{4711};
    LoopbackServer server_; // last: its thread stops before the members it uses go
};
