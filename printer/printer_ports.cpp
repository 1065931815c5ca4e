#include "printer/printer_ports.h"

#include "common/safe_text.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Bytes read and fed to the renderer at a time; the socket holds at most kSocketBuffer more.
constexpr qint64 kReadChunk = 64 * 1024;
constexpr qint64 kSocketBuffer = 256 * 1024;
// Replies waiting for a sender that does not read are dropped past this.
constexpr qint64 kMaxUnreadReplies = 64 * 1024;
// 9600 baud with a start and a stop bit: 960 bytes a second, read every 100 ms.
constexpr int kWireTickMs = 100;
constexpr qint64 kWireBytesPerTick = 96;

} // namespace

TcpPort::TcpPort(LabelPrinter& printer, int idleSeconds) : m_printer(printer), m_idleSeconds(idleSeconds)
{
    // Qt takes one connection off the backlog at a time; the rest wait in the kernel's backlog, as they
    // would for a printer busy with a job.
    m_server.setMaxPendingConnections(1);
    m_server.setListenBacklogSize(128);
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleSeconds * 1000);
    // Taken later, not inside the signal: QTcpServer goes on accepting in the same call while it has room
    // for a pending connection, and would take a second sender off the backlog while the first is served.
    connect(&m_server, &QTcpServer::newConnection, this, &TcpPort::serveNext, Qt::QueuedConnection);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        const QString why = QStringLiteral("nothing received for %1 s").arg(m_idleSeconds);
        m_printer.problem(m_session ? m_session->number() : 0, 0,
                          QStringLiteral("the connection is closed: %1 (--idle-timeout)").arg(why));
        endConnection(why);
    });
}

TcpPort::~TcpPort()
{
    close(QStringLiteral("the printer stopped"));
}

QString TcpPort::listen(const QHostAddress& address, quint16 port)
{
    if (!m_server.listen(address, port))
        return QStringLiteral("cannot listen on %1 port %2: %3")
            .arg(address.toString())
            .arg(port)
            .arg(m_server.errorString());
    return QString();
}

QString TcpPort::address() const
{
    const QHostAddress host = m_server.serverAddress();
    const QString shown = host.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]").arg(host.toString())
                                                                           : host.toString();
    return QStringLiteral("%1:%2").arg(shown).arg(m_server.serverPort());
}

void TcpPort::close(const QString& why)
{
    if (m_socket)
        endConnection(why);
    m_server.close();
}

void TcpPort::serveNext()
{
    if (m_socket || !m_server.hasPendingConnections())
        return;
    QTcpSocket* socket = m_server.nextPendingConnection();
    m_server.pauseAccepting();
    m_socket = socket;
    socket->setReadBufferSize(kSocketBuffer);
    m_repliesDropped = false;
    const QString peer = QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
    m_line.xoffSent = false;
    m_line.send = [this](const QByteArray& bytes) {
        if (!m_socket || bytes.isEmpty())
            return;
        if (m_socket->bytesToWrite() + bytes.size() > kMaxUnreadReplies) {
            if (!m_repliesDropped && m_session)
                m_printer.problem(m_session->number(), 0,
                                  QStringLiteral("the sender reads none of the replies: further replies are dropped"));
            m_repliesDropped = true;
            return;
        }
        // Handed to the system at once: a sender that has closed its side after its query still gets the
        // answer, which a buffer written later would lose when the connection ends.
        m_socket->write(bytes);
        m_socket->flush();
    };
    m_printer.attachLine(&m_line);
    m_session = m_printer.openSession(peer, &m_line);
    connect(socket, &QTcpSocket::readyRead, this, &TcpPort::readSome);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        readSome();
        endConnection(QStringLiteral("closed by the sender"));
    });
    m_idle.start();
    readSome();
}

void TcpPort::readSome()
{
    if (!m_socket || !m_session)
        return;
    char buffer[kReadChunk];
    while (m_socket && m_socket->bytesAvailable() > 0) {
        const qint64 got = m_socket->read(buffer, sizeof buffer);
        if (got <= 0)
            break;
        m_session->feed(QByteArrayView(buffer, got));
        // Counted from the end of the drawing, which may take long: the sender was not idle meanwhile.
        m_idle.start();
    }
}

void TcpPort::endConnection(const QString& why)
{
    m_idle.stop();
    if (m_session)
        m_session->finish(why);
    m_session.reset();
    m_printer.detachLine(&m_line);
    if (m_socket) {
        QTcpSocket* socket = m_socket;
        m_socket = nullptr;
        socket->disconnect(this);
        socket->flush();
        socket->disconnectFromHost();
        socket->deleteLater();
    }
    if (m_server.isListening()) {
        m_server.resumeAccepting();
        QTimer::singleShot(0, this, &TcpPort::serveNext);
    }
}

PrinterSerialLink::PrinterSerialLink(LabelPrinter& printer, bool wireSpeed) : m_printer(printer), m_wireSpeed(wireSpeed)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kSerialQuietMs);
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        if (m_session)
            m_session->finish(QStringLiteral("the line was quiet for %1 ms").arg(kSerialQuietMs));
        m_session.reset();
    });
    m_pace.setInterval(kWireTickMs);
    connect(&m_pace, &QTimer::timeout, this, [this] { readSome(kWireBytesPerTick); });
}

PrinterSerialLink::~PrinterSerialLink()
{
    close(QStringLiteral("the printer stopped"));
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

QString PrinterSerialLink::open(const QString& link)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return QStringLiteral("cannot open a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    const char* name = ::ptsname(m_master);
    if (!name)
        return QStringLiteral("cannot name the pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    m_device = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios raw{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &raw) != 0)
        return QStringLiteral("cannot open %1: %2").arg(m_device, QString::fromLocal8Bit(std::strerror(errno)));
    // Bytes pass unchanged, at the printer's 9600 baud, 8 data bits, no parity, 1 stop bit.
    ::cfmakeraw(&raw);
    ::cfsetispeed(&raw, B9600);
    ::cfsetospeed(&raw, B9600);
    ::tcsetattr(m_slave, TCSANOW, &raw);

    // An earlier run's link is replaced; anything else at that path is left alone.
    const QFileInfo existing(link);
    if (existing.isSymLink()) {
        if (!QFile::remove(link))
            return QStringLiteral("cannot replace the link %1").arg(visibleForMessage(link));
    } else if (existing.exists()) {
        return QStringLiteral("%1 already exists and is not a symbolic link").arg(visibleForMessage(link));
    }
    if (::symlink(name, QFile::encodeName(link).constData()) != 0)
        return QStringLiteral("cannot make the link %1: %2")
            .arg(visibleForMessage(link), QString::fromLocal8Bit(std::strerror(errno)));
    m_link = link;
    // The line is the printer's for its life: reporting reaches it between streams too.
    m_line.send = [this](const QByteArray& bytes) {
        const ssize_t written = ::write(m_master, bytes.constData(), size_t(bytes.size()));
        if (written != ssize_t(bytes.size()) && !m_repliesDropped) {
            m_printer.problem(m_session ? m_session->number() : 0, 0,
                              QStringLiteral("the sender reads none of the replies: a reply was dropped"));
            m_repliesDropped = true;
        }
    };
    m_printer.attachLine(&m_line);
    if (m_wireSpeed) {
        m_pace.start();
    } else {
        m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { readSome(kReadChunk); });
    }
    return QString();
}

void PrinterSerialLink::readSome(qint64 atMost)
{
    char buffer[kReadChunk];
    const ssize_t got = ::read(m_master, buffer, size_t(std::min<qint64>(atMost, sizeof buffer)));
    if (got <= 0)
        return; // EAGAIN: nothing waiting; EIO: no sender has the line open
    if (!m_session)
        m_session = m_printer.openSession(QStringLiteral("serial line %1").arg(m_link), &m_line);
    m_quiet.start();
    m_session->feed(QByteArrayView(buffer, got));
}

void PrinterSerialLink::close(const QString& why)
{
    m_pace.stop();
    m_quiet.stop();
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (m_session)
        m_session->finish(why);
    m_session.reset();
    m_printer.detachLine(&m_line);
    removeLink();
}

void PrinterSerialLink::removeLink()
{
    if (m_link.isEmpty())
        return;
    // Only the link this run made, still pointing at its own line.
    if (QFileInfo(m_link).isSymLink() && QFile::symLinkTarget(m_link) == m_device)
        QFile::remove(m_link);
    m_link.clear();
}
