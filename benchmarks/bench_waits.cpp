// How the output layer keeps its word on waits, against printers that take nothing: how long after its
// time-out a wait fails, how soon a stop request ends it, and the longest stretch without a pass of the
// caller's event processing meanwhile (what the window's liveliness rests on). The tests check what happens;
// these are the times.

#include "output/destination.h"
#include "output/serial_port.h"
#include "support/fake_serial_line.h"
#include "support/printer_stand_ins.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 7;
constexpr std::chrono::milliseconds kTimeout{300};
constexpr qint64 kStopAfterMs = 200;

struct Sample
{
    double endedMs = 0;   // from the first step to the failure
    double longestMs = 0; // the longest stretch between two passes of event processing
};

// The time since the start and the longest stretch between two passes of event processing.
class PassClock
{
public:
    PassClock() { clock_.start(); }
    void pass()
    {
        const qint64 now = clock_.nsecsElapsed();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
    }
    qint64 elapsedMs() const { return clock_.elapsed(); }
    Sample sample() const { return {double(clock_.nsecsElapsed()) / 1e6, double(longest_) / 1e6}; }

private:
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

// One wait against a stand-in: the step sequence of a press, timed. `stopAfter` > 0 asks to stop that long
// after the start.
Sample timedWait(const std::function<bool(Destination&)>& steps, Destination& destination, qint64 stopAfter)
{
    PassClock clock;
    destination.setWaitControl(
        {[&] { clock.pass(); }, [&] { return stopAfter > 0 && clock.elapsedMs() >= stopAfter; }});
    if (steps(destination))
        std::printf("  (the printer took the job: nothing to time)\n");
    return clock.sample();
}

void report(const char* what, std::vector<Sample> samples, double expectedMs)
{
    std::sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.endedMs < b.endedMs; });
    double longest = 0;
    for (const Sample& s : samples)
        longest = std::max(longest, s.longestMs);
    std::printf("  %-46s %7.1f ms after it (median), %7.1f ms at most; event passes at most %5.1f ms apart\n", what,
                samples[samples.size() / 2].endedMs - expectedMs, samples.back().endedMs - expectedMs, longest);
}

bool pressSteps(Destination& destination)
{
    const bool sent = destination.open() && destination.send(bulkyJob()) && destination.confirm();
    destination.abandon();
    return sent;
}

void standIn(const char* what, PrinterKind kind, qint64 stopAfter)
{
    std::vector<Sample> samples;
    for (int i = 0; i < kRuns; ++i) {
        StandInPrinter printer(kind, Reading::Never);
        QString error;
        const auto destination = createDestination(printer.address, QString(), &error);
        if (!destination) {
            std::printf("  %s: %s\n", what, qPrintable(error));
            return;
        }
        DestinationTimeouts timeouts;
        timeouts.transferBase = stopAfter > 0 ? std::chrono::milliseconds(60000) : kTimeout;
        timeouts.transferPer10KB = std::chrono::milliseconds(0);
        destination->setTimeouts(timeouts);
        samples.push_back(timedWait(pressSteps, *destination, stopAfter));
    }
    report(what, samples, stopAfter > 0 ? double(stopAfter) : double(kTimeout.count()));
}

// A serial device that never sends: the drain's own time-out, from the job's time on the wire.
void stuckSerialPort()
{
    const QByteArray job(58, 'x');
    std::vector<Sample> samples;
    double expected = 0;
    for (int i = 0; i < kRuns; ++i) {
        auto line = std::make_unique<FakeSerialLine>();
        line->takenPerFlush = 0;
        line->takenPerWait = 0;
        SerialPort port(std::move(line));
        expected = double(port.drainTimeout(job.size()).count());
        PassClock clock;
        port.open();
        port.write(job);
        port.drain(port.drainTimeout(job.size()), [&] {
            clock.pass();
            return true;
        });
        samples.push_back(clock.sample());
    }
    report("serial port that sends nothing", samples, expected);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    qputenv("QUORLEX_LABEL_COM1", "/dev/ttyFake");
    std::printf("A printer that takes nothing, %d runs each: failure after the time-out (%lld ms; the serial "
                "port's own)\n",
                kRuns, qint64(kTimeout.count()));
    standIn("full FIFO", PrinterKind::Fifo, 0);
    standIn("network printer that never reads", PrinterKind::Network, 0);
    stuckSerialPort();
    std::printf("The same, stopped %lld ms after the start (time-out a minute): end after the stop request\n",
                kStopAfterMs);
    standIn("full FIFO, stopped", PrinterKind::Fifo, kStopAfterMs);
    standIn("network printer that never reads, stopped", PrinterKind::Network, kStopAfterMs);
    return 0;
}
