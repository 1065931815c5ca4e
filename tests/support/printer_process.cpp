#include "support/printer_process.h"

#include "support/test_files.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>

#include <sys/socket.h>

#include <csignal>
#include <limits>

namespace {
constexpr int kStartMs = 10000;
}

PrinterProcess::PrinterProcess(const QString& program, const QStringList& arguments)
{
    QStringList args;
    for (const QString& each : arguments) {
        if (each == QLatin1String("OUT"))
            args << outDir();
        else if (each == QLatin1String("LINK"))
            args << link();
        else
            args << each;
    }
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    endsWithTest(m_process);
    m_process.start(program, args);
    if (!m_process.waitForStarted(kStartMs)) {
        m_failure = QStringLiteral("the printer does not start: %1").arg(m_process.errorString());
        return;
    }
    const bool listens = args.contains(QLatin1String("--listen"));
    const bool serial = args.contains(QLatin1String("--serial"));
    const bool json = args.contains(QLatin1String("json"));
    if (listens &&
        !waitForLog(json ? QStringLiteral("\"event\":\"listening\"") : QStringLiteral("listening on "), 1, kStartMs)) {
        m_failure = QStringLiteral("the printer does not listen: %1").arg(log().join(QLatin1Char('\n')));
        return;
    }
    if (serial &&
        !waitForLog(json ? QStringLiteral("\"event\":\"serial\"") : QStringLiteral("serial line "), 1, kStartMs)) {
        m_failure = QStringLiteral("the printer has no serial line: %1").arg(log().join(QLatin1Char('\n')));
        return;
    }
    static const QRegularExpression listening(QStringLiteral("(?:listening on |\"address\":\")127\\.0\\.0\\.1:(\\d+)"));
    for (const QString& line : std::as_const(m_lines)) {
        const QRegularExpressionMatch match = listening.match(line);
        if (match.hasMatch())
            m_port = quint16(match.captured(1).toUInt());
    }
    m_ready = true;
}

PrinterProcess::~PrinterProcess()
{
    if (m_process.state() != QProcess::NotRunning)
        stop(SIGTERM);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString PrinterProcess::socketAddress() const
{
    return QStringLiteral("socket://127.0.0.1:%1").arg(m_port);
}

QString PrinterProcess::outDir() const
{
    return m_dir.filePath(QStringLiteral("out"));
}

QString PrinterProcess::link() const
{
    return m_dir.filePath(QStringLiteral("com1"));
}

QString PrinterProcess::labelPath(int number) const
{
    return QDir(outDir()).filePath(QStringLiteral("label-%1.png").arg(number, 6, 10, QLatin1Char('0')));
}

void PrinterProcess::readLog()
{
    m_partial += m_process.readAll();
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines << QString::fromUtf8(m_partial.left(end));
        m_partial.remove(0, end + 1);
    }
}

QStringList PrinterProcess::log()
{
    m_process.waitForReadyRead(0);
    readLog();
    return m_lines;
}

int PrinterProcess::logCount(const QString& text)
{
    const QStringList lines = log();
    return int(std::count_if(lines.begin(), lines.end(), [&](const QString& line) { return line.contains(text); }));
}

bool PrinterProcess::waitForLog(const QString& text, int count, int ms)
{
    const QDeadlineTimer deadline(ms);
    for (;;) {
        readLog();
        if (logCount(text) >= count)
            return true;
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return logCount(text) >= count;
        m_process.waitForReadyRead(50);
    }
}

QByteArray PrinterProcess::exchange(const QByteArray& bytes, qint64 replyBytes, int ms)
{
    return exchange(bytes, replyBytes, QByteArray(), ms);
}

QByteArray PrinterProcess::exchange(const QByteArray& bytes, const QByteArray& end, int ms)
{
    return exchange(bytes, std::numeric_limits<qint64>::max(), end, ms);
}

QByteArray PrinterProcess::exchangeClosingFirst(const QByteArray& bytes, qint64 replyBytes, int ms)
{
    return exchange(bytes, replyBytes, QByteArray(), ms, true);
}

QByteArray PrinterProcess::exchange(const QByteArray& bytes, qint64 replyBytes, const QByteArray& end, int ms,
                                    bool closeFirst)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    if (!socket.waitForConnected(ms)) {
        m_failure = QStringLiteral("cannot connect: %1").arg(socket.errorString());
        return {};
    }
    socket.write(bytes);
    const QDeadlineTimer deadline(ms);
    while (socket.bytesToWrite() > 0 && !deadline.hasExpired())
        socket.waitForBytesWritten(50);
    if (closeFirst)
        ::shutdown(int(socket.socketDescriptor()), SHUT_WR);
    QByteArray replies;
    while (replies.size() < replyBytes && (end.isEmpty() || !replies.endsWith(end)) && !deadline.hasExpired()) {
        socket.waitForReadyRead(50);
        replies += socket.readAll();
    }
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(ms);
    return replies;
}

void PrinterProcess::control(const QByteArray& line)
{
    m_process.write(line + '\n');
    m_process.waitForBytesWritten(1000);
}

qint64 PrinterProcess::peakMemoryKb() const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression peak(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    return peak.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong();
}

int PrinterProcess::stop(int signal)
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitCode();
    ::kill(pid_t(m_process.processId()), signal);
    if (!m_process.waitForFinished(10000))
        return -1;
    readLog();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}
