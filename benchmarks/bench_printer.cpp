// quorlex-label-printer: how many small labels a second it takes over loopback and writes as PNG pictures,
// and how long from the last byte of a one-label job to its picture on disk. Also its peak memory. The same
// again with its window open (--window, on the offscreen platform unless another is set).
//   bench_printer <quorlex-label-printer>

#include "support/printer_process.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kLabels = 5000;
constexpr int kLatencyRuns = 51;

QByteArray smallLabel(int number)
{
    return "N\r\nq240\r\nQ88,24\r\nA10,20,0,1,1,1,N,\"ITEM" + QByteArray::number(number).rightJustified(5, '0') +
           "\"\r\nA10,40,0,1,1,1,N,\"V1\"\r\nP1\r\n";
}

// Waits (bounded) until the file is there, looking every `pollUs` microseconds and reading the printer's
// log meanwhile so that it never waits for its standard output; false when it did not come within 30 s.
// Connects to the printer and hands it `bytes`, within a bound: a printer that stops reading fails the run.
bool sendWhole(QTcpSocket& socket, quint16 port, const QByteArray& bytes)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000) || socket.write(bytes) != bytes.size())
        return false;
    const QDeadlineTimer deadline(60000);
    while (socket.bytesToWrite() > 0) {
        if (deadline.hasExpired() || socket.state() != QAbstractSocket::ConnectedState)
            return false;
        socket.waitForBytesWritten(1000);
    }
    return true;
}

bool waitForFile(PrinterProcess& printer, const QString& path, int pollUs)
{
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(path)) {
        if (waited.elapsed() > 30000)
            return false;
        printer.log();
        QThread::usleep(pollUs);
    }
    return true;
}

// Runs the measures with the printer's out folder in `tempFolder`, with its window open or not; false when one
// failed.
bool measure(const QString& program, const QString& tempFolder, bool window)
{
    qputenv("TMPDIR", QFile::encodeName(tempFolder));
    QStringList arguments{"--listen", "127.0.0.1:0", "--out", "OUT"};
    if (window)
        arguments << QStringLiteral("--window");
    PrinterProcess printer(program, arguments);
    if (!printer.isReady()) {
        std::fprintf(stderr, "%s\n", qPrintable(printer.failure()));
        return false;
    }
    std::printf("  pictures written into %s%s:\n", qPrintable(tempFolder), window ? ", window open" : "");

    QByteArray job;
    for (int i = 1; i <= kLabels; ++i)
        job += smallLabel(i);
    QElapsedTimer clock;
    clock.start();
    QTcpSocket sender;
    if (!sendWhole(sender, printer.port(), job)) {
        std::fprintf(stderr, "the printer did not take the stream\n");
        return false;
    }
    // Looked for seldom, so that looking does not take the processor the printer needs.
    if (!waitForFile(printer, printer.labelPath(kLabels), 2000)) {
        std::fprintf(stderr, "the pictures did not all come\n");
        return false;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    sender.disconnectFromHost();
    std::printf("    %d labels of 240x88 dots in one stream: %.2f s, %.0f labels a second\n", kLabels, seconds,
                kLabels / seconds);

    std::vector<double> latencies;
    for (int run = 1; run <= kLatencyRuns; ++run) {
        QTcpSocket one;
        if (!sendWhole(one, printer.port(), smallLabel(run))) {
            std::fprintf(stderr, "the printer did not take job %d\n", run);
            return false;
        }
        clock.start();
        if (!waitForFile(printer, printer.labelPath(kLabels + run), 50)) {
            std::fprintf(stderr, "picture %d did not come\n", run);
            return false;
        }
        latencies.push_back(double(clock.nsecsElapsed()) / 1e6);
        one.disconnectFromHost();
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("    last byte of a one-label job to its picture on disk: median %.2f ms, 90th percentile %.2f ms, "
                "most %.2f ms (%d jobs)\n",
                latencies[latencies.size() / 2], latencies[latencies.size() * 9 / 10], latencies.back(), kLatencyRuns);
    std::printf("    peak memory of the printer: %.1f MB\n", double(printer.peakMemoryKb()) / 1024);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_printer <quorlex-label-printer>\n");
        return 2;
    }
    const QString program = QString::fromLocal8Bit(argv[1]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // for the window
    // A folder on disk, where creating each file costs what the file system makes it cost, and one in memory
    // (tmpfs), where the printer's own work shows.
    const QString disk = QDir::tempPath(); // before a measure points TMPDIR elsewhere
    bool ok = true;
    for (const bool window : {false, true}) {
        ok = measure(program, disk, window) && ok;
        if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
            ok = measure(program, QStringLiteral("/dev/shm"), window) && ok;
    }
    return ok ? 0 : 1;
}
