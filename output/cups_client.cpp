#include "output/cups_client.h"

#include "common/safe_text.h"

#include <cups/cups.h>

#include <QThread>

#include <cerrno>
#include <cstring>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* const kQueueAttributes[] = {"printer-name", "printer-state", "printer-state-message",
                                        "printer-state-reasons", "printer-is-accepting-jobs"};

// libcups asks this for a password when the server wants one: there is nobody to ask, so the request fails
// as refused instead of reading a terminal.
const char* noPassword(const char*, http_t*, const char*, const char*, void*)
{
    return nullptr;
}

bool succeeded(ipp_status_t status)
{
    return status < IPP_STATUS_REDIRECTION_OTHER_SITE;
}

// How often a wait that only gives up without progress looks at the connection and at `givenUp`.
constexpr std::chrono::milliseconds kWaitSlice{100};

// What the server said in `response`: its status message, else the name of its status.
QString serverSaid(ipp_t* response)
{
    ipp_attribute_t* message = ippFindAttribute(response, "status-message", IPP_TAG_TEXT);
    const char* text = message ? ippGetString(message, 0, nullptr) : nullptr;
    if (!text || !*text)
        text = ippErrorString(ippGetStatusCode(response));
    return safeMessageLine(QString::fromUtf8(text), 200);
}

// Makes closing `fd` reset the connection (no orderly end); harmless on a local socket.
void resetOnClose(int fd, bool reset)
{
    if (fd < 0)
        return;
    const linger value{reset ? 1 : 0, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

// Fills `state` from the attributes from `attribute` up to the end of its group.
ipp_attribute_t* readQueue(ipp_t* response, ipp_attribute_t* attribute, CupsQueueState* state)
{
    for (; attribute && ippGetGroupTag(attribute) == IPP_TAG_PRINTER; attribute = ippNextAttribute(response)) {
        const char* name = ippGetName(attribute);
        if (!name)
            continue;
        if (!std::strcmp(name, "printer-name") && ippGetValueTag(attribute) == IPP_TAG_NAME)
            state->name = safeMessageLine(QString::fromUtf8(ippGetString(attribute, 0, nullptr)), 127);
        else if (!std::strcmp(name, "printer-state") && ippGetValueTag(attribute) == IPP_TAG_ENUM)
            state->state = ippGetInteger(attribute, 0);
        else if (!std::strcmp(name, "printer-state-message") && ippGetValueTag(attribute) == IPP_TAG_TEXT)
            state->message = safeMessageLine(QString::fromUtf8(ippGetString(attribute, 0, nullptr)).trimmed(), 200);
        else if (!std::strcmp(name, "printer-is-accepting-jobs") && ippGetValueTag(attribute) == IPP_TAG_BOOLEAN)
            state->accepting = ippGetBoolean(attribute, 0) != 0;
        else if (!std::strcmp(name, "printer-state-reasons") && ippGetValueTag(attribute) == IPP_TAG_KEYWORD) {
            constexpr int kShownReasons = 8;
            for (int i = 0; i < ippGetCount(attribute) && i < kShownReasons; ++i) {
                const QString reason = safeMessageLine(QString::fromUtf8(ippGetString(attribute, i, nullptr)), 60);
                if (reason != QLatin1String("none"))
                    state->reasons << reason;
            }
        }
    }
    return attribute;
}

// Why the server at `host` and `port` takes no connection, asked with a plain connect of each of its
// addresses (libcups words every such failure as "Host is down"); waits at most `atMost` for each.
QString connectFault(const QByteArray& host, int port, int atMost)
{
    const QByteArray service = QByteArray::number(port);
    http_addrlist_t* addresses = httpAddrGetList(host.constData(), AF_UNSPEC, service.constData());
    if (!addresses)
        return QStringLiteral("the host is not known (%1)").arg(QString::fromUtf8(cupsLastErrorString()));
    int error = 0;
    for (http_addrlist_t* address = addresses; address; address = address->next) {
        const int fd = ::socket(httpAddrFamily(&address->addr), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = errno;
            continue;
        }
        error = 0;
        if (::connect(fd, &address->addr.addr, socklen_t(httpAddrLength(&address->addr))) != 0) {
            error = errno;
            pollfd watch{fd, POLLOUT, 0};
            if (error == EINPROGRESS) {
                error = ETIMEDOUT;
                if (::poll(&watch, 1, atMost) == 1) {
                    socklen_t size = sizeof error;
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
                }
            }
        }
        ::close(fd);
        if (error == 0)
            break;
    }
    httpAddrFreeList(addresses);
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QString::fromUtf8(cupsLastErrorString());
}

// A request about `queue` (the server itself when empty) from the user of this thread.
ipp_t* printerRequest(ipp_op_t operation, const QString& queue)
{
    ipp_t* request = ippNewRequest(operation);
    if (!queue.isEmpty()) {
        char uri[HTTP_MAX_URI];
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                         queue.toUtf8().constData());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    }
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

ipp_t* stateRequest(ipp_op_t operation, const QString& queue)
{
    ipp_t* request = printerRequest(operation, queue);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(kQueueAttributes)),
                  nullptr, kQueueAttributes);
    return request;
}

} // namespace

QString CupsQueueState::describe() const
{
    QString text = state == 3   ? QStringLiteral("idle")
                   : state == 4 ? QStringLiteral("printing")
                   : state == 5 ? QStringLiteral("stopped")
                                : QStringLiteral("state %1").arg(state);
    text += accepting ? QLatin1String(", accepting jobs") : QLatin1String(", not accepting jobs");
    if (!message.isEmpty())
        text += QStringLiteral(": %1").arg(message);
    if (!reasons.isEmpty())
        text += QStringLiteral(" (%1)").arg(reasons.join(QLatin1String(", ")));
    return text;
}

QString CupsQueueState::refusal() const
{
    QString why;
    if (!accepting)
        why = QStringLiteral("queue %1 does not accept jobs").arg(name);
    else if (stopped())
        why = QStringLiteral("queue %1 is stopped").arg(name);
    else
        return {};
    if (!message.isEmpty())
        why += QStringLiteral(": %1").arg(message);
    if (!reasons.isEmpty())
        why += QStringLiteral(" (%1)").arg(reasons.join(QLatin1String(", ")));
    return why;
}

CupsConnection::CupsConnection(const CupsServer& server, const DestinationTimeouts& timeouts,
                               const std::atomic<bool>& givenUp)
    : server_(server), timeouts_(timeouts), givenUp_(givenUp)
{
}

CupsConnection::~CupsConnection()
{
    close();
}

void CupsConnection::close()
{
    if (http_) {
        resetOnClose(httpGetFd(http_), documentOpen_);
        httpClose(http_);
    }
    http_ = nullptr;
    documentOpen_ = false;
}

void CupsConnection::chooseServer()
{
    // Per thread in libcups: set on the thread that uses this connection.
    cupsSetPasswordCB2(noPassword, nullptr);
    port_ = server_.port;
    encryption_ = server_.encrypted ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED;
    if (server_.host.isEmpty()) {
        host_ = cupsServer();
        port_ = ippPort();
        encryption_ = cupsEncryption();
    } else {
        host_ = server_.host.toUtf8();
    }
    const QString hostText =
        visibleForMessage(QString::fromUtf8(host_), host_.startsWith('/') ? kShownPathLength : kShownValueLength);
    if (host_.startsWith('/'))
        shown_ = hostText;
    else if (hostText.contains(QLatin1Char(':')))
        shown_ = QStringLiteral("[%1]:%2").arg(hostText, QString::number(port_));
    else
        shown_ = QStringLiteral("%1:%2").arg(hostText, QString::number(port_));
    user_ = safeMessageLine(QString::fromUtf8(cupsUser()), 60);
}

QString CupsConnection::connect()
{
    close();
    connectTimedOut_ = false;
    if (shown_.isEmpty())
        chooseServer();
    const auto started = std::chrono::steady_clock::now();
    http_ = httpConnect2(host_.constData(), port_, nullptr, AF_UNSPEC, http_encryption_t(encryption_), 1,
                         int(timeouts_.connect.count()), nullptr);
    if (!http_ || givenUp_) {
        close();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            timeouts_.connect - (std::chrono::steady_clock::now() - started));
        connectTimedOut_ = left.count() <= 0;
        const QString why = left.count() <= 0 || givenUp_
                                ? QStringLiteral("no answer within %1 s").arg(secondsText(timeouts_.connect))
                                : connectFault(host_, port_, int(left.count()));
        return QStringLiteral("cannot reach the CUPS server at %1: %2").arg(shown_, safeMessageLine(why, 200));
    }
    return {};
}

int CupsConnection::timedOut(http_t* http, void* self)
{
    auto* connection = static_cast<CupsConnection*>(self);
    if (!connection->sliced_ || connection->givenUp_) {
        connection->timedOut_ = !connection->givenUp_;
        connection->statusWhenTimedOut_ = httpGetStatus(http);
        return 0;
    }
    // Progress is the server taking bytes: what waits in the connection's send queue changes.
    int queued = -1;
    if (::ioctl(httpGetFd(http), SIOCOUTQ, &queued) != 0)
        queued = -1;
    const auto now = std::chrono::steady_clock::now();
    if (queued != connection->lastQueued_) {
        connection->lastQueued_ = queued;
        connection->lastProgress_ = now;
        return 1;
    }
    if (now - connection->lastProgress_ < connection->waitCap_)
        return 1;
    connection->timedOut_ = true;
    connection->statusWhenTimedOut_ = httpGetStatus(http);
    return 0;
}

void CupsConnection::startWait(std::chrono::milliseconds cap)
{
    waitCap_ = cap;
    timedOut_ = false;
    sliced_ = false;
    // Also the socket's own send and receive time-outs. A short wait that the callback extends would end
    // a call early now and then in libcups 2.4, so each request gets its whole time-out at once.
    if (http_)
        httpSetTimeout(http_, double(cap.count()) / 1000.0, timedOut, this);
}

void CupsConnection::startSlicedWait(std::chrono::milliseconds cap)
{
    waitCap_ = cap;
    timedOut_ = false;
    sliced_ = true;
    lastQueued_ = -1;
    lastProgress_ = std::chrono::steady_clock::now();
    // libcups asks the callback after every slice that a write or read waited in vain (http_write() and
    // httpWait() both do), and fails the call as soon as it answers 0.
    if (http_)
        httpSetTimeout(http_, double(kWaitSlice.count()) / 1000.0, timedOut, this);
}

QString CupsConnection::transportFault() const
{
    // libcups marks a line that is not HTTP as an error and then waits for more: what timed out there had
    // answered junk first.
    if (timedOut_ && statusWhenTimedOut_ == HTTP_STATUS_ERROR)
        return QStringLiteral("answered something that is not IPP");
    if (timedOut_)
        return sliced_ ? QStringLiteral("took nothing for %1 s").arg(secondsText(waitCap_))
                       : QStringLiteral("did not answer within %1 s").arg(secondsText(waitCap_));
    // Seen on the socket itself: libcups leaves no error behind for a write that met a reset connection.
    if (http_) {
        pollfd watch{httpGetFd(http_), POLLRDHUP, 0};
        if (::poll(&watch, 1, 0) == 1 && (watch.revents & (POLLHUP | POLLRDHUP | POLLERR)))
            return QStringLiteral("closed the connection");
    }
    const int error = http_ ? httpError(http_) : 0;
    switch (error) {
    case EPIPE:
    case ECONNRESET:
    case ENOTCONN:
    case ESHUTDOWN:
        return QStringLiteral("closed the connection");
    case ETIMEDOUT:
    case EWOULDBLOCK:
        return QStringLiteral("did not answer within %1 s").arg(secondsText(waitCap_));
    case 0:
    case EINVAL:
        // libcups leaves no error for a line that is not HTTP and sets EINVAL for a body that is not IPP.
        return QStringLiteral("answered something that is not IPP");
    default:
        return QStringLiteral("failed: %1").arg(safeMessageLine(QString::fromLocal8Bit(std::strerror(error)), 200));
    }
}

QString CupsConnection::requestFailure(const QString& queue, const QString& what, ipp_t* response) const
{
    if (givenUp_)
        return QStringLiteral("stopped before the CUPS server at %1 answered").arg(shown_);
    const http_status_t http = http_ ? httpGetStatus(http_) : HTTP_STATUS_ERROR;
    if (!response || timedOut_) {
        switch (http) {
        case HTTP_STATUS_UNAUTHORIZED:
        case HTTP_STATUS_FORBIDDEN:
            return QStringLiteral("the CUPS server at %1 refused user %2: HTTP %3 (%4)")
                .arg(shown_, user_, QString::number(int(http)),
                     safeMessageLine(QString::fromUtf8(httpStatus(http)), 60));
        case HTTP_STATUS_ERROR:
        case HTTP_STATUS_CONTINUE:
        case HTTP_STATUS_OK:
            return QStringLiteral("the CUPS server at %1 %2 (asked to %3)").arg(shown_, transportFault(), what);
        default:
            return QStringLiteral("the CUPS server at %1 could not %2: it answered HTTP %3 (%4)")
                .arg(shown_, what, QString::number(int(http)),
                     safeMessageLine(QString::fromUtf8(httpStatus(http)), 60));
        }
    }
    const QString said = serverSaid(response);
    switch (ippGetStatusCode(response)) {
    case IPP_STATUS_ERROR_NOT_FOUND:
        if (!queue.isEmpty())
            return QStringLiteral("there is no queue %1 on the CUPS server at %2").arg(queue, shown_);
        break;
    case IPP_STATUS_ERROR_NOT_AUTHORIZED:
    case IPP_STATUS_ERROR_FORBIDDEN:
    case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
    case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED:
        return QStringLiteral("the CUPS server at %1 refused user %2: %3").arg(shown_, user_, said);
    default:
        break;
    }
    return QStringLiteral("the CUPS server at %1 could not %2: %3").arg(shown_, what, said);
}

QString CupsConnection::queryQueue(const QString& queue, CupsQueueState* state)
{
    startWait(timeouts_.service);
    ipp_t* response = cupsDoRequest(http_, stateRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, queue), "/");
    if (!response || !succeeded(ippGetStatusCode(response))) {
        const QString why = requestFailure(queue, QStringLiteral("report on queue %1").arg(queue), response);
        ippDelete(response);
        return why;
    }
    ipp_attribute_t* first = ippFirstAttribute(response);
    while (first && ippGetGroupTag(first) != IPP_TAG_PRINTER)
        first = ippNextAttribute(response);
    *state = CupsQueueState{};
    readQueue(response, first, state);
    if (state->name.isEmpty())
        state->name = queue;
    ippDelete(response);
    return {};
}

QString CupsConnection::listQueues(QList<CupsQueueState>* queues)
{
    startWait(timeouts_.service);
    ipp_t* response = cupsDoRequest(http_, stateRequest(IPP_OP_CUPS_GET_PRINTERS, QString()), "/");
    // A server without queues answers "not found".
    if (response && ippGetStatusCode(response) == IPP_STATUS_ERROR_NOT_FOUND) {
        ippDelete(response);
        queues->clear();
        return {};
    }
    if (!response || !succeeded(ippGetStatusCode(response))) {
        const QString why = requestFailure(QString(), QStringLiteral("list its queues"), response);
        ippDelete(response);
        return why;
    }
    queues->clear();
    ipp_attribute_t* attribute = ippFirstAttribute(response);
    while (attribute) {
        if (ippGetGroupTag(attribute) != IPP_TAG_PRINTER) {
            attribute = ippNextAttribute(response);
            continue;
        }
        CupsQueueState state;
        attribute = readQueue(response, attribute, &state);
        if (!state.name.isEmpty())
            queues->append(state);
    }
    ippDelete(response);
    return {};
}

QString CupsConnection::startJob(const QString& queue, const QString& title, std::atomic<int>* jobId,
                                 std::atomic<bool>* documentStarted)
{
    startWait(timeouts_.service);
    const QByteArray name = queue.toUtf8();
    const QByteArray titleBytes = title.toUtf8();
    ipp_t* request = printerRequest(IPP_OP_CREATE_JOB, queue);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, titleBytes.constData());
    ipp_t* response = cupsDoRequest(http_, request, ("/printers/" + name).constData());
    ipp_attribute_t* id = response ? ippFindAttribute(response, "job-id", IPP_TAG_INTEGER) : nullptr;
    const int created = response && succeeded(ippGetStatusCode(response)) && id ? ippGetInteger(id, 0) : 0;
    if (created <= 0) {
        const QString why = requestFailure(queue, QStringLiteral("create a job on queue %1").arg(queue), response);
        ippDelete(response);
        return why;
    }
    ippDelete(response);
    *jobId = created;
    // From here on, until the server has answered for the complete document, the connection is reset when
    // it goes, whether this object closes it or the process ends.
    documentOpen_ = true;
    pending_.clear();
    sent_ = 0;
    resetOnClose(httpGetFd(http_), true);
    *documentStarted = true;
    startWait(timeouts_.service);
    const http_status_t status =
        cupsStartDocument(http_, name.constData(), created, titleBytes.constData(), CUPS_FORMAT_RAW, 1);
    if (status != HTTP_STATUS_CONTINUE)
        return requestFailure(queue, QStringLiteral("take the document of job %1").arg(created), nullptr);
    return {};
}

QString CupsConnection::write(const QByteArray& bytes)
{
    // Label jobs are a few hundred bytes: gathered into pieces, so that neither the server nor the
    // connection handles a chunk of its own for each.
    constexpr qsizetype kGathered = 32 * 1024;
    pending_ += bytes;
    return pending_.size() < kGathered ? QString() : sendPending();
}

QString CupsConnection::sendPending()
{
    constexpr qsizetype kPiece = 64 * 1024;
    const auto failed = [&](const QString& why) {
        return QStringLiteral("the CUPS server at %1 %2 after %3 bytes of the document")
            .arg(shown_, givenUp_ ? QStringLiteral("was given up") : why, QString::number(sent_));
    };
    for (qsizetype done = 0; done < pending_.size(); done += kPiece) {
        if (givenUp_)
            return QStringLiteral("stopped while the job went to the CUPS server at %1").arg(shown_);
        const qsizetype size = std::min(kPiece, pending_.size() - done);
        startSlicedWait(timeouts_.service);
        // libcups keeps a short piece in its buffer, and a flush of that buffer that fails inside a later
        // write is dropped without a word; so every piece is flushed here, and the flush checked.
        http_status_t status = cupsWriteRequestData(http_, pending_.constData() + done, size_t(size));
        if (status == HTTP_STATUS_CONTINUE && httpGetPending(http_) > 0 && httpFlushWrite(http_) < 0)
            status = HTTP_STATUS_ERROR;
        // A server that answers before the end of the document has refused it or gone away.
        if (status == HTTP_STATUS_CONTINUE && httpWait(http_, 0))
            status = httpUpdate(http_);
        if (status == HTTP_STATUS_ERROR)
            return failed(transportFault());
        if (status != HTTP_STATUS_CONTINUE)
            return failed(
                QStringLiteral("refused the document: HTTP %1 (%2)")
                    .arg(QString::number(int(status)), safeMessageLine(QString::fromUtf8(httpStatus(status)), 60)));
        sent_ += size;
    }
    pending_.clear();
    return {};
}

QString CupsConnection::finishJob(const QString& queue)
{
    if (const QString why = sendPending(); !why.isEmpty())
        return why;
    startSlicedWait(timeouts_.service);
    // What cupsFinishDocument() does, keeping the answer: the last, empty chunk ends the document, and
    // only the server's answer to the whole request says that it took all of it.
    ipp_t* response = cupsGetResponse(http_, ("/printers/" + queue.toUtf8()).constData());
    QString why;
    if (!response || !succeeded(ippGetStatusCode(response)))
        why = requestFailure(queue, QStringLiteral("accept the job"), response);
    else
        documentOpen_ = false;
    ippDelete(response);
    return why;
}

QString CupsConnection::cancelJob(const QString& queue, int jobId, bool* answered)
{
    *answered = false;
    startWait(timeouts_.service);
    ipp_t* request = printerRequest(IPP_OP_CANCEL_JOB, queue);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    ipp_t* response = cupsDoRequest(http_, request, "/jobs/");
    if (response && succeeded(ippGetStatusCode(response))) {
        ippDelete(response);
        return {};
    }
    QString why = requestFailure(queue, QStringLiteral("cancel job %1").arg(jobId), response);
    *answered = response != nullptr;
    ippDelete(response);
    if (!*answered)
        return why;
    // Refused: a job that had ended already may have ended without printing.
    startWait(timeouts_.service);
    ipp_t* query = printerRequest(IPP_OP_GET_JOB_ATTRIBUTES, queue);
    ippAddInteger(query, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    ippAddString(query, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-state");
    ipp_t* state = cupsDoRequest(http_, query, "/jobs/");
    ipp_attribute_t* value = state ? ippFindAttribute(state, "job-state", IPP_TAG_ENUM) : nullptr;
    const int jobState = value ? ippGetInteger(value, 0) : 0;
    ippDelete(state);
    if (jobState == IPP_JSTATE_CANCELED || jobState == IPP_JSTATE_ABORTED)
        return {};
    if (jobState == IPP_JSTATE_COMPLETED)
        why = QStringLiteral("the CUPS server at %1 has printed job %2 already").arg(shown_, QString::number(jobId));
    return why;
}

QString cancelCupsJob(const CupsServer& cupsServer, const DestinationTimeouts& timeouts, const QString& queue,
                      int jobId, std::chrono::milliseconds bound)
{
    const auto end = std::chrono::steady_clock::now() + bound;
    const std::atomic<bool> neverGivenUp{false};
    QString why;
    QString server;
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            // The attempts' own time-outs are what was left of the bound: the bound is what to say.
            return timedOut ? QStringLiteral("the CUPS server at %1 did not answer within %2 s")
                                  .arg(server, secondsText(bound))
                            : why;
        }
        DestinationTimeouts attempt = timeouts;
        attempt.connect = std::min(timeouts.connect, left);
        attempt.service = std::max(std::chrono::milliseconds(100), std::min(timeouts.service, left));
        CupsConnection connection(cupsServer, attempt, neverGivenUp);
        why = connection.connect();
        bool answered = false;
        if (why.isEmpty()) {
            why = connection.cancelJob(queue, jobId, &answered);
            if (why.isEmpty())
                return {};
        }
        // A server that is gone or hung may answer a moment later; one that answered has said its last word.
        if (answered)
            return why;
        server = connection.serverShown();
        timedOut = connection.timedOut();
        QThread::msleep(100);
    }
}
