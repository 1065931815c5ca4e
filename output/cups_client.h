#pragma once

#include "output/destination.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>

typedef struct _http_s http_t;
typedef struct _ipp_s ipp_t;

// A CUPS server: the one the user's set-up names (CUPS_SERVER, client.conf, else the local one) when
// `host` is empty, otherwise HOST:PORT (or a local socket path as the host).
struct CupsServer
{
    QString host;
    int port = 631;
    bool encrypted = false; // ipps: always encrypted; otherwise as the server asks
};

// What a server says about one of its queues.
struct CupsQueueState
{
    QString name;
    int state = 0; // 3 idle, 4 processing, 5 stopped
    bool accepting = false;
    QString message;     // printer-state-message, made printable and bounded
    QStringList reasons; // printer-state-reasons without "none", made printable

    bool stopped() const { return state == 5; }
    // "idle, accepting jobs" or "stopped, not accepting jobs: Out of labels (paused)".
    QString describe() const;
    // Empty when the queue takes jobs now, otherwise why not: "queue LABELS is stopped: Out of labels
    // (paused)", "queue LABELS does not accept jobs: ...".
    QString refusal() const;
};

// One connection to a CUPS server through libcups. Every call blocks, each bounded by the time-outs (the
// connect time-out to connect, the service time-out for a request, the transfer time-out for a piece of
// data), and once `givenUp` is set no further call starts; so it is used on a WorkerThread, by one thread
// at a time. libcups keeps its settings per thread: the user's set-up is read
// on the thread that connects.
class CupsConnection
{
public:
    CupsConnection(const CupsServer& server, const DestinationTimeouts& timeouts, const std::atomic<bool>& givenUp);
    ~CupsConnection();
    CupsConnection(const CupsConnection&) = delete;
    CupsConnection& operator=(const CupsConnection&) = delete;

    // Reads which server to connect to (the user's set-up, on this thread); connect() does it too.
    void chooseServer();
    // Each returns an empty text when it worked, otherwise the cause, naming the server.
    QString connect();
    QString queryQueue(const QString& queue, CupsQueueState* state);
    QString listQueues(QList<CupsQueueState>* queues);
    // Creates a job on `queue` and opens its one raw document, which is the last one. `documentStarted` is
    // set just before the document is sent for, since from then on the job may print.
    QString startJob(const QString& queue, const QString& title, std::atomic<int>* jobId,
                     std::atomic<bool>* documentStarted);
    // Adds `bytes` to the document, gathered into pieces of some 32 KB: every piece is flushed to the server
    // and checked, and a server that takes nothing for the service time-out fails the write. A failed write
    // leaves the document broken: the job must then be cancelled, never finished.
    QString write(const QByteArray& bytes);
    // Ends the document: empty only when the server answered that it took the complete document.
    QString finishJob(const QString& queue);
    // Cancels job `jobId`: empty when the server confirmed that the job is cancelled (or was ended without
    // printing), otherwise why that could not be confirmed. `answered` tells whether the server answered.
    QString cancelJob(const QString& queue, int jobId, bool* answered);
    // Closes the connection. Unless the document was finished, a TCP connection is reset rather than closed:
    // a server that reads an orderly end of a document sent in chunks takes what came as the whole document.
    void close();

    // "127.0.0.1:631", "/run/cups/cups.sock"; known once chooseServer() has run.
    QString serverShown() const { return shown_; }
    // Whether the last call failed because the server did not answer in time.
    bool timedOut() const { return timedOut_ || connectTimedOut_; }

private:
    // Sends what write() gathered; empty when the server took all of it.
    QString sendPending();
    // Bounds the waits of the next call by `cap`, as a whole.
    void startWait(std::chrono::milliseconds cap);
    // Bounds the waits of the next call by `cap` without progress (the server taking bytes), and ends
    // them within a slice once `givenUp` is set.
    void startSlicedWait(std::chrono::milliseconds cap);
    // Why a request failed, from what the server answered (`response`, may be null) or else from what this
    // side saw: a time-out, a closed connection, an answer that is not IPP.
    QString requestFailure(const QString& queue, const QString& what, ipp_t* response) const;
    // What this side saw of a failed exchange, without the server's name: "closed the connection".
    QString transportFault() const;
    static int timedOut(http_t* http, void* self);

    CupsServer server_;
    DestinationTimeouts timeouts_;
    const std::atomic<bool>& givenUp_;
    http_t* http_ = nullptr;
    QByteArray host_;
    int port_ = 631;
    int encryption_ = 0;
    QString shown_;
    QString user_;
    std::chrono::milliseconds waitCap_{0};
    bool timedOut_ = false;
    bool connectTimedOut_ = false;
    int statusWhenTimedOut_ = 0; // the connection's HTTP status when the time-out ran out
    bool sliced_ = false;
    bool documentOpen_ = false;
    QByteArray pending_; // of the document, not yet sent
    qint64 sent_ = 0;    // bytes of the document handed to the connection
    std::chrono::steady_clock::time_point lastProgress_;
    int lastQueued_ = -1;
};

// Cancels job `jobId` of `queue` through connections of its own, tried again until the server confirms or
// `bound` has passed: empty when confirmed, otherwise the last reason.
QString cancelCupsJob(const CupsServer& server, const DestinationTimeouts& timeouts, const QString& queue, int jobId,
                      std::chrono::milliseconds bound);
