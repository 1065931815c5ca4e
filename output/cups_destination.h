#pragma once

#include "output/cups_client.h"
#include "output/cups_library.h"
#include "output/destination.h"
#include "output/worker_thread.h"

#include <memory>
#include <optional>

// A queue of a CUPS server, from "cups:QUEUE" (the server the user's set-up names) or
// "ipp://HOST[:PORT]/printers/QUEUE" ("ipps://" for an encrypted connection; port 631 unless given).
struct CupsAddress
{
    CupsServer server;
    QString queue;
};

// Reads a CUPS queue address; empty when it could be read, otherwise what is wrong with it.
QString parseCupsAddress(const QString& address, CupsAddress* result);

struct CupsSession;

// A CUPS queue as a destination, through libcups. open() connects and checks that the queue exists, is not
// stopped and accepts jobs; the first send() creates the job, with one raw document
// (application/vnd.cups-raw, passed on unchanged) that every send() adds to; close() ends the document,
// and the job is gone once the server has answered that it took the complete document: receipt() then says
// its job id. So a batch run is one job holding every label job in order, and a failure, a time-out or
// abandon() cancels a job that was started, tried again up to the connect time-out while the server does
// not answer: the server prints the whole run or none of it, and when the cancelling could not be
// confirmed leftBehind() says which job may still print and how to cancel it.
//
// Every libcups call runs on a worker thread while the caller waits in slices (see WaitControl), bounded by
// the time-outs: connect + service to open, service + the transfer time-out for the bytes sent to confirm
// and to close. A worker that the caller stopped waiting for ends at libcups' own time-outs, which are the
// same, and holds nothing of the caller's.
class CupsDestination final : public Destination
{
public:
    CupsDestination(const CupsAddress& address, const QString& name);
    ~CupsDestination() override;

    bool deliversAtClose() const override { return true; }
    QString receipt() const override { return receipt_; }
    QString leftBehind() const override { return leftBehind_; }
    QString goneMeaning() const override { return QStringLiteral("the CUPS server has accepted the job"); }

protected:
    QString doOpen() override;
    QString doSend(const QByteArray& job) override;
    QString doConfirm() override;
    QString doClose() override;
    void doAbandon() override;

private:
    // Waits for task `number`: empty when it ran and nothing has failed, otherwise the cause. A time-out
    // ("the CUPS server at HOST <timedOutWhat> within N s") or a stop gives the worker up.
    QString waitFor(quint64 number, std::chrono::milliseconds timeout, const char* timedOutWhat);
    QString failure() const;
    // Ends the worker: `cancel` cancels a started job that was not accepted. Waits for that at most the
    // connect time-out, or a second when the worker was given up.
    void release(bool cancel);

    CupsAddress address_;
    std::shared_ptr<CupsSession> session_;
    std::unique_ptr<WorkerThread> worker_;
    quint64 lastTask_ = 0;
    qint64 unconfirmed_ = 0;
    bool jobStarted_ = false;
    QString receipt_;
    QString leftBehind_;
};

// The queues of the CUPS server the user's set-up names, with their states, in the server's order;
// nullopt, with `error` set, when no server answered within connect + service time.
std::optional<QList<CupsQueueState>> listCupsQueues(const DestinationTimeouts& timeouts, const WaitControl& wait,
                                                    QString* error);

// The state of the queue `address` names, asked within `timeout` with the caller's events going on.
bool cupsQueueStatus(const QString& address, std::chrono::milliseconds timeout, const WaitControl& wait,
                     CupsQueueReport* report, QString* error);
