#include "printer/label_printer.h"
#include "printer/printer_options.h"
#include "printer/printer_ports.h"

#include "output/safe_text.h"
#include "quorlex_version.h"

#include <QFile>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

std::atomic<bool> stopRequested{false};
int stopPipe[2] = {-1, -1};

void onStopSignal(int)
{
    stopRequested = true;
    const char byte = 's';
    [[maybe_unused]] const ssize_t ignored = ::write(stopPipe[1], &byte, 1);
}

// Ctrl-C and SIGTERM only raise a flag: the picture being written is finished first.
bool armStopSignals()
{
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action
    {
    };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigset_t wanted;
    sigemptyset(&wanted);
    sigaddset(&wanted, SIGINT);
    sigaddset(&wanted, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &wanted, nullptr);
    // A sender that goes away mid-reply must not end the printer.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

QtMessageHandler qtHandler = nullptr;

void quietStartHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    qtHandler(type, context, message);
}

void say(FILE* to, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

int renderFiles(LabelPrinter& printer, const QStringList& files)
{
    int status = kPrinterExitOk;
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            printer.problem(0, 0,
                            QStringLiteral("cannot read %1: %2").arg(visibleForMessage(path), file.errorString()));
            status = kPrinterExitFailed;
            continue;
        }
        std::unique_ptr<PrinterSession> session = printer.openSession(path, {});
        QByteArray chunk;
        while (!stopRequested && !(chunk = file.read(64 * 1024)).isEmpty())
            session->feed(chunk);
        session->finish(stopRequested ? QStringLiteral("stopped by a signal") : QStringLiteral("end of file"));
        if (stopRequested)
            break;
    }
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    // The printer never shows a window: QtGui only lends it fonts and images.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qtHandler = qInstallMessageHandler(quietStartHandler);
    QGuiApplication app(argc, argv);
    qInstallMessageHandler(qtHandler);

    PrinterOptions options;
    const QString usageProblem = parsePrinterOptions(app.arguments().mid(1), &options);
    if (!usageProblem.isEmpty()) {
        say(stderr, QStringLiteral("quorlex-label-printer: %1\n").arg(safeMessageLine(usageProblem)));
        return kPrinterExitUsage;
    }
    if (options.help) {
        say(stdout, printerUsage());
        return kPrinterExitOk;
    }
    if (options.version) {
        say(stdout, QStringLiteral("quorlex-label-printer %1.%2.%3\n")
                        .arg(QUORLEX_VERSION_MAJOR)
                        .arg(QUORLEX_VERSION_MINOR)
                        .arg(QUORLEX_VERSION_PATCH));
        return kPrinterExitOk;
    }
    if (!armStopSignals()) {
        say(stderr, QStringLiteral("quorlex-label-printer: cannot catch Ctrl-C\n"));
        return kPrinterExitFailed;
    }

    PrinterLog log(options.jsonLog);
    LabelPrinter printer(options, log);
    const QString failure = printer.start();
    if (!failure.isEmpty()) {
        say(stderr, QStringLiteral("quorlex-label-printer: %1\n").arg(safeMessageLine(failure)));
        return kPrinterExitFailed;
    }
    std::unique_ptr<TcpPort> tcp;
    std::unique_ptr<PrinterSerialLink> serial;
    // A stop asked for while a long P is being drawn is carried out after the picture in hand: the stream
    // file is written as it arrives, so it is whole up to there.
    printer.setStopCheck([&] {
        if (!stopRequested)
            return;
        if (serial)
            serial->removeLink();
        printer.shutdown();
        std::fflush(stdout);
        ::_exit(options.renderFiles.isEmpty() ? kPrinterExitOk : kPrinterExitInterrupted);
    });
    if (!options.renderFiles.isEmpty()) {
        int status = renderFiles(printer, options.renderFiles);
        if (stopRequested)
            status = kPrinterExitInterrupted;
        printer.shutdown(!stopRequested);
        return status;
    }

    if (options.listen) {
        tcp = std::make_unique<TcpPort>(printer, options.idleSeconds);
        const QString problem = tcp->listen(options.address, options.port);
        if (!problem.isEmpty()) {
            say(stderr, QStringLiteral("quorlex-label-printer: %1\n").arg(safeMessageLine(problem)));
            return kPrinterExitFailed;
        }
        log.write(QStringLiteral("listening"), QStringLiteral("listening on %1").arg(tcp->address()),
                  {{QStringLiteral("address"), tcp->address()}});
    }
    if (!options.serialLink.isEmpty()) {
        serial = std::make_unique<PrinterSerialLink>(printer, options.wireSpeed);
        const QString problem = serial->open(options.serialLink);
        if (!problem.isEmpty()) {
            say(stderr, QStringLiteral("quorlex-label-printer: %1\n").arg(safeMessageLine(problem)));
            return kPrinterExitFailed;
        }
        log.write(QStringLiteral("serial"),
                  QStringLiteral("serial line %1 -> %2%3")
                      .arg(visibleForMessage(options.serialLink), serial->devicePath(),
                           options.wireSpeed ? QStringLiteral(", 9600 baud") : QString()),
                  {{QStringLiteral("link"), options.serialLink}, {QStringLiteral("device"), serial->devicePath()}});
    }

    QSocketNotifier stopNotifier(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [&] { app.quit(); });

    // Standard input sets and clears the fault, a line at a time.
    QSocketNotifier control(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&control, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            control.setEnabled(false); // closed: the fault stays as it is
            return;
        }
        pending.append(buffer, got);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromLatin1(pending.left(end)).trimmed();
            pending.remove(0, end + 1);
            PrinterFault fault;
            if (line.isEmpty())
                continue;
            if (faultFromName(line, &fault))
                printer.setFault(fault);
            else
                printer.problem(0, 0,
                                QStringLiteral("standard input: %1 is not head-open, paper-out, paused or ok")
                                    .arg(quotedForMessage(line)));
        }
        if (pending.size() > 4096)
            pending.clear();
    });

    app.exec();
    if (tcp)
        tcp->close(QStringLiteral("the printer stopped"));
    if (serial)
        serial->close(QStringLiteral("the printer stopped"));
    printer.shutdown();
    return kPrinterExitOk;
}
