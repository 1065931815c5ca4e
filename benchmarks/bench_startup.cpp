// Start-up time and peak memory of the program's window next to a bare Qt window of the same size, and of
// quorlex-label-batch (--help, and a --dry-run of one label) next to a bare QtCore program.
//
//   bench_startup [runs]          runs every kind `runs` times (default 15), interleaved, and prints medians
//   bench_startup --child app     starts the program's window exactly as the program does, reports, quits
//
// The bare window is bench_bare_window and the bare QtCore program bench_bare_core, both beside this program
// and linked with nothing but Qt, so that each side loads only its own libraries; quorlex-label-batch is the
// one beside it too. A window child reports once its window has been painted for the first time
// (first_paint.h); the parent measures from just before starting it to that line. A command-line child is
// measured from its start until it has ended, through bench_measure.

#include "first_paint.h"
#include "windows/start.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QWidget>

#include <functional>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

int runChild(int argc, char* argv[])
{
    QApplication app(argc, argv);
    FirstPaintReporter reporter;
    // The filter must be in place before the first paint, so it watches every top-level widget.
    app.installEventFilter(&reporter);
    auto* window = reinterpret_cast<QWidget*>(startMainWindow());
    const int result = app.exec();
    delete window;
    return result;
}

struct Sample
{
    double milliseconds;
    long peakKiB;
};

bool runWindow(const QString& program, const QStringList& arguments, Sample* sample)
{
    QProcess child;
    child.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    child.start(program, arguments);
    if (!child.waitForStarted(10000))
        return false;
    while (!child.canReadLine()) {
        if (!child.waitForReadyRead(20000))
            return false;
    }
    sample->milliseconds = double(clock.nsecsElapsed()) / 1e6;
    const QByteArray line = child.readLine().trimmed();
    sample->peakKiB = line.mid(line.indexOf(' ') + 1).toLong();
    child.waitForFinished(10000);
    return line.startsWith("painted");
}

// Runs a command-line program to its end through bench_measure, which reports its time and its own peak.
bool runCommand(const QString& measure, const QStringList& command, Sample* sample)
{
    QProcess child;
    child.start(measure, command);
    if (!child.waitForFinished(30000))
        return false;
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 3 || fields.at(0) != "0")
        return false;
    sample->milliseconds = fields.at(1).toDouble();
    sample->peakKiB = fields.at(2).toLong();
    return true;
}

template <typename T> T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Kind
{
    const char* name;
    std::function<bool(Sample*)> run;
    std::vector<double> times;
    std::vector<long> memory;
};

void printRatio(const char* title, const char* bareName, Kind& bare, Kind& ours, int runs)
{
    const double bareMs = median(bare.times);
    const double ourMs = median(ours.times);
    const long bareKiB = median(bare.memory);
    const long ourKiB = median(ours.memory);
    std::printf("%-44s %12s %12s %8s\n", title, bareName, ours.name, "ratio");
    std::printf("%-44s %9.1f ms %9.1f ms %8.2f\n", qPrintable(QStringLiteral("  time (median of %1)").arg(runs)),
                bareMs, ourMs, ourMs / bareMs);
    std::printf("%-44s %9ld kB %9ld kB %8.2f\n", "  peak resident memory (median)", bareKiB, ourKiB,
                double(ourKiB) / double(bareKiB));
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc >= 2 ? std::max(1, atoi(argv[1])) : 15;
    const QString self = QCoreApplication::applicationFilePath();
    const QString folder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QString measure = folder + QLatin1String("bench_measure");
    const QString batch = folder + QLatin1String("quorlex-label-batch");
    const QStringList oneLabel{batch,
                               QStringLiteral("--size"),
                               QStringLiteral("3M"),
                               QStringLiteral("--item"),
                               QStringLiteral("AB1234"),
                               QStringLiteral("--version"),
                               QStringLiteral("V1"),
                               QStringLiteral("--dry-run")};
    const QString bareWindow = folder + QLatin1String("bench_bare_window");
    const QStringList appChild{QStringLiteral("--child"), QStringLiteral("app")};
    const QStringList bareCore{folder + QLatin1String("bench_bare_core"), QStringLiteral("--size=3M")};
    const QStringList help{batch, QStringLiteral("--help")};
    std::vector<Kind> kinds;
    kinds.push_back({"bare", [&](Sample* s) { return runWindow(bareWindow, {}, s); }, {}, {}});
    kinds.push_back({"quorlex", [&](Sample* s) { return runWindow(self, appChild, s); }, {}, {}});
    kinds.push_back({"bare", [&](Sample* s) { return runCommand(measure, bareCore, s); }, {}, {}});
    kinds.push_back({"--help", [&](Sample* s) { return runCommand(measure, help, s); }, {}, {}});
    kinds.push_back({"--dry-run", [&](Sample* s) { return runCommand(measure, oneLabel, s); }, {}, {}});
    for (int run = 0; run < runs; ++run) {
        for (Kind& kind : kinds) { // interleaved, so that every kind sees the same machine
            Sample sample{};
            if (!kind.run(&sample)) {
                std::fprintf(stderr, "bench_startup: the %s child did not report\n", kind.name);
                return 1;
            }
            kind.times.push_back(sample.milliseconds);
            kind.memory.push_back(sample.peakKiB);
        }
    }
    printRatio("window: start-up to first paint", "bare window", kinds[0], kinds[1], runs);
    printRatio("quorlex-label-batch --help, to its end", "bare QtCore", kinds[2], kinds[3], runs);
    printRatio("quorlex-label-batch one label --dry-run", "bare QtCore", kinds[2], kinds[4], runs);
    return 0;
}
