#include "output/cups_client.h"

#include "output/safe_text.h"

#include <cups/cups.h>

#include <cerrno>
#include <cstring>
#include <poll.h>
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
    if (http_)
        httpClose(http_);
    http_ = nullptr;
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
    const QString hostText = safeMessageLine(QString::fromUtf8(host_), 120);
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
    if (shown_.isEmpty())
        chooseServer();
    const auto started = std::chrono::steady_clock::now();
    http_ = httpConnect2(host_.constData(), port_, nullptr, AF_UNSPEC, http_encryption_t(encryption_), 1,
                         int(timeouts_.connect.count()), nullptr);
    if (!http_ || givenUp_) {
        close();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            timeouts_.connect - (std::chrono::steady_clock::now() - started));
        const QString why = left.count() <= 0 || givenUp_
                                ? QStringLiteral("no answer within %1 s").arg(secondsText(timeouts_.connect))
                                : connectFault(host_, port_, int(left.count()));
        return QStringLiteral("cannot reach the CUPS server at %1: %2").arg(shown_, safeMessageLine(why, 200));
    }
    return {};
}

int CupsConnection::timedOut(http_t*, void* self)
{
    static_cast<CupsConnection*>(self)->timedOut_ = true;
    return 0;
}

void CupsConnection::startWait(std::chrono::milliseconds cap)
{
    waitCap_ = cap;
    timedOut_ = false;
    // Also the socket's own send and receive time-outs. A short wait that the callback extends would end
    // a call early now and then in libcups 2.4, so each call gets its whole time-out at once.
    if (http_)
        httpSetTimeout(http_, double(cap.count()) / 1000.0, timedOut, this);
}

QString CupsConnection::requestFailure(const QString& queue, const QString& what) const
{
    if (timedOut_)
        return QStringLiteral("the CUPS server at %1 did not answer within %2 s").arg(shown_, secondsText(waitCap_));
    const ipp_status_t status = cupsLastError();
    const QString said = safeMessageLine(QString::fromUtf8(cupsLastErrorString()), 200);
    switch (status) {
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
    if (!response || !succeeded(cupsLastError())) {
        ippDelete(response);
        return requestFailure(queue, QStringLiteral("report on queue %1").arg(queue));
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
    if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) {
        ippDelete(response);
        queues->clear();
        return {};
    }
    if (!response || !succeeded(cupsLastError())) {
        ippDelete(response);
        return requestFailure(QString(), QStringLiteral("list its queues"));
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

QString CupsConnection::startJob(const QString& queue, const QString& title, int* jobId)
{
    startWait(timeouts_.service);
    const QByteArray name = queue.toUtf8();
    const QByteArray titleBytes = title.toUtf8();
    ipp_t* request = printerRequest(IPP_OP_CREATE_JOB, queue);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, titleBytes.constData());
    ipp_t* response = cupsDoRequest(http_, request, ("/printers/" + name).constData());
    ipp_attribute_t* id = response ? ippFindAttribute(response, "job-id", IPP_TAG_INTEGER) : nullptr;
    *jobId = succeeded(cupsLastError()) && id ? ippGetInteger(id, 0) : 0;
    ippDelete(response);
    if (*jobId <= 0) {
        *jobId = 0;
        return requestFailure(queue, QStringLiteral("create a job on queue %1").arg(queue));
    }
    startWait(timeouts_.service);
    if (cupsStartDocument(http_, name.constData(), *jobId, titleBytes.constData(), CUPS_FORMAT_RAW, 1) !=
        HTTP_STATUS_CONTINUE)
        return requestFailure(queue, QStringLiteral("take the document of job %1").arg(*jobId));
    return {};
}

QString CupsConnection::write(const QByteArray& bytes)
{
    constexpr qsizetype kPiece = 64 * 1024;
    for (qsizetype done = 0; done < bytes.size(); done += kPiece) {
        const qsizetype size = std::min(kPiece, bytes.size() - done);
        startWait(timeouts_.transfer(size));
        if (givenUp_ || cupsWriteRequestData(http_, bytes.constData() + done, size_t(size)) != HTTP_STATUS_CONTINUE)
            return requestFailure(QString(),
                                  QStringLiteral("take the job after %1 of %2 bytes").arg(done).arg(bytes.size()));
    }
    return {};
}

QString CupsConnection::finishJob(const QString& queue)
{
    startWait(timeouts_.service);
    if (!succeeded(cupsFinishDocument(http_, queue.toUtf8().constData())))
        return requestFailure(queue, QStringLiteral("accept the job"));
    return {};
}

QString CupsConnection::cancelJob(const QString& queue, int jobId)
{
    startWait(timeouts_.service);
    if (!succeeded(cupsCancelJob2(http_, queue.toUtf8().constData(), jobId, 0)))
        return requestFailure(queue, QStringLiteral("cancel job %1").arg(jobId));
    return {};
}
