// quorlex-label-batch on large CSV files: wall time and peak resident memory of the program, run as a child
// process with --dry-run (the jobs go to /dev/null), for generated files of several row counts.
//   bench_batch PROGRAM [ROWS...]   (default rows: 100000 1000000)
#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kRuns = 3;

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

// Runs the program once with standard input and output on /dev/null and standard error in `errorPath`.
Measured runOnce(const QByteArray& program, const QByteArray& csvPath, const QByteArray& errorPath)
{
    Measured measured;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    const char* argv[] = {program.constData(), "--size", "3M", "--csv", csvPath.constData(), "--dry-run", nullptr};
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
    if (worst != 0) {
        QFile errors(QString::fromLocal8Bit(errorPath));
        if (errors.open(QIODevice::ReadOnly))
            std::fprintf(stderr, "bench_batch: a run failed; its last message:\n%s",
                         errors.readAll().right(2000).constData());
    }
    return worst == 0 ? 0 : 1;
}
