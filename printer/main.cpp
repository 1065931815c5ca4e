#include "printer/label_printer.h"
#include "printer/printer_control.h"
#include "printer/printer_options.h"
#include "printer/printer_ports.h"
#include "printer/printer_window_library.h"

#include "common/process.h"
#include "common/safe_text.h"
#include "quorlex_version.h"

#include <QFile>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
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
    ignoreBrokenPipes();
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

// `between` is called after every piece read, so that an open window keeps showing what is drawn.
int renderFiles(LabelPrinter& printer, const QStringList& files, const std::function<void()>& between)
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
        while (!stopRequested && !(chunk = file.read(64 * 1024)).isEmpty()) {
            session->feed(chunk);
            if (between)
                between();
        }
        session->finish(stopRequested ? QStringLiteral("stopped by a signal") : QStringLiteral("end of file"));
        if (stopRequested)
            break;
    }
    return status;
}

// --window, unless only the help or the version is asked for, which need no screen.
bool asksForWindow(int argc, char* argv[])
{
    bool window = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ||
            std::strcmp(argv[i], "--version") == 0)
            return false;
        window = window || std::strcmp(argv[i], "--window") == 0;
    }
    return window;
}

// The folder of the printer's own for --window without --out; empty when the system names none.
QString ownFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/labels");
}

} // namespace

int main(int argc, char* argv[])
{
    // Without --window the printer shows nothing: QtGui only lends it fonts and images, and the window
    // library, which brings QtWidgets, is never loaded.
    const PrinterWindowEntry* windowLibrary = nullptr;
    std::unique_ptr<QGuiApplication> application;
    qtHandler = qInstallMessageHandler(quietStartHandler);
    if (asksForWindow(argc, argv)) {
        QString failure;
        windowLibrary = loadPrinterWindow(&failure);
        if (windowLibrary)
            application.reset(windowLibrary->createApplication(argc, argv, &failure));
        if (!application) {
            say(stderr, QStringLiteral("quorlex-label-printer: --window: %1\n").arg(safeMessageLine(failure)));
            return kPrinterExitFailed;
        }
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    QGuiApplication& app = *application;
    qInstallMessageHandler(qtHandler);
    QCoreApplication::setApplicationName(QStringLiteral("quorlex-label-printer"));

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
    if (options.outDir.isEmpty()) {
        options.outDir = ownFolder();
        if (options.outDir.isEmpty()) {
            say(stderr, QStringLiteral("quorlex-label-printer: the system names no folder for the pictures: "
                                       "give --out\n"));
            return kPrinterExitFailed;
        }
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
    PrinterHost host(printer);
    std::unique_ptr<QObject> window;
    if (!options.renderFiles.isEmpty()) {
        if (windowLibrary && options.window)
            window.reset(windowLibrary->openWindow(host));
        std::function<void()> between;
        if (window)
            between = [] { QCoreApplication::processEvents(); };
        int status = renderFiles(printer, options.renderFiles, between);
        if (stopRequested)
            status = kPrinterExitInterrupted;
        const bool finished = !stopRequested; // every file was drawn, whatever ends the window later
        // The window stays open on what was drawn until it is closed (it may have been closed already).
        const QWindowList shown = QGuiApplication::topLevelWindows();
        if (window && !stopRequested &&
            std::any_of(shown.begin(), shown.end(), [](const QWindow* each) { return each->isVisible(); })) {
            QSocketNotifier stopNotifier(stopPipe[0], QSocketNotifier::Read);
            QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [&] { app.quit(); });
            app.exec();
        }
        window.reset();
        printer.shutdown(finished);
        return status;
    }

    QStringList listening;
    if (options.listen) {
        tcp = std::make_unique<TcpPort>(printer, options.idleSeconds);
        const QString problem = tcp->listen(options.address, options.port);
        if (!problem.isEmpty()) {
            say(stderr, QStringLiteral("quorlex-label-printer: %1\n").arg(safeMessageLine(problem)));
            return kPrinterExitFailed;
        }
        log.write(QStringLiteral("listening"), QStringLiteral("listening on %1").arg(tcp->address()),
                  {{QStringLiteral("address"), tcp->address()}});
        listening << tcp->address();
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
        listening << QStringLiteral("serial line %1").arg(visibleForMessage(options.serialLink));
    }
    host.setListeningOn(listening);
    if (windowLibrary && options.window)
        window.reset(windowLibrary->openWindow(host));

    QSocketNotifier stopNotifier(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [&] { app.quit(); });

    // Standard input sets and clears the fault, a line at a time, with the window open or not.
    PrinterControl control(printer, STDIN_FILENO);

    app.exec();
    window.reset();
    if (tcp)
        tcp->close(QStringLiteral("the printer stopped"));
    if (serial)
        serial->close(QStringLiteral("the printer stopped"));
    printer.shutdown();
    return kPrinterExitOk;
}
