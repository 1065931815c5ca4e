// quorlex-label-batch on large CSV files: wall time and peak resident memory of the program, run as a child
// process with --dry-run (the jobs go to /dev/null), for generated files of several row counts; then the
// same one-label jobs sent to a loopback reader that acknowledges at once, side by side with --dry-run, which
// is what confirming each job costs.
//   bench_batch PROGRAM [ROWS...]   (default rows: 100000 1000000)
#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kRuns = 3;
// One-label jobs sent to the loopback reader.
constexpr qint64 kLoopbackJobs = 2000;

// A CSV with all five columns: six-character items, versions, dates, checksums and varied quantities.
bool writeCsv(const QString& path, qint64 rows)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk = "item,version,data,checksum,qty\r\n";
    char line[64];
    for (qint64 row = 0; row < rows; ++row) {
        const int n = std::snprintf(line, sizeof line, "AB%04lld,V%d.%d,%04lld,%02lld,%lld\r\n", row % 10000,
                                    int(row % 9) + 1, int(row % 7), (row * 7) % 10000, row % 100, row % 5 + 1);
        chunk.append(line, n);
        if (chunk.size() > (1 << 20)) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return file.write(chunk) == chunk.size() && file.flush();
}

struct Measured
{
    double seconds = 0;
    long peakKb = 0;
    int status = -1;
};

// Runs the program once with standard input and output on /dev/null and standard error in `errorPath`, the
// jobs going where `target` says: --dry-run when empty, otherwise --port `target`.
Measured runOnce(const QByteArray& program, const QByteArray& csvPath, const QByteArray& errorPath,
                 const QByteArray& target = {})
{
    Measured measured;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    const char* argv[] = {program.constData(),
                          "--size",
                          "3M",
                          "--csv",
                          csvPath.constData(),
                          target.isEmpty() ? "--dry-run" : "--port",
                          target.isEmpty() ? nullptr : target.constData(),
                          nullptr};
    QElapsedTimer clock;
    clock.start();
    pid_t child = 0;
    const int spawned =
        posix_spawn(&child, program.constData(), &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return measured;
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child)
        return measured;
    measured.seconds = double(clock.nsecsElapsed()) / 1e9;
    measured.peakKb = usage.ru_maxrss;
    measured.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return measured;
}

// A network printer that takes everything at once: accepts connections on a free loopback port and reads
// until each closes.
class LoopbackReader
{
public:
    LoopbackReader()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            for (;;) {
                const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (connection < 0 || stop_.load())
                    break;
                char buffer[65536];
                while (::read(connection, buffer, sizeof buffer) > 0) {
                }
                ::close(connection);
            }
        });
    }
    ~LoopbackReader()
    {
        stop_ = true;
        if (thread_.joinable()) {
            // A last connection wakes the accept so that the thread sees the stop.
            const int wake = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(port_);
            ::connect(wake, reinterpret_cast<sockaddr*>(&address), sizeof address);
            ::close(wake);
            thread_.join();
        }
        if (listener_ >= 0)
            ::close(listener_);
    }
    quint16 port() const { return port_; }

private:
    int listener_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

double medianSeconds(QList<Measured> runs, int* worst)
{
    std::sort(runs.begin(), runs.end(), [](const Measured& a, const Measured& b) { return a.seconds < b.seconds; });
    for (const Measured& run : runs)
        *worst = std::max(*worst, run.status);
    return runs.at(runs.size() / 2).seconds;
}

// The same rows sent with --dry-run and to the loopback reader, one label a job.
int compareWithLoopback(const QByteArray& program, const QTemporaryDir& dir, const QByteArray& errorPath)
{
    QByteArray csv = "item,version,data,qty\n";
    for (qint64 row = 0; row < kLoopbackJobs; ++row)
        csv += "AB" + QByteArray::number(row % 10000).rightJustified(4, '0') + ",V1,0623,1\n";
    const QString csvPath = dir.filePath(QStringLiteral("loopback.csv"));
    QFile file(csvPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size())
        return 1;
    file.close();
    LoopbackReader reader;
    if (reader.port() == 0) {
        std::fprintf(stderr, "bench_batch: no loopback port to listen on\n");
        return 1;
    }
    const QByteArray target = "socket://127.0.0.1:" + QByteArray::number(reader.port());
    QList<Measured> dry;
    QList<Measured> sent;
    for (int i = 0; i < kRuns; ++i) {
        dry << runOnce(program, QFile::encodeName(csvPath), errorPath);
        sent << runOnce(program, QFile::encodeName(csvPath), errorPath, target);
    }
    int worst = 0;
    const double drySeconds = medianSeconds(dry, &worst);
    const double sentSeconds = medianSeconds(sent, &worst);
    std::printf("  %lld one-label jobs (median of %d runs): --dry-run %.3f s, to a loopback reader %.3f s: %.1fx\n",
                kLoopbackJobs, kRuns, drySeconds, sentSeconds, drySeconds > 0 ? sentSeconds / drySeconds : 0.0);
    return worst;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: bench_batch PROGRAM [ROWS...]\n");
        return 2;
    }
    QList<qint64> rowCounts;
    for (const QString& rows : arguments.mid(2))
        rowCounts << rows.toLongLong();
    if (rowCounts.isEmpty())
        rowCounts = {100000, 1000000};

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "bench_batch: no temporary folder\n");
        return 1;
    }
    const QByteArray program = QFile::encodeName(arguments.at(1));
    const QByteArray errorPath = QFile::encodeName(dir.filePath(QStringLiteral("stderr")));
    std::printf("  %10s %10s %10s %12s %12s %10s  (median of %d runs, --size 3M --dry-run)\n", "rows", "CSV MB",
                "time s", "us per row", "peak MB", "status", kRuns);
    int worst = 0;
    for (const qint64 rows : rowCounts) {
        const QString csv = dir.filePath(QStringLiteral("rows-%1.csv").arg(rows));
        if (!writeCsv(csv, rows)) {
            std::fprintf(stderr, "bench_batch: cannot write %s\n", qPrintable(csv));
            return 1;
        }
        QList<Measured> runs;
        for (int i = 0; i < kRuns; ++i)
            runs << runOnce(program, QFile::encodeName(csv), errorPath);
        std::sort(runs.begin(), runs.end(), [](const Measured& a, const Measured& b) { return a.seconds < b.seconds; });
        const Measured& median = runs.at(kRuns / 2);
        long peakKb = 0;
        for (const Measured& run : runs) {
            peakKb = std::max(peakKb, run.peakKb);
            worst = std::max(worst, run.status);
        }
        std::printf("  %10lld %10.1f %10.2f %12.2f %12.1f %10d\n", rows, double(QFile(csv).size()) / 1e6,
                    median.seconds, median.seconds * 1e6 / double(rows), double(peakKb) / 1024.0, median.status);
        std::fflush(stdout);
        QFile::remove(csv);
    }
    worst = std::max(worst, compareWithLoopback(program, dir, errorPath));
    if (worst != 0) {
        QFile errors(QString::fromLocal8Bit(errorPath));
        if (errors.open(QIODevice::ReadOnly))
            std::fprintf(stderr, "bench_batch: a run failed; its last message:\n%s",
                         errors.readAll().right(2000).constData());
    }
    return worst == 0 ? 0 : 1;
}
