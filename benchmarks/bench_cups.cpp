// How long a CUPS queue takes to accept a job: from the start of a press (open, send, confirm, close) to the
// server's acceptance, on a private CUPS server, through its socket, its TCP port (cups:QUEUE) and
// ipp://127.0.0.1:PORT. Prints the median and the 90th percentile of many presses of one label job.

#include "output/destination.h"
#include "support/cups_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 101;
const QByteArray kLabel = "\r\nN\r\nq240\r\nQ88,24\r\nA10,20,0,1,1,1,N,\"ITEM01\"\r\nP1\r\n\r\n";

// Milliseconds of each press, sorted; empty when a press failed.
std::vector<double> pressTimes(const QString& address)
{
    std::vector<double> samples;
    QElapsedTimer clock;
    for (int i = 0; i < kRuns; ++i) {
        QString error;
        clock.start();
        const std::unique_ptr<Destination> queue = createDestination(address, QString(), &error);
        if (!queue || !queue->open() || !queue->send(kLabel) || !queue->confirm() || !queue->close()) {
            std::printf("  %s: %s\n", qPrintable(address), qPrintable(queue ? queue->errorString() : error));
            return {};
        }
        samples.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(samples.begin(), samples.end());
    return samples;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    PrivateCupsServer server;
    if (!server.isRunning() || !server.addQueue(QStringLiteral("LABELS"))) {
        std::printf("no private CUPS server: %s\n", qPrintable(server.failure()));
        return 1;
    }
    std::printf("Press to accepted job, one label (%lld bytes), %d presses:\n", qint64(kLabel.size()), kRuns);
    const struct
    {
        const char* what;
        QByteArray cupsServer;
        QString address;
    } ways[] = {
        {"cups:LABELS through the server's socket", server.socketPath().toUtf8(), QStringLiteral("cups:LABELS")},
        {"cups:LABELS through its TCP port", server.hostAndPort().toUtf8(), QStringLiteral("cups:LABELS")},
        {"ipp://127.0.0.1:PORT/printers/LABELS", QByteArray("/nonexistent"), server.ippAddress("LABELS")},
    };
    for (const auto& way : ways) {
        qputenv("CUPS_SERVER", way.cupsServer);
        const std::vector<double> ms = pressTimes(way.address);
        if (!ms.empty())
            std::printf("  %-44s median %6.2f ms, 90%% within %6.2f ms\n", way.what, ms[ms.size() / 2],
                        ms[ms.size() * 9 / 10]);
    }
    return 0;
}
