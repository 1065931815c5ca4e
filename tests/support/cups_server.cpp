#include "support/cups_server.h"

#include "support/printer_stand_ins.h"
#include "support/test_files.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <QRandomGenerator>

#include <algorithm>
#include <csignal>
#include <cups/cups.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kStartMs = 15000;
constexpr int kToolMs = 10000;

// Keeps every job in DIR/job-ID; the device URI is capture:DIR. Run without arguments, it lists itself.
constexpr char kCaptureBackend[] = R"(#!/bin/sh
if [ $# -eq 0 ]; then
    echo 'direct capture "Unknown" "Test capture"'
    exit 0
fi
dir="${DEVICE_URI#capture:}"
if [ $# -ge 6 ]; then cat -- "$6"; else cat; fi > "$dir/.job-$1" || exit 1
mv -- "$dir/.job-$1" "$dir/job-$1"
)";

bool writeFile(const QString& path, const QByteArray& bytes, QFile::Permissions permissions)
{
    return ::writeFile(path, bytes) && QFile::setPermissions(path, permissions);
}

} // namespace

PrivateCupsServer::PrivateCupsServer()
{
    // A port found free may be taken before cupsd binds it: then again with another.
    for (int attempt = 0; attempt < 3; ++attempt) {
        failure_.clear();
        if (start())
            break;
    }
}

PrivateCupsServer::~PrivateCupsServer()
{
    stop();
}

bool PrivateCupsServer::fail(const QString& why)
{
    QFile log(dir_.filePath(QStringLiteral("log/error_log")));
    const QByteArray tail = log.open(QIODevice::ReadOnly) ? log.readAll().right(1500) : QByteArray();
    failure_ = tail.isEmpty() ? why : QStringLiteral("%1\n--- cupsd error_log:\n%2").arg(why, QString::fromUtf8(tail));
    return false;
}

bool PrivateCupsServer::start()
{
    if (!dir_.isValid())
        return fail(QStringLiteral("no temporary folder: %1").arg(dir_.errorString()));
    port_ = refusedLoopbackPort();
    if (port_ == 0)
        return fail(QStringLiteral("no free loopback port"));

    const QDir root(dir_.path());
    for (const char* folder : {"bin/backend", "bin/filter", "spool/temp", "log", "cache", "state", "capture"}) {
        if (!root.mkpath(QLatin1String(folder)))
            return fail(QStringLiteral("cannot make %1").arg(QLatin1String(folder)));
    }
    // cupsd starts backends through its own helper in ServerBin/daemon.
    const QString daemonFolder = root.filePath(QStringLiteral("bin/daemon"));
    if (!QFile::exists(daemonFolder) && !QFile::link(QStringLiteral("/usr/lib/cups/daemon"), daemonFolder))
        return fail(QStringLiteral("cannot link the cups daemon helpers"));
    if (!writeFile(root.filePath(QStringLiteral("bin/backend/capture")), kCaptureBackend,
                   QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return fail(QStringLiteral("cannot install the capture backend"));

    const QString base = dir_.path();
    const QByteArray cupsd = QStringLiteral("Listen 127.0.0.1:%1\n"
                                            "Listen %2\n"
                                            "Browsing Off\n"
                                            // A job left without its document ends soon.
                                            "MultipleOperationTimeout 2\n"
                                            "LogLevel warn\n"
                                            "MaxLogSize 0\n"
                                            "PreserveJobHistory Yes\n"
                                            "PreserveJobFiles No\n"
                                            "<Location />\nOrder allow,deny\nAllow all\n</Location>\n"
                                            "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n")
                                 .arg(port_)
                                 .arg(socketPath())
                                 .toUtf8();
    const QByteArray files = QStringLiteral("ServerRoot %1\n"
                                            "StateDir %1/state\n"
                                            "CacheDir %1/cache\n"
                                            "ServerBin %1/bin\n"
                                            "RequestRoot %1/spool\n"
                                            "TempDir %1/spool/temp\n"
                                            "AccessLog %1/log/access_log\n"
                                            "ErrorLog %1/log/error_log\n"
                                            "PageLog %1/log/page_log\n"
                                            "Printcap %1/printcap\n"
                                            "FileDevice No\n")
                                 .arg(base)
                                 .toUtf8();
    const QFile::Permissions readWrite = QFile::ReadOwner | QFile::WriteOwner;
    if (!writeFile(root.filePath(QStringLiteral("cupsd.conf")), cupsd, readWrite) ||
        !writeFile(root.filePath(QStringLiteral("cups-files.conf")), files, readWrite))
        return fail(QStringLiteral("cannot write the configuration"));

    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.setStandardOutputFile(QProcess::nullDevice());
    endsWithTest(process_);
    process_.start(QStringLiteral("/usr/sbin/cupsd"),
                   {QStringLiteral("-f"), QStringLiteral("-c"), root.filePath(QStringLiteral("cupsd.conf")),
                    QStringLiteral("-s"), root.filePath(QStringLiteral("cups-files.conf"))});
    if (!process_.waitForStarted(kStartMs))
        return fail(QStringLiteral("cupsd does not start: %1").arg(process_.errorString()));

    // Up once both its socket and its port take connections.
    const QDeadlineTimer deadline(kStartMs);
    while (!deadline.hasExpired()) {
        if (process_.state() != QProcess::Running || process_.waitForFinished(0))
            return fail(QStringLiteral("cupsd ended at start with status %1").arg(process_.exitCode()));
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port_);
        if (QFile::exists(socketPath()) && probe.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    stop();
    return fail(QStringLiteral("cupsd did not answer within %1 s").arg(kStartMs / 1000));
}

void PrivateCupsServer::hang()
{
    if (process_.state() != QProcess::NotRunning && ::kill(pid_t(process_.processId()), SIGSTOP) == 0)
        hung_ = true;
}

void PrivateCupsServer::goOn()
{
    if (process_.state() != QProcess::NotRunning)
        ::kill(pid_t(process_.processId()), SIGCONT);
    hung_ = false;
}

void PrivateCupsServer::kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process_.processId()), SIGKILL);
    process_.waitForFinished(5000);
}

void PrivateCupsServer::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    if (hung_)
        goOn();
    ::kill(pid_t(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(10000)) {
        ::kill(pid_t(process_.processId()), SIGKILL);
        process_.waitForFinished(5000);
    }
}

QString PrivateCupsServer::ippAddress(const QString& queue) const
{
    return QStringLiteral("ipp://%1/printers/%2").arg(hostAndPort(), queue);
}

QString PrivateCupsServer::captureFolder(const QString& queue) const
{
    return dir_.filePath(QStringLiteral("capture/") + queue);
}

bool PrivateCupsServer::runTool(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, QStringList{QStringLiteral("-h"), hostAndPort()} + arguments);
    if (!tool.waitForFinished(kToolMs)) {
        tool.kill();
        tool.waitForFinished();
        return fail(QStringLiteral("%1 did not end: %2").arg(program, tool.errorString()));
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return fail(QStringLiteral("%1 %2 failed: %3")
                        .arg(program, arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(tool.readAll())));
    return true;
}

bool PrivateCupsServer::addQueue(const QString& queue)
{
    if (!QDir().mkpath(captureFolder(queue)))
        return fail(QStringLiteral("cannot make the capture folder of %1").arg(queue));
    // CUPS 2.4 warns that raw queues are deprecated, and makes one.
    return runTool(QStringLiteral("lpadmin"), {QStringLiteral("-p"), queue, QStringLiteral("-v"),
                                               QStringLiteral("capture:") + captureFolder(queue), QStringLiteral("-m"),
                                               QStringLiteral("raw"), QStringLiteral("-E")});
}

bool PrivateCupsServer::addDeviceQueue(const QString& queue, const QString& device)
{
    const QString scheme = device.section(QLatin1Char(':'), 0, 0);
    const QString installed = QStringLiteral("/usr/lib/cups/backend/") + scheme;
    const QString backend = QDir(dir_.path()).filePath(QStringLiteral("bin/backend/") + scheme);
    if (!QFile::exists(installed))
        return fail(QStringLiteral("CUPS has no %1 backend (the cups package installs it)").arg(scheme));
    if (!QFile::exists(backend) && !QFile::link(installed, backend))
        return fail(QStringLiteral("cannot link the %1 backend").arg(scheme));
    return runTool(QStringLiteral("lpadmin"), {QStringLiteral("-p"), queue, QStringLiteral("-v"), device,
                                               QStringLiteral("-m"), QStringLiteral("raw"), QStringLiteral("-E")});
}

QMap<int, QByteArray> PrivateCupsServer::printed(const QString& queue) const
{
    const QDir folder(captureFolder(queue));
    QMap<int, QByteArray> jobs;
    for (const QString& name : folder.entryList({QStringLiteral("job-*")}, QDir::Files)) {
        jobs.insert(name.mid(4).toInt(), readFile(folder.filePath(name)));
    }
    return jobs;
}

bool PrivateCupsServer::waitForPrinted(const QString& queue, int jobId, int timeoutMs) const
{
    const QString path = captureFolder(queue) + QStringLiteral("/job-%1").arg(jobId);
    const QDeadlineTimer deadline(timeoutMs);
    while (!QFile::exists(path)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

QMap<int, int> PrivateCupsServer::jobStates(const QString& queue) const
{
    QMap<int, int> states;
    http_t* http = httpConnect2(socketPath().toUtf8().constData(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED,
                                1, 5000, nullptr);
    if (!http)
        return states;
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(http, &jobs, queue.toUtf8().constData(), 0, CUPS_WHICHJOBS_ALL);
    for (int i = 0; i < count; ++i)
        states.insert(jobs[i].id, int(jobs[i].state));
    cupsFreeJobs(count, jobs);
    httpClose(http);
    return states;
}

JunkPrintServer::JunkPrintServer(Junk junk)
    : junk_(junk), server_([this](int connection, const std::atomic<bool>& stop) { answer(connection, stop); })
{
}

JunkPrintServer::~JunkPrintServer() = default;

void JunkPrintServer::answer(int connection, const std::atomic<bool>& stop)
{
    const auto noise = [this](int size) {
        QByteArray bytes(size, '\0');
        for (char& byte : bytes)
            byte = char(random_.bounded(256));
        return bytes;
    };
    QByteArray answer;
    if (junk_ == Junk::NotHttp) {
        // Random bytes made into one line that reads as no header: no line break, colon or NUL inside.
        answer = noise(300);
        for (char& byte : answer) {
            if (byte == '\r' || byte == '\n' || byte == ':' || byte == '\0')
                byte = '?';
        }
        answer += "\r\n";
    } else {
        const QByteArray body = noise(512);
        answer =
            "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\n\r\n" + body;
    }
    bool answered = false;
    char sink[4096];
    while (!stop) {
        pollfd peer{connection, POLLIN, 0};
        const int ready = ::poll(&peer, 1, 20);
        if (ready > 0) {
            if (::recv(connection, sink, sizeof sink, MSG_DONTWAIT) <= 0)
                break; // the client closed the connection
            continue;
        }
        // The request has been read: the answer, once.
        if (!answered) {
            answered = true;
            if (::send(connection, answer.constData(), size_t(answer.size()), MSG_NOSIGNAL) < 0)
                break;
        }
    }
}
