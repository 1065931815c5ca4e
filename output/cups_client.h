#pragma once

#include "output/destination.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>

typedef struct _http_s http_t;

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
    // Creates a job on `queue` and opens its one raw document, which is the last one.
    QString startJob(const QString& queue, const QString& title, int* jobId);
    QString write(const QByteArray& bytes);
    // Ends the document: the server has then accepted the job.
    QString finishJob(const QString& queue);
    QString cancelJob(const QString& queue, int jobId);
    void close();

    // "127.0.0.1:631", "/run/cups/cups.sock"; known once chooseServer() has run.
    QString serverShown() const { return shown_; }

private:
    // Bounds the waits of the next call by `cap`.
    void startWait(std::chrono::milliseconds cap);
    QString requestFailure(const QString& queue, const QString& what) const;
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
};
