// Start-up time and peak memory of the program's window next to a bare Qt window of the same size, and of
// quorlex-label-batch (--help, and a --dry-run of one label) next to a bare QtCore program.
//
//   bench_startup [runs] [--programs DIR]   runs every kind `runs` times (default 15), interleaved, and prints
//                                           medians; DIR holds the programs to measure (default: this build's)
//   bench_startup --child app               starts the program's window as the program does, reports, quits
//
// Under X11 (QT_QPA_PLATFORM=xcb) the window is quorlex-label itself, timed from its start until the X
// server maps its window; on other platforms the window is started in a child of this program and timed to
// its first paint.
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
#include <QProcess>
#include <QThread>

#include <QWidget>
#include <poll.h>
#include <xcb/xcb.h>

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

// Under X11: from starting `program` until the X server maps its first window, as another client sees it (the
// program is not changed to tell). Its peak memory is read half a second later, once it has painted; then it
// is ended.
class MapWatch
{
public:
    MapWatch()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
        m_ok = true;
    }
    ~MapWatch() { xcb_disconnect(m_connection); }
    bool ok() const { return m_ok; }

    bool run(const QString& program, const QStringList& arguments, Sample* sample)
    {
        while (xcb_generic_event_t* stale = xcb_poll_for_event(m_connection))
            std::free(stale);
        QProcess child;
        child.setStandardOutputFile(QProcess::nullDevice());
        child.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        child.start(program, arguments);
        if (!child.waitForStarted(10000))
            return false;
        bool mapped = false;
        pollfd watch{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        while (!mapped && clock.elapsed() < 20000) {
            ::poll(&watch, 1, 100);
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY &&
                    !reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect && !mapped) {
                    sample->milliseconds = double(clock.nsecsElapsed()) / 1e6;
                    mapped = true;
                }
                std::free(event);
            }
        }
        QThread::msleep(500);
        sample->peakKiB = peakResidentKiB(QStringLiteral("/proc/%1/status").arg(child.processId()));
        child.kill();
        child.waitForFinished(10000);
        return mapped;
    }

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    bool m_ok = false;
};

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
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString folder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    // --programs DIR: the quorlex-label and quorlex-label-batch to measure (another build), instead of this one's.
    QString programs = folder;
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--programs")); at >= 0 && at + 1 < arguments.size()) {
        programs = arguments.at(at + 1) + QLatin1Char('/');
        arguments.remove(at, 2);
    }
    const int runs = arguments.isEmpty() ? 15 : std::max(1, arguments.first().toInt());
    const QString self = QCoreApplication::applicationFilePath();
    const QString measure = folder + QLatin1String("bench_measure");
    const QString batch = programs + QLatin1String("quorlex-label-batch");
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
    const bool x11 =
        qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("xcb") && qEnvironmentVariableIsSet("DISPLAY");
    std::unique_ptr<MapWatch> mapWatch;
    const QStringList stay{QStringLiteral("--stay")};
    const QString program = programs + QLatin1String("quorlex-label");
    std::vector<Kind> kinds;
    if (x11) {
        mapWatch = std::make_unique<MapWatch>();
        if (!mapWatch->ok()) {
            std::fprintf(stderr, "bench_startup: cannot watch the X display\n");
            return 1;
        }
        kinds.push_back({"bare", [&](Sample* s) { return mapWatch->run(bareWindow, stay, s); }, {}, {}});
        kinds.push_back({"quorlex", [&](Sample* s) { return mapWatch->run(program, {}, s); }, {}, {}});
    } else {
        kinds.push_back({"bare", [&](Sample* s) { return runWindow(bareWindow, {}, s); }, {}, {}});
        kinds.push_back({"quorlex", [&](Sample* s) { return runWindow(self, appChild, s); }, {}, {}});
    }
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
    printRatio(x11 ? "window: start until mapped (X11)" : "window: start-up to first paint", "bare window", kinds[0],
               kinds[1], runs);
    printRatio("quorlex-label-batch --help, to its end", "bare QtCore", kinds[2], kinds[3], runs);
    printRatio("quorlex-label-batch one label --dry-run", "bare QtCore", kinds[2], kinds[4], runs);
    return 0;
}
