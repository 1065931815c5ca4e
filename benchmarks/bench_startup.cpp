// Start-up time and peak memory of the program's window next to a bare Qt window of the same size.
//
//   bench_startup [runs]          runs both kinds of child `runs` times (default 15) and prints medians
//   bench_startup --child app     starts the program's window exactly as the program does, reports, quits
//   bench_startup --child bare    a plain 884 by 507 window with a menu bar, reports, quits
//
// A child reports once its window has been painted for the first time: it writes "painted <peak RSS in kB>"
// to standard output and quits. The parent measures from just before starting the child to that line.

#include "windows/start.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMenuBar>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

class FirstPaintReporter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_reported) {
            m_reported = true;
            // Report after this paint has been handled and flushed.
            QTimer::singleShot(0, qApp, [] {
                rusage usage{};
                getrusage(RUSAGE_SELF, &usage);
                std::printf("painted %ld\n", usage.ru_maxrss);
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_reported = false;
};

int runChild(int argc, char* argv[], bool bare)
{
    QApplication app(argc, argv);
    FirstPaintReporter reporter;
    QWidget* window = nullptr;
    if (bare) {
        auto* main = new QMainWindow;
        main->menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("End"));
        main->menuBar()->addAction(QStringLiteral("Help"));
        auto* client = new QWidget(main);
        client->setFixedSize(884, 507);
        main->setCentralWidget(client);
        main->installEventFilter(&reporter);
        main->show();
        window = main;
    } else {
        // The filter must be in place before the first paint, so it watches every top-level widget.
        app.installEventFilter(&reporter);
        window = reinterpret_cast<QWidget*>(startMainWindow());
    }
    const int result = app.exec();
    delete window;
    return result;
}

struct Sample
{
    double milliseconds;
    long peakKiB;
};

bool runOnce(const QString& self, const QString& kind, Sample* sample)
{
    QProcess child;
    child.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    child.start(self, {QStringLiteral("--child"), kind});
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

template <typename T> T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv, qstrcmp(argv[2], "bare") == 0);

    QCoreApplication app(argc, argv);
    const int runs = argc >= 2 ? std::max(1, atoi(argv[1])) : 15;
    const QString self = QCoreApplication::applicationFilePath();
    std::vector<double> times[2];
    std::vector<long> memory[2];
    const QString kinds[2] = {QStringLiteral("bare"), QStringLiteral("app")};
    for (int run = 0; run < runs; ++run) {
        for (int k = 0; k < 2; ++k) { // interleaved, so both see the same machine
            Sample sample{};
            if (!runOnce(self, kinds[k], &sample)) {
                std::fprintf(stderr, "bench_startup: the %s child did not report\n", qPrintable(kinds[k]));
                return 1;
            }
            times[k].push_back(sample.milliseconds);
            memory[k].push_back(sample.peakKiB);
        }
    }
    const double bareMs = median(times[0]);
    const double appMs = median(times[1]);
    const long bareKiB = median(memory[0]);
    const long appKiB = median(memory[1]);
    std::printf("%-34s %12s %12s %8s\n", "", "bare window", "quorlex", "ratio");
    std::printf("%-34s %9.1f ms %9.1f ms %8.2f\n",
                qPrintable(QStringLiteral("start-up to first paint (median of %1)").arg(runs)), bareMs, appMs,
                appMs / bareMs);
    std::printf("%-34s %9ld kB %9ld kB %8.2f\n", "peak resident memory (median)", bareKiB, appKiB,
                double(appKiB) / double(bareKiB));
    return 0;
}
