#include "output/cups_destination.h"

#include <QCoreApplication>
#include <QUrl>

#include <functional>
#include <mutex>

// What a CupsDestination shares with its worker thread. The connection and the job are the worker's
// alone; the rest is read and written under the mutex.
struct CupsSession
{
    CupsSession(const CupsAddress& queueAddress, const DestinationTimeouts& limits)
        : address(queueAddress), timeouts(limits), connection(queueAddress.server, limits, cutShort)
    {
    }

    void fail(const QString& why)
    {
        const std::lock_guard lock(mutex);
        if (failure.isEmpty())
            failure = why;
    }
    bool failed() const
    {
        const std::lock_guard lock(mutex);
        return !failure.isEmpty();
    }

    const CupsAddress address;
    const DestinationTimeouts timeouts;
    // Set by the caller once it no longer waits: the connection's current call runs to its own time-out, and
    // the worker then stops (between pieces of a document, or after connecting).
    std::atomic<bool> cutShort{false};

    // The worker's; the caller reads the atomics.
    CupsConnection connection;
    std::atomic<int> jobId{0};
    std::atomic<bool> documentStarted{false}; // the job may print from here on

    mutable std::mutex mutex;
    QString failure;       // the first one; no task runs after it
    QString server;        // how messages name the server, once known
    QString cancelFailure; // why the job could not be confirmed cancelled; empty when it was
};

namespace {

QString serverOf(const CupsSession& session)
{
    const std::lock_guard lock(session.mutex);
    return session.server.isEmpty() ? QStringLiteral("the CUPS server")
                                    : QStringLiteral("the CUPS server at %1").arg(session.server);
}

// Connects the session's connection, naming its server for the caller first; false after a failure.
bool connectSession(CupsSession& session)
{
    session.connection.chooseServer();
    {
        const std::lock_guard lock(session.mutex);
        session.server = session.connection.serverShown();
    }
    const QString why = session.connection.connect();
    session.fail(why);
    return why.isEmpty();
}

// What a queue name may hold: what cupsd takes, less what would need quoting in a command line.
QString queueNameFault(const QString& queue)
{
    if (queue.isEmpty())
        return QStringLiteral("the queue name is empty");
    if (queue.toUtf8().size() > 127)
        return QStringLiteral("a queue name is at most 127 bytes long");
    for (QChar c : queue) {
        const char16_t code = c.unicode();
        if (code <= 0x20 || (code >= 0x7f && code < 0xa0) || QStringLiteral("/\\?'\"#").contains(c))
            return QStringLiteral("a queue name has no blanks, control characters or any of / \\ ? ' \" #");
    }
    return {};
}

// How long a job is tried to be cancelled, again and again while the server does not answer.
std::chrono::milliseconds cancelBound(const DestinationTimeouts& timeouts)
{
    return timeouts.connect;
}

// The worker's last task: when `cancel` is set, cancels the job it started through a connection of its own
// (the first may be cut off in the middle of the document), then closes the connection. In that order: a
// server reading the orderly end of a document sent in chunks takes it as whole, and a local socket cannot
// be reset; a TCP connection with a document under way is reset on closing.
std::function<void()> cleanUp(std::shared_ptr<CupsSession> session, bool cancel)
{
    return [session = std::move(session), cancel] {
        QString why;
        if (cancel && session->jobId > 0)
            why = cancelCupsJob(session->address.server, session->timeouts, session->address.queue, session->jobId,
                                cancelBound(session->timeouts));
        session->connection.close();
        const std::lock_guard lock(session->mutex);
        session->cancelFailure = why;
    };
}

} // namespace

QString parseCupsAddress(const QString& address, CupsAddress* result)
{
    if (address.startsWith(QLatin1String("cups:"), Qt::CaseInsensitive)) {
        const QString queue = address.mid(5);
        if (const QString why = queueNameFault(queue); !why.isEmpty())
            return QStringLiteral("a CUPS queue is written cups:QUEUE, and %1").arg(why);
        *result = CupsAddress{CupsServer{}, queue};
        return {};
    }
    const QString form = QStringLiteral("a queue of a CUPS server is written ipp://HOST[:PORT]/printers/QUEUE");
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("ipp") && scheme != QLatin1String("ipps")) || url.host().isEmpty() ||
        !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment())
        return form;
    const QString path = url.path(QUrl::FullyDecoded);
    const QLatin1String printers("/printers/");
    if (!path.startsWith(printers))
        return form;
    const QString queue = path.mid(printers.size());
    if (const QString why = queueNameFault(queue); !why.isEmpty())
        return QStringLiteral("%1, and %2").arg(form, why);
    const int port = url.port(631);
    if (port < 1 || port > 65535)
        return QStringLiteral("the port of a CUPS server is a number from 1 to 65535");
    *result = CupsAddress{CupsServer{url.host(), port, scheme == QLatin1String("ipps")}, queue};
    return {};
}

CupsDestination::CupsDestination(const CupsAddress& address, const QString& name) : Destination(name), address_(address)
{
}

CupsDestination::~CupsDestination()
{
    if (!worker_)
        return;
    // Nobody waits any more; the worker still cancels a job it started, on its own.
    session_->cutShort = true;
    worker_->finish(cleanUp(session_, true));
}

QString CupsDestination::failure() const
{
    const std::lock_guard lock(session_->mutex);
    return session_->failure;
}

QString CupsDestination::waitFor(quint64 number, std::chrono::milliseconds timeout, const char* timedOutWhat)
{
    switch (worker_->waitFor(
        number, QDeadlineTimer(timeout), [this] { pump(); }, [this] { return stopRequested(); })) {
    case WorkerThread::Wait::Done:
        return failure();
    case WorkerThread::Wait::Stopped:
        session_->fail(stoppedReason());
        session_->cutShort = true;
        return stoppedReason();
    case WorkerThread::Wait::TimedOut:
        break;
    }
    session_->fail(QStringLiteral("%1 %2 within %3 s")
                       .arg(serverOf(*session_), QLatin1String(timedOutWhat), secondsText(timeout)));
    session_->cutShort = true;
    return failure();
}

QString CupsDestination::doOpen()
{
    if (worker_)
        release(true);
    receipt_.clear();
    leftBehind_.clear();
    jobStarted_ = false;
    unconfirmed_ = 0;
    session_ = std::make_shared<CupsSession>(address_, timeouts());
    worker_ = std::make_unique<WorkerThread>();
    lastTask_ = worker_->post([session = session_] {
        if (!connectSession(*session))
            return;
        CupsQueueState state;
        QString why = session->connection.queryQueue(session->address.queue, &state);
        session->fail(why.isEmpty() ? state.refusal() : why);
    });
    const std::chrono::milliseconds timeout = timeouts().connect + timeouts().service;
    return waitFor(lastTask_, timeout, "did not answer");
}

QString CupsDestination::doSend(const QByteArray& job)
{
    if (!worker_)
        return QStringLiteral("the queue is not open");
    if (const QString why = failure(); !why.isEmpty())
        return why;
    if (!jobStarted_) {
        jobStarted_ = true;
        QString title = QCoreApplication::applicationName();
        if (title.isEmpty())
            title = QStringLiteral("Quorlex Label");
        worker_->post([session = session_, title] {
            if (session->failed())
                return;
            session->fail(session->connection.startJob(session->address.queue, title, &session->jobId,
                                                       &session->documentStarted));
        });
    }
    lastTask_ = worker_->post([session = session_, job] {
        if (!session->failed())
            session->fail(session->connection.write(job));
    });
    unconfirmed_ += job.size();
    return {};
}

QString CupsDestination::doConfirm()
{
    if (!worker_)
        return QStringLiteral("the queue is not open");
    const std::chrono::milliseconds timeout = timeouts().service + timeouts().transfer(unconfirmed_);
    const QString why = waitFor(lastTask_, timeout, "did not take the job");
    if (why.isEmpty())
        unconfirmed_ = 0;
    return why;
}

QString CupsDestination::doClose()
{
    if (!worker_)
        return {};
    QString why = failure();
    if (why.isEmpty() && jobStarted_) {
        lastTask_ = worker_->post([session = session_] {
            if (session->failed())
                return;
            session->fail(session->connection.finishJob(session->address.queue));
        });
        const std::chrono::milliseconds timeout = timeouts().service + timeouts().transfer(unconfirmed_);
        why = waitFor(lastTask_, timeout, "did not accept the job");
        // The job id is the worker's, read once the worker has run the task that follows its writing.
        if (why.isEmpty())
            receipt_ = QStringLiteral("queue %1 accepted job %2").arg(address_.queue, QString::number(session_->jobId));
    }
    release(!why.isEmpty());
    return why;
}

void CupsDestination::doAbandon()
{
    release(true);
}

void CupsDestination::release(bool cancel)
{
    if (!worker_)
        return;
    // The worker ends a write or the wait for the end of the document within a slice once given up; a
    // request under way may take up to its time-out. The cancelling is waited for up to its bound, since
    // only then can the caller say that the job will not print.
    const bool givenUp = session_->cutShort;
    session_->cutShort = true;
    const std::chrono::milliseconds atMost =
        cancel ? cancelBound(timeouts()) + std::chrono::milliseconds(2000)
               : (givenUp ? std::min(timeouts().connect, std::chrono::milliseconds(1000)) : timeouts().connect);
    const quint64 last = worker_->finish(cleanUp(session_, cancel));
    const bool done =
        worker_->waitFor(last, QDeadlineTimer(atMost), [this] { pump(); }, {}) == WorkerThread::Wait::Done;
    if (cancel && session_->documentStarted) {
        QString why;
        QString server;
        {
            const std::lock_guard lock(session_->mutex);
            server = session_->server;
            why = done ? session_->cancelFailure : QStringLiteral("the CUPS server at %1 did not answer").arg(server);
        }
        if (!why.isEmpty()) {
            const int job = session_->jobId;
            const QString host = address_.server.host.isEmpty() ? QString() : QStringLiteral("-h %1 ").arg(server);
            leftBehind_ =
                job > 0 ? QStringLiteral("%1; job %2 may still print: cancel it with `cancel %3%4-%2`")
                              .arg(why, QString::number(job), host, address_.queue)
                        : QStringLiteral("%1; a job of this run may still print on queue %2").arg(why, address_.queue);
        }
    }
    worker_.reset();
    session_.reset();
}

namespace {

// Connects to the server of `address` on a worker thread and runs `ask` there, the caller waiting at most
// `timeout` in slices; empty when it worked, otherwise the cause. What `ask` finds it keeps in storage of its
// own (the caller may have stopped waiting by then), and the connection gives up once the caller has.
QString askServer(const CupsAddress& address, const DestinationTimeouts& timeouts, std::chrono::milliseconds timeout,
                  const WaitControl& wait, std::function<QString(CupsConnection&)> ask)
{
    auto session = std::make_shared<CupsSession>(address, timeouts);
    WorkerThread worker;
    const quint64 task = worker.post([session, ask = std::move(ask)] {
        if (!connectSession(*session))
            return;
        const QString why = ask(session->connection);
        session->connection.close();
        session->fail(why);
    });
    const WorkerThread::Wait result = worker.waitFor(task, QDeadlineTimer(timeout), wait.pump, wait.stopRequested);
    if (result == WorkerThread::Wait::Done) {
        const std::lock_guard lock(session->mutex);
        return session->failure;
    }
    session->cutShort = true;
    return result == WorkerThread::Wait::Stopped
               ? QStringLiteral("stopped before a CUPS server answered")
               : QStringLiteral("%1 did not answer within %2 s").arg(serverOf(*session), secondsText(timeout));
}

} // namespace

std::optional<QList<CupsQueueState>> listCupsQueues(const DestinationTimeouts& timeouts, const WaitControl& wait,
                                                    QString* error)
{
    auto queues = std::make_shared<QList<CupsQueueState>>();
    const QString why = askServer(CupsAddress{}, timeouts, timeouts.connect + timeouts.service, wait,
                                  [queues](CupsConnection& connection) { return connection.listQueues(queues.get()); });
    if (!why.isEmpty()) {
        *error = why;
        return std::nullopt;
    }
    return *queues;
}

bool cupsQueueStatus(const QString& address, std::chrono::milliseconds timeout, const WaitControl& wait,
                     CupsQueueReport* report, QString* error)
{
    CupsAddress queue;
    if (const QString bad = parseCupsAddress(address, &queue); !bad.isEmpty()) {
        *error = bad;
        return false;
    }
    DestinationTimeouts limits;
    limits.connect = timeout;
    limits.service = timeout;
    auto state = std::make_shared<CupsQueueState>();
    const QString why =
        askServer(queue, limits, timeout, wait, [name = queue.queue, state](CupsConnection& connection) {
            return connection.queryQueue(name, state.get());
        });
    if (!why.isEmpty()) {
        *error = why;
        return false;
    }
    report->stopped = state->stopped();
    report->accepting = state->accepting;
    report->reasons = state->reasons;
    report->message = state->message;
    report->description = QStringLiteral("queue %1: %2").arg(state->name, state->describe());
    return true;
}
