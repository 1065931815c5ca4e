#include "output/cups_status.h"

#include "output/cups_client.h"
#include "output/cups_destination.h"
#include "output/worker_thread.h"

#include <mutex>

namespace {

// What the caller shares with the worker: the worker fills it in under the mutex; the caller may have
// stopped waiting by then, and the worker's connection gives up once `givenUp` is set.
struct StatusSession
{
    StatusSession(const CupsAddress& queue, const DestinationTimeouts& limits)
        : address(queue), connection(queue.server, limits, givenUp)
    {
    }

    const CupsAddress address;
    std::atomic<bool> givenUp{false};
    CupsConnection connection;

    std::mutex mutex;
    bool done = false;
    QString failure;
    QString server;
    CupsQueueState state;
};

} // namespace

bool cupsQueueStatus(const QString& address, std::chrono::milliseconds timeout, const WaitControl& wait,
                     CupsQueueReport* report, QString* error)
{
    CupsAddress queue;
    const QString bad = parseCupsAddress(address, &queue);
    if (!bad.isEmpty()) {
        *error = bad;
        return false;
    }
    DestinationTimeouts limits;
    limits.connect = timeout;
    limits.service = timeout;
    auto session = std::make_shared<StatusSession>(queue, limits);
    WorkerThread worker;
    const quint64 task = worker.post([session] {
        session->connection.chooseServer();
        {
            const std::lock_guard lock(session->mutex);
            session->server = session->connection.serverShown();
        }
        QString why = session->connection.connect();
        CupsQueueState state;
        if (why.isEmpty())
            why = session->connection.queryQueue(session->address.queue, &state);
        session->connection.close();
        const std::lock_guard lock(session->mutex);
        session->failure = why;
        session->state = state;
        session->done = true;
    });
    const WorkerThread::Wait result = worker.waitFor(task, QDeadlineTimer(timeout), wait.pump, wait.stopRequested);
    const std::lock_guard lock(session->mutex);
    if (result != WorkerThread::Wait::Done) {
        session->givenUp = true;
        const QString server = session->server.isEmpty() ? QStringLiteral("the CUPS server")
                                                         : QStringLiteral("the CUPS server at %1").arg(session->server);
        *error = result == WorkerThread::Wait::Stopped
                     ? QStringLiteral("stopped before the CUPS server answered")
                     : QStringLiteral("%1 did not answer within %2 s").arg(server, secondsText(timeout));
        return false;
    }
    if (!session->failure.isEmpty()) {
        *error = session->failure;
        return false;
    }
    const CupsQueueState& state = session->state;
    report->stopped = state.stopped();
    report->accepting = state.accepting;
    report->reasons = state.reasons;
    report->message = state.message;
    report->description = QStringLiteral("queue %1: %2").arg(state.name, state.describe());
    return true;
}
