#include "support/printer_stand_ins.h"

#include "output/destination.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads from `fd` as `reading` says until `stop` is set or the other end is done; appends to `received`.
// Reads nothing while `paused` is set.
void readAsTold(int fd, Reading reading, qint64 goneAfter, const std::atomic<bool>& stop, std::mutex& mutex,
                QByteArray& received, const std::atomic<bool>& paused)
{
    char chunk[65536];
    qint64 total = 0;
    while (!stop) {
        if (reading == Reading::Never || paused) {
            QThread::msleep(20); // what waits stays unread, without keeping a core busy
            continue;
        }
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 20) <= 0)
            continue;
        qint64 want = reading == Reading::Slowly ? 1024 : qint64(sizeof chunk);
        if (reading == Reading::GoesAway)
            want = std::min<qint64>(want, goneAfter - total);
        const ssize_t n = want > 0 ? ::read(fd, chunk, size_t(want)) : 0;
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return; // a connection reset by the sender ends here
        if (n > 0) {
            const std::lock_guard<std::mutex> lock(mutex);
            received.append(chunk, n);
            total += n;
        }
        if (reading == Reading::GoesAway && total >= goneAfter)
            return;
        if (n == 0 && reading != Reading::GoesAway)
            QThread::msleep(2); // a FIFO without a writer reads as ended until one comes
        if (reading == Reading::Slowly)
            QThread::msleep(2);
    }
}

QByteArray waitFor(std::mutex& mutex, const QByteArray& received, qint64 bytes, int ms)
{
    const QDeadlineTimer deadline(ms);
    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (received.size() >= bytes || deadline.hasExpired())
                return received;
        }
        QThread::msleep(2);
    }
}

} // namespace

int listenOnLoopback(quint16* port, int receiveBuffer)
{
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0)
        return -1;
    // Inherited by the accepted connection: a small window makes unread bytes soon stop the sender.
    if (receiveBuffer > 0)
        ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener, 4) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return listener;
}

LoopbackServer::LoopbackServer(Handler handle, int receiveBuffer, int acceptFlags)
{
    listener_ = listenOnLoopback(&port_, receiveBuffer);
    if (listener_ < 0)
        return;
    thread_ = std::thread([this, handle = std::move(handle), acceptFlags] {
        while (!stop_) {
            pollfd entry{listener_, POLLIN, 0};
            if (::poll(&entry, 1, 20) <= 0)
                continue;
            const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | acceptFlags);
            if (connection < 0)
                continue;
            handle(connection, stop_);
            ::close(connection);
        }
    });
}

LoopbackServer::~LoopbackServer()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

QString LoopbackServer::address() const
{
    return QStringLiteral("socket://127.0.0.1:%1").arg(port_);
}

LoopbackPrinter::LoopbackPrinter(Reading reading, qint64 goneAfter)
    : reading_(reading), goneAfter_(goneAfter), paused_(reading == Reading::Paused),
      server_(
          [this](int connection, const std::atomic<bool>& stop) {
              ++connections_;
              readAsTold(connection, reading_, goneAfter_, stop, mutex_, received_, paused_);
          },
          reading != Reading::Never && reading != Reading::Paused ? 0 : 4096)
{
}

LoopbackPrinter::~LoopbackPrinter() = default;

QByteArray LoopbackPrinter::received(qint64 bytes, int ms) const
{
    return waitFor(mutex_, received_, bytes, ms);
}

quint16 refusedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd); // bound but never listening: nothing answers there
    return port;
}

FifoPrinter::FifoPrinter(Reading reading, qint64 goneAfter) : reading_(reading), goneAfter_(goneAfter)
{
    const QString path = dir_.filePath(QStringLiteral("printer"));
    if (!dir_.isValid() || ::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
        return;
    path_ = path;
    if (reading == Reading::NoReader)
        return;
    reader_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (reading == Reading::Never) {
        const int filler = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        const QByteArray chunk(4096, 'F');
        while (::write(filler, chunk.constData(), size_t(chunk.size())) > 0) {
        }
        ::close(filler);
    }
    thread_ = std::thread([this] {
        serve();
        ::close(reader_);
        reader_ = -1;
    });
}

FifoPrinter::~FifoPrinter()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (reader_ >= 0)
        ::close(reader_);
}

QByteArray FifoPrinter::received(qint64 bytes, int ms) const
{
    return waitFor(mutex_, received_, bytes, ms);
}

void FifoPrinter::serve()
{
    static const std::atomic<bool> never{false};
    readAsTold(reader_, reading_, goneAfter_, stop_, mutex_, received_, never);
}

QByteArray bulkyJob(qint64 bytes)
{
    QByteArray job;
    job.reserve(bytes);
    for (qint64 i = 0; i < bytes; ++i)
        job.append(char('A' + i % 26));
    return job;
}

StandInPrinter::StandInPrinter(PrinterKind kind, Reading reading, qint64 goneAfter)
{
    switch (kind) {
    case PrinterKind::File:
        address = dir_.filePath(QStringLiteral("printer"));
        QFile(address).open(QIODevice::WriteOnly);
        break;
    case PrinterKind::Folder:
        address = dir_.path();
        break;
    case PrinterKind::Missing:
        address = dir_.filePath(QStringLiteral("no-such-printer"));
        break;
    case PrinterKind::Fifo:
        fifo = std::make_unique<FifoPrinter>(reading, goneAfter);
        address = fifo->path();
        break;
    case PrinterKind::Network:
        network = std::make_unique<LoopbackPrinter>(reading, goneAfter);
        address = network->address();
        break;
    case PrinterKind::RefusedPort:
        address = QStringLiteral("socket://127.0.0.1:%1").arg(refusedLoopbackPort());
        break;
    case PrinterKind::Terminal:
        terminal = std::make_unique<PseudoTerminal>();
        address = terminal->slavePath();
        break;
    }
}

StandInPrinter::~StandInPrinter() = default;

void StandInPrinter::serve()
{
    if (terminal)
        terminalGot_ += terminal->read();
}

QByteArray StandInPrinter::received(qint64 bytes)
{
    if (fifo)
        return fifo->received(bytes);
    if (network)
        return network->received(bytes);
    if (terminal) {
        const QDeadlineTimer deadline(5000);
        for (serve(); terminalGot_.size() < bytes && !deadline.hasExpired(); serve())
            QThread::msleep(2);
        return terminalGot_;
    }
    return readFile(address);
}

QString printJobs(Destination& destination, const QList<QByteArray>& jobs)
{
    if (!destination.open())
        return destination.errorString();
    for (const QByteArray& job : jobs) {
        if (!destination.send(job) || !destination.confirm()) {
            const QString cause = destination.errorString();
            destination.abandon();
            return cause;
        }
    }
    return destination.close() ? QString() : destination.errorString();
}

AnsweringPrinter::AnsweringPrinter(const QByteArray& answer, bool endless)
    : answer_(answer), endless_(endless),
      server_([this](int connection, const std::atomic<bool>& stop) { this->answer(connection, stop); }, 0,
              SOCK_NONBLOCK)
{
}

AnsweringPrinter::~AnsweringPrinter() = default;

QByteArray AnsweringPrinter::received(qint64 bytes, int ms) const
{
    return waitFor(mutex_, received_, bytes, ms);
}

void AnsweringPrinter::answer(int fd, const std::atomic<bool>& stop)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        received_.clear();
    }
    bool answered = false;
    while (!stop) {
        pollfd entry{fd, short(POLLIN | (answered && endless_ ? POLLOUT : 0)), 0};
        if (::poll(&entry, 1, 20) <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = (entry.revents & POLLIN) ? ::read(fd, chunk, sizeof chunk) : -1;
        if (n == 0)
            break; // the other end has gone
        if (n > 0) {
            const std::lock_guard<std::mutex> lock(mutex_);
            received_.append(chunk, n);
        }
        if (!answered || endless_) {
            if (::send(fd, answer_.constData(), size_t(answer_.size()), MSG_NOSIGNAL) < 0 && errno != EAGAIN)
                break;
            answered = true;
        }
    }
}
