#include "output/status_query.h"

#include "output/cups_library.h"
#include "output/safe_text.h"
#include "output/socket_destination.h"

#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// Short enough that the window stays lively while a printer takes its time.
constexpr int kSliceMs = 10;
// An answer to ^ee is a few codes; more than this without a line end is not an answer.
constexpr qsizetype kAnswerLimit = 256;

// The error and status codes of the EPL2 programmer's manual, in its words.
struct CodeMeaning
{
    int code;
    const char* words;
};
constexpr CodeMeaning kCodeMeanings[] = {
    {0, "no error"},
    {1, "syntax error"},
    {2, "object exceeded label border"},
    {3, "bar code data length error"},
    {4, "insufficient memory to store data"},
    {5, "memory configuration error"},
    {6, "RS-232 interface error"},
    {7, "paper or ribbon empty"},
    {8, "duplicate name: form, graphic or soft font"},
    {9, "name not found: form, graphic or soft font"},
    {10, "not in data entry mode"},
    {11, "print head up"},
    {12, "pause key selected"},
    {50, "printer busy, processing a print job"},
};

QString excerptOf(const QByteArray& bytes)
{
    return quotedForMessage(QString::fromLatin1(bytes), kShownValueLength);
}

PrinterStatus status(PrinterStatus::State state, const QString& text)
{
    PrinterStatus result;
    result.state = state;
    result.text = text;
    return result;
}

int sliceMs(const QDeadlineTimer& deadline)
{
    return int(std::clamp<qint64>(deadline.remainingTime(), 0, kSliceMs));
}

QString openFailureHint(int error)
{
    switch (error) {
    case EACCES:
        return QStringLiteral(" (is your user in the lp or dialout group?)");
    case EBUSY:
        return QStringLiteral(" (is another program using the printer?)");
    case ENXIO:
    case ENODEV:
    case EIO:
        return QStringLiteral(" (is the printer connected and switched on?)");
    default:
        return {};
    }
}

bool setRawLine(int fd)
{
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return false;
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    settings.c_cflag &= ~tcflag_t(CSTOPB | PARENB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

} // namespace

QString statusCodeMeaning(int code)
{
    for (const CodeMeaning& each : kCodeMeanings) {
        if (each.code == code)
            return QString::fromLatin1(each.words);
    }
    return QStringLiteral("an error the manual does not list");
}

QString statusCodeText(int code)
{
    return QStringLiteral("%1: %2").arg(code, 2, 10, QLatin1Char('0')).arg(statusCodeMeaning(code));
}

QString silentPrinterReason()
{
    return QStringLiteral("the printer did not answer: it may not report status on this connection");
}

QString unknownMeaning()
{
    return QStringLiteral("\"unknown\" means the printer could not tell, not that it failed: the job may "
                          "well have printed");
}

QString statusStateName(PrinterStatus::State state)
{
    switch (state) {
    case PrinterStatus::State::Ready:
        return QStringLiteral("ready");
    case PrinterStatus::State::Fault:
        return QStringLiteral("fault");
    case PrinterStatus::State::Unknown:
        return QStringLiteral("unknown");
    case PrinterStatus::State::Failed:
        break;
    }
    return QStringLiteral("could not be asked");
}

QString statusLine(const QString& name, const PrinterStatus& status)
{
    QString line = QStringLiteral("%1: %2: %3").arg(name, statusStateName(status.state), status.text);
    if (status.state == PrinterStatus::State::Unknown)
        line += QStringLiteral(" (%1)").arg(unknownMeaning());
    return line;
}

bool statusAnswerComplete(const QByteArray& bytes)
{
    // A line end after something other than line ends and flow-control bytes.
    bool content = false;
    for (char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (content)
                return true;
        } else if (c != kXon && c != kXoff) {
            content = true;
        }
    }
    return false;
}

namespace {

// The codes of the notices (NAK and two digits) in `bytes`, which are taken out of it.
QList<int> takeNotices(QByteArray* bytes)
{
    QList<int> noticed;
    for (qsizetype nak; (nak = bytes->indexOf(kNak)) >= 0 && nak + 2 < bytes->size() &&
                        std::isdigit(uchar(bytes->at(nak + 1))) && std::isdigit(uchar(bytes->at(nak + 2)));) {
        noticed << bytes->mid(nak + 1, 2).toInt();
        bytes->remove(nak, 3);
    }
    return noticed;
}

} // namespace

bool hasErrorNotice(const QByteArray& bytes)
{
    QByteArray rest = bytes;
    return !takeNotices(&rest).isEmpty();
}

PrinterStatus statusFromAnswer(const QByteArray& answer)
{
    // A printer whose error reporting (US) is on may put a notice (NAK and a code) and ACKs before the answer,
    // or a notice in place of it.
    QByteArray rest = answer;
    const QList<int> noticed = takeNotices(&rest);
    rest.replace(kAck, QByteArray());
    QByteArray line;
    for (char c : std::as_const(rest)) {
        if (c == kXon || c == kXoff)
            continue;
        if ((c == '\r' || c == '\n')) {
            if (!line.isEmpty())
                break;
            continue;
        }
        line += c;
    }
    if (line.isEmpty() && std::all_of(noticed.begin(), noticed.end(), [](int code) { return code == 0; }))
        return status(PrinterStatus::State::Unknown, silentPrinterReason());
    const QList<QByteArray> parts = line.isEmpty() ? QList<QByteArray>() : line.split(',');
    QList<int> codes;
    for (const QByteArray& part : parts) {
        if (part.size() != 2 || !std::isdigit(uchar(part[0])) || !std::isdigit(uchar(part[1]))) {
            return status(PrinterStatus::State::Unknown,
                          QStringLiteral("the printer answered %1, which is not a status").arg(excerptOf(line)));
        }
        codes << part.toInt();
    }
    codes += noticed;
    codes.removeAll(0);
    PrinterStatus result;
    if (codes.isEmpty()) {
        result.state = PrinterStatus::State::Ready;
        result.text = statusCodeText(0);
        return result;
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    QStringList words;
    for (int code : codes)
        words << statusCodeText(code);
    result.state = PrinterStatus::State::Fault;
    result.codes = codes;
    result.text = words.join(QLatin1String("; "));
    return result;
}

PrinterLink::PrinterLink(const QString& address) : address_(address), kind_(kindOf(address)) {}

PrinterLink::~PrinterLink()
{
    close();
}

PrinterLink::Kind PrinterLink::kindOf(const QString& address)
{
    if (address.startsWith(QLatin1String("socket://"), Qt::CaseInsensitive))
        return Kind::Network;
    if (isCupsAddress(address))
        return Kind::Cups;
    if (isTerminalDevice(address))
        return Kind::Serial;
    struct stat info
    {
    };
    if (address.startsWith(QLatin1String("/dev/usb/lp")) &&
        ::stat(QFile::encodeName(address).constData(), &info) == 0 && S_ISCHR(info.st_mode))
        return Kind::UsbDevice;
    return Kind::Silent;
}

bool PrinterLink::stopRequested()
{
    if (!wait_.stopRequested || !wait_.stopRequested())
        return false;
    stopped_ = true;
    return true;
}

QString PrinterLink::open(std::chrono::milliseconds timeout)
{
    ignoreBrokenPipes();
    stopped_ = false;
    close();
    if (kind_ == Kind::Network)
        return connectSocket(timeout);
    const QByteArray native = QFile::encodeName(address_);
    fd_ = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        return qt_error_string(error) + openFailureHint(error);
    }
    if (kind_ == Kind::Serial && !setRawLine(fd_)) {
        const QString why = qt_error_string(errno);
        close();
        return QStringLiteral("cannot set the line to 9600 8N1: %1").arg(why);
    }
    return {};
}

QString PrinterLink::connectSocket(std::chrono::milliseconds timeout)
{
    SocketAddress address;
    const QString bad = parseSocketAddress(address_, &address);
    if (!bad.isEmpty())
        return bad;
    const QDeadlineTimer deadline(timeout);
    const QByteArray host = address.host.toUtf8();
    const QByteArray port = QByteArray::number(address.port);
    // A name is looked up on a thread of its own, so that a slow name server never holds the caller.
    struct Lookup
    {
        std::atomic<bool> done{false};
        int status = 0;
        addrinfo* found = nullptr;
        ~Lookup()
        {
            if (found)
                ::freeaddrinfo(found);
        }
    };
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host, port] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        lookup->status = ::getaddrinfo(host.constData(), port.constData(), &hints, &lookup->found);
        lookup->done.store(true, std::memory_order_release);
    }).detach();
    while (!lookup->done.load(std::memory_order_acquire)) {
        if (stopRequested())
            return QStringLiteral("stopped before the printer was asked");
        if (deadline.hasExpired())
            return QStringLiteral("looking up %1 took longer than %2 s").arg(address.host, secondsText(timeout));
        if (wait_.pump)
            wait_.pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (lookup->status != 0 || !lookup->found)
        return QStringLiteral("host %1 not found (%2)")
            .arg(address.host, QString::fromLocal8Bit(::gai_strerror(lookup->status)));
    QString why;
    for (const addrinfo* each = lookup->found; each; each = each->ai_next) {
        close();
        fd_ = ::socket(each->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return qt_error_string(errno);
        if (::connect(fd_, each->ai_addr, each->ai_addrlen) == 0)
            return {};
        int error = errno;
        if (error == EINPROGRESS) {
            error = ETIMEDOUT;
            for (;;) {
                pollfd entry{fd_, POLLOUT, 0};
                if (::poll(&entry, 1, sliceMs(deadline)) == 1) {
                    socklen_t size = sizeof error;
                    ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size);
                    break;
                }
                if (stopRequested())
                    return QStringLiteral("stopped before the printer was asked");
                if (deadline.hasExpired())
                    break;
                if (wait_.pump)
                    wait_.pump();
            }
        }
        if (error == 0)
            return {};
        why = error == ECONNREFUSED ? QStringLiteral("%1 refused the connection").arg(address.shown())
              : error == ETIMEDOUT
                  ? QStringLiteral("%1 did not answer within %2 s").arg(address.shown(), secondsText(timeout))
                  : QStringLiteral("cannot connect to %1: %2").arg(address.shown(), qt_error_string(error));
        if (deadline.hasExpired())
            break;
    }
    close();
    return why;
}

QString PrinterLink::write(const QByteArray& bytes, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    qint64 done = 0;
    while (done < bytes.size()) {
        const long written = kind_ == Kind::Network
                                 ? ::send(fd_, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL)
                                 : ::write(fd_, bytes.constData() + done, size_t(bytes.size() - done));
        if (written > 0) {
            done += written;
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return QStringLiteral("%1 after %2 of %3 bytes").arg(qt_error_string(errno)).arg(done).arg(bytes.size());
        if (stopRequested())
            return QStringLiteral("stopped before the printer took everything");
        if (deadline.hasExpired())
            return QStringLiteral("took %1 of %2 bytes in %3 s and no more (is the printer switched on and online?)")
                .arg(done)
                .arg(bytes.size())
                .arg(secondsText(timeout));
        if (wait_.pump)
            wait_.pump();
        pollfd entry{fd_, POLLOUT, 0};
        ::poll(&entry, 1, sliceMs(deadline));
    }
    return {};
}

QByteArray PrinterLink::readUntil(const std::function<bool(const QByteArray&)>& complete, qsizetype limit,
                                  std::chrono::milliseconds timeout, bool* timedOut, QString* error)
{
    const QDeadlineTimer deadline(timeout);
    QByteArray read;
    *timedOut = false;
    for (;;) {
        char buffer[256];
        const qsizetype room = std::min<qsizetype>(qsizetype(sizeof buffer), limit - read.size());
        const long got = room > 0 ? ::read(fd_, buffer, size_t(room)) : 0;
        if (got > 0) {
            read.append(buffer, got);
            if (complete(read) || read.size() >= limit)
                return read;
            continue;
        }
        if (got == 0 && room > 0 && kind_ == Kind::Network) {
            *error = QStringLiteral("the printer closed the connection");
            return read;
        }
        if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            *error = qt_error_string(errno);
            return read;
        }
        if (stopRequested()) {
            *error = QStringLiteral("stopped before the printer answered");
            return read;
        }
        if (deadline.hasExpired()) {
            *timedOut = true;
            return read;
        }
        if (wait_.pump)
            wait_.pump();
        pollfd entry{fd_, POLLIN, 0};
        // A device that reports itself readable with nothing to read (a hung-up line) must not spin.
        if (::poll(&entry, 1, sliceMs(deadline)) == 1 && (entry.revents & (POLLHUP | POLLERR)) &&
            !(entry.revents & POLLIN))
            ::usleep(kSliceMs * 1000);
    }
}

void PrinterLink::discardInput()
{
    if (fd_ < 0)
        return;
    if (kind_ == Kind::Serial)
        ::tcflush(fd_, TCIFLUSH);
    char sink[512];
    for (int reads = 0; reads < 16; ++reads) {
        const long got =
            kind_ == Kind::Network ? ::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) : ::read(fd_, sink, sizeof sink);
        if (got <= 0)
            break;
    }
}

void PrinterLink::close()
{
    if (fd_ < 0)
        return;
    if (kind_ == Kind::Network)
        ::shutdown(fd_, SHUT_WR);
    if (kind_ == Kind::Serial) {
        // What is still on its way would be cut off by closing a line; a stuck line is not waited for long.
        const QDeadlineTimer deadline(kStatusTimeout);
        int pending = 0;
        while (::ioctl(fd_, TIOCOUTQ, &pending) == 0 && pending > 0 && !deadline.hasExpired() && !stopRequested()) {
            if (wait_.pump)
                wait_.pump();
            ::usleep(kSliceMs * 1000);
        }
    }
    ::close(fd_);
    fd_ = -1;
}

namespace {

PrinterStatus cupsStatus(const QString& address, const WaitControl& wait, std::chrono::milliseconds timeout)
{
    CupsQueueReport report;
    QString error;
    if (!queryCupsQueue(address, timeout, wait, &report, &error))
        return status(PrinterStatus::State::Failed, error);
    const QString described = report.description;
    if (report.stopped || !report.accepting)
        return status(PrinterStatus::State::Fault, described);
    for (const QString& reason : std::as_const(report.reasons)) {
        if (reason.endsWith(QLatin1String("-error")))
            return status(PrinterStatus::State::Fault, described);
    }
    return status(PrinterStatus::State::Ready, described);
}

} // namespace

PrinterStatus queryPrinterStatus(const QString& address, const WaitControl& wait, std::chrono::milliseconds timeout)
{
    const PrinterLink::Kind kind = PrinterLink::kindOf(address);
    if (kind == PrinterLink::Kind::Cups)
        return cupsStatus(address, wait, timeout);
    if (kind == PrinterLink::Kind::Silent) {
        const QByteArray native = QFile::encodeName(address);
        struct stat info
        {
        };
        if (address.isEmpty())
            return status(PrinterStatus::State::Failed, QStringLiteral("no printer is named (the address is empty)"));
        if (::stat(native.constData(), &info) != 0)
            return status(PrinterStatus::State::Failed, qt_error_string(errno));
        const QString why = S_ISFIFO(info.st_mode)  ? QStringLiteral("a pipe carries no answer from a printer")
                            : S_ISREG(info.st_mode) ? QStringLiteral("a file cannot report a printer's status")
                                                    : QStringLiteral("this device carries no answer from the printer");
        return status(PrinterStatus::State::Unknown, why);
    }
    const QDeadlineTimer deadline(timeout);
    const auto left = [&deadline] { return std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0)); };
    PrinterLink link(address);
    link.setWaitControl(wait);
    QString why = link.open(timeout);
    if (why.isEmpty()) {
        link.discardInput();
        why = link.write(QByteArray(kStatusQuery), left());
    }
    if (!why.isEmpty())
        return status(PrinterStatus::State::Failed, why);
    bool timedOut = false;
    QString error;
    const QByteArray answer = link.readUntil(statusAnswerComplete, kAnswerLimit, left(), &timedOut, &error);
    if (link.stopped())
        return status(PrinterStatus::State::Failed, error);
    // A connection that failed or closed says so; only a printer that said nothing is "did not answer".
    if (!error.isEmpty() && !statusAnswerComplete(answer))
        return status(PrinterStatus::State::Unknown, error);
    if (answer.trimmed().isEmpty())
        return status(PrinterStatus::State::Unknown, silentPrinterReason());
    if (!statusAnswerComplete(answer))
        return status(PrinterStatus::State::Unknown,
                      QStringLiteral("the printer answered %1, which is not a status").arg(excerptOf(answer)));
    return statusFromAnswer(answer);
}
