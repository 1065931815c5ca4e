// The installed program as a script runs it: exit statuses, standard input, real ports and Ctrl-C.
#include "output/port_devices.h"
#include "support/batch_harness.h"
#include "support/cups_server.h"
#include "support/printer_stand_ins.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kDeadlineMs = 60000;

struct Outcome
{
    int status = -1;
    QByteArray out;
    QString err;
    QByteArray atPort; // what a pseudo-terminal port received
};

QProcessEnvironment environmentWith(const QList<std::pair<QString, QString>>& variables)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QString::fromLatin1(kCom1Variable));
    env.remove(QString::fromLatin1(kLpt1Variable));
    for (const auto& [name, value] : variables)
        env.insert(name, value);
    return env;
}

// Starts the program with `input` on its standard input; false (with a warning) when it does not start.
bool start(QProcess& process, const QStringList& arguments, const QByteArray& input, const QProcessEnvironment& env)
{
    process.setProcessEnvironment(env);
    endsWithTest(process);
    process.start(QStringLiteral(QUORLEX_BATCH_EXE), arguments);
    if (!process.waitForStarted(kDeadlineMs)) {
        qWarning("%s does not start: %s", QUORLEX_BATCH_EXE, qPrintable(process.errorString()));
        return false;
    }
    process.write(input);
    process.closeWriteChannel();
    return true;
}

// Runs the program to its end; with a pseudo-terminal, reads what arrives there all the while, so that a
// program that waits for its line to drain is never left waiting.
Outcome runProgram(const QStringList& arguments, const QByteArray& input = {}, PseudoTerminal* port = nullptr,
                   const QProcessEnvironment& env = environmentWith({}))
{
    Outcome outcome;
    QProcess process;
    if (!start(process, arguments, input, env))
        return outcome;
    const QDeadlineTimer deadline(kDeadlineMs);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        if (port)
            outcome.atPort += port->read();
        process.waitForFinished(port ? 5 : 100);
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        qWarning("the program did not end in time");
        return outcome;
    }
    if (port)
        outcome.atPort += port->read();
    outcome.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = process.readAllStandardOutput();
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

QByteArray csvOf(int rows)
{
    QByteArray csv = "item,version,qty\r\n";
    for (int row = 1; row <= rows; ++row)
        csv +=
            QStringLiteral("R%1,V%2,%3\r\n").arg(row, 4, 10, QLatin1Char('0')).arg(row % 7).arg(row % 3 + 1).toLatin1();
    return csv;
}

} // namespace

class BatchProcessTest : public QObject
{
    Q_OBJECT

    // A private CUPS server with the queue LABELS and the stopped queue STOPPED, started on first use.
    std::unique_ptr<PrivateCupsServer> cups_;
    bool startCups()
    {
        if (cups_)
            return cups_->isRunning();
        cups_ = std::make_unique<PrivateCupsServer>();
        const bool ready = cups_->isRunning() && cups_->addQueue(QStringLiteral("LABELS")) &&
                           cups_->addQueue(QStringLiteral("STOPPED")) &&
                           cups_->runTool(QStringLiteral("cupsdisable"), {"-r", "Out of labels", "STOPPED"});
        if (!ready)
            qWarning("%s", qPrintable(cups_->failure()));
        return ready;
    }
    QProcessEnvironment cupsEnvironment() const
    {
        return environmentWith({{QStringLiteral("CUPS_SERVER"), cups_->socketPath()}});
    }
    // The id of the first job on LABELS that is not in `before`, waited for (bounded) while `process` runs;
    // 0 when none came.
    int waitForNewJob(QProcess& process, const QMap<int, int>& before)
    {
        const QDeadlineTimer deadline(kDeadlineMs);
        while (process.state() == QProcess::Running && !deadline.hasExpired()) {
            process.waitForFinished(2);
            const QMap<int, int> now = cups_->jobStates(QStringLiteral("LABELS"));
            for (auto it = now.cbegin(); it != now.cend(); ++it) {
                if (!before.contains(it.key()))
                    return it.key();
            }
        }
        return 0;
    }

private slots:
    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error"); // what standard error starts with
        QTest::addRow("help") << QStringList{"--help"} << QByteArray() << 0 << "";
        QTest::addRow("dry run from options")
            << QStringList{"--size", "1M", "--item", "A", "--dry-run"} << QByteArray() << 0 << "";
        QTest::addRow("dry run from standard input") << QStringList{"--size", "6M", "--csv", "-", "--dry-run"}
                                                     << QByteArray("\xEF\xBB\xBFitem\r\nA\r\n") << 0 << "";
        QTest::addRow("no arguments") << QStringList{} << QByteArray() << 2
                                      << "quorlex-label-batch: --size is required";
        QTest::addRow("bad row on standard input")
            << QStringList{"--size", "3M", "--csv", "-", "--dry-run"} << QByteArray("item,version\nA,1\nB,1234567\n")
            << 2 << "quorlex-label-batch: standard input: row 3 (line 3), column version:";
        QTest::addRow("port that does not exist")
            << QStringList{"--size", "3M", "--item", "A", "--port", "/nonexistent/lp0"} << QByteArray() << 1
            << "quorlex-label-batch: opening /nonexistent/lp0: No such file or directory; nothing was sent";
        QTest::addRow("device that refuses the first job")
            << QStringList{"--size", "3M", "--csv", "-", "--port", "/dev/full"} << QByteArray("item\nA\nB\n") << 1
            << "quorlex-label-batch: row 2 (line 2): sending to /dev/full: No space left on device after 0 of 234 "
               "bytes; 0 of 2 jobs gone (0 labels; gone: the device has taken every byte)";
    }
    void exitStatuses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QString, error);
        const Outcome outcome = runProgram(arguments, input);
        QVERIFY2(outcome.status == status,
                 qPrintable(QStringLiteral("status %1: %2").arg(outcome.status).arg(outcome.err)));
        QVERIFY2(error.isEmpty() ? outcome.err.isEmpty() : outcome.err.startsWith(error), qPrintable(outcome.err));
        if (status == 0 && error.isEmpty())
            QVERIFY(!outcome.out.isEmpty());
        if (status != 0)
            QVERIFY(outcome.out.isEmpty());
    }

    // The same message as the window's, from the same output layer; the file is left as it was.
    void com1MappedToAFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("printer"));
        QVERIFY(writeFile(file, "before"));
        const Outcome outcome = runProgram({"--size", "3M", "--item", "A"}, {}, nullptr,
                                           environmentWith({{QString::fromLatin1(kCom1Variable), file}}));
        QCOMPARE(outcome.status, 1);
        QCOMPARE(outcome.err,
                 QStringLiteral("quorlex-label-batch: opening COM1 (%1): %1 is not a serial port (a serial "
                                "port is a terminal device such as /dev/ttyS0); nothing was sent\n")
                     .arg(file));
        QCOMPARE(readFile(file), QByteArray("before"));
    }

    // Standard streams that are closed or take nothing, as a shell sets them up: each failure is named, and
    // a reader that goes away does not end the program by a signal.
    void standardStreamsThatFail_data()
    {
        QTest::addColumn<QString>("script"); // bash, with $0 the program and $1 a CSV file of 3000 rows
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::addRow("help to a full device")
            << "\"$0\" --help >/dev/full" << 1
            << "quorlex-label-batch: writing the help to standard output: No space left on device\n";
        QTest::addRow("dry run into a pipe that closes")
            << "\"$0\" --size 3M --csv \"$1\" --dry-run | head -c 100 >/dev/null; exit ${PIPESTATUS[0]}" << 1
            << "sending to standard output: Broken pipe; ";
        QTest::addRow("closed standard input") << "\"$0\" --size 3M --csv - <&-" << 2
                                               << "quorlex-label-batch: --csv -: standard input is closed\n"
                                                  "quorlex-label-batch: nothing was sent\n";
        QTest::addRow("closed standard output")
            << "\"$0\" --size 3M --item A --dry-run >&-" << 1 << "closing standard output: Bad file descriptor";
        // The serial library is loaded on the first serial port; without it only serial ports fail.
        const QString withoutSerial =
            QStringLiteral("QUORLEX_LABEL_SERIAL_LIBRARY=/nonexistent/libquorlex-label-serial.so ");
        const QString missing = QStringLiteral(
            "serial ports need /nonexistent/libquorlex-label-serial.so, which is missing (install the package "
            "quorlex-label again)");
        QTest::addRow("COM1 without the serial library")
            << withoutSerial + "QUORLEX_LABEL_COM1=/dev/ttyS0 \"$0\" --size 3M --item A --port com1" << 1
            << "quorlex-label-batch: opening COM1 (/dev/ttyS0): " + missing + "; nothing was sent\n";
        QTest::addRow("ports listed without the serial library")
            << withoutSerial + "CUPS_SERVER=/nonexistent \"$0\" --list-ports" << 0
            << "quorlex-label-batch: serial ports are not listed: " + missing;
        QTest::addRow("dry run without the serial library")
            << withoutSerial + "\"$0\" --size 3M --item A --dry-run >/dev/null" << 0 << "";
    }
    void standardStreamsThatFail()
    {
        QFETCH(QString, script);
        QFETCH(int, status);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString csvPath = dir.filePath(QStringLiteral("labels.csv"));
        QVERIFY(writeFile(csvPath, csvOf(3000)));
        QProcess shell;
        shell.start(QStringLiteral("bash"), {"-c", script, QStringLiteral(QUORLEX_BATCH_EXE), csvPath});
        QVERIFY(shell.waitForFinished(kDeadlineMs));
        const QString err = QString::fromUtf8(shell.readAllStandardError());
        QVERIFY2(shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == status,
                 qPrintable(QStringLiteral("status %1: %2").arg(shell.exitCode()).arg(err)));
        QVERIFY2(error.isEmpty() || error.endsWith('\n') ? err == error : err.contains(error), qPrintable(err));
    }

    // A bad last row leaves the device exactly as it was.
    void badRowLeavesTheDeviceUntouched()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("printer"));
        QVERIFY(writeFile(device, "before"));
        QByteArray csv = csvOf(50);
        csv += "TOOLONG,V1,1\r\n";
        const Outcome outcome = runProgram({"--size", "3M", "--csv", "-", "--port", device}, csv);
        QCOMPARE(outcome.status, 2);
        QVERIFY2(outcome.err.contains("row 52 (line 52), column item"), qPrintable(outcome.err));
        QCOMPARE(readFile(device), QByteArray("before"));
    }

    // LPT1 as the window maps it: opened once, so the device holds every job of the run one after another.
    void lptTakesEveryJobThroughOneOpening()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("lpt1"));
        QVERIFY(writeFile(device, "old contents"));
        const QString csvPath = dir.filePath(QStringLiteral("labels.csv"));
        const QByteArray csv = csvOf(20);
        QVERIFY(writeFile(csvPath, csv));
        const QStringList arguments{"--size", "2M", "--five-across", "--csv", csvPath, "--port", "LPT"};
        const Outcome outcome =
            runProgram(arguments, {}, nullptr, environmentWith({{QString::fromLatin1(kLpt1Variable), device}}));
        QVERIFY2(outcome.status == 0, qPrintable(outcome.err));
        QCOMPARE(readFile(device), jobsOf(arguments, csv).join());
    }

    void lptFileIsNeverCreated()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("missing"));
        const Outcome outcome = runProgram({"--size", "9M", "--item", "A", "--port", "lpt"}, {}, nullptr,
                                           environmentWith({{QString::fromLatin1(kLpt1Variable), device}}));
        QCOMPARE(outcome.status, 1);
        QVERIFY2(outcome.err.startsWith("quorlex-label-batch: opening LPT1 (" + device + "): No such file"),
                 qPrintable(outcome.err));
        QVERIFY(!QFile::exists(device));
    }

    // A terminal, named directly or mapped as COM1, is driven as the serial port: every byte of every job
    // arrives.
    void pseudoTerminalGetsEveryJob_data()
    {
        QTest::addColumn<bool>("asCom1");
        QTest::addRow("--port PATH") << false;
        QTest::addRow("--port com1 mapped") << true;
    }
    void pseudoTerminalGetsEveryJob()
    {
        QFETCH(bool, asCom1);
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        const QByteArray csv = csvOf(40);
        QStringList arguments{"--size", "9M", "--nudge", "item-x=+3", "--csv", "-", "--port"};
        arguments << (asCom1 ? QStringLiteral("com1") : pty.slavePath());
        const QProcessEnvironment env =
            asCom1 ? environmentWith({{QString::fromLatin1(kCom1Variable), pty.slavePath()}}) : environmentWith({});
        const Outcome outcome = runProgram(arguments, csv, &pty, env);
        QVERIFY2(outcome.status == 0, qPrintable(outcome.err));
        QCOMPARE(outcome.atPort, jobsOf(arguments, csv).join());
    }

    // Printers that refuse or go away end the run with status 1, a message naming the row and how many jobs
    // had gone, and never a signal.
    void printersThatFailOrGoAway_data()
    {
        QTest::addColumn<PrinterKind>("kind");
        QTest::addColumn<Reading>("reading");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error"); // a regular expression; empty: the jobs arrive whole
        QTest::addRow("network printer") << PrinterKind::Network << Reading::All << 0 << QString();
        QTest::addRow("FIFO") << PrinterKind::Fifo << Reading::Slowly << 0 << QString();
        QTest::addRow("FIFO nobody reads")
            << PrinterKind::Fifo << Reading::NoReader << 1 << ": nothing is reading the pipe; nothing was sent\n$";
        QTest::addRow("FIFO reader goes away")
            << PrinterKind::Fifo << Reading::GoesAway << 1
            << ": row \\d+ \\(line \\d+\\): sending to .*: the reader of the pipe went away after \\d+ of \\d+ "
               "bytes; \\d+ of 400 jobs gone \\(\\d+ labels; gone: the pipe has taken every byte\\)\\n$";
        QTest::addRow("network printer refuses")
            << PrinterKind::RefusedPort << Reading::All << 1 << "refused the connection .*; nothing was sent\\n$";
    }
    void printersThatFailOrGoAway()
    {
        QFETCH(PrinterKind, kind);
        QFETCH(Reading, reading);
        QFETCH(int, status);
        QFETCH(QString, error);
        StandInPrinter printer(kind, reading, 1000);
        const QByteArray csv = csvOf(400); // over 64 KB, more than a pipe holds
        const QStringList arguments{"--size", "3M", "--csv", "-", "--port", printer.address};
        const Outcome outcome = runProgram(arguments, csv);
        QVERIFY2(outcome.status == status, qPrintable(outcome.err));
        if (error.isEmpty()) {
            const QByteArray jobs = jobsOf(arguments, csv).join();
            QCOMPARE(printer.received(jobs.size()), jobs);
            return;
        }
        QVERIFY2(QRegularExpression(error).match(outcome.err).hasMatch(), qPrintable(outcome.err));
        QCOMPARE(outcome.err.count(QLatin1Char('\n')), 1);
    }

    // Ctrl-C while the printer takes nothing: the run stops at once with status 130 and says what had gone, also
    // when it was started with SIGINT blocked, as some shells and services start programs.
    void ctrlCWhileThePrinterWaits_data()
    {
        QTest::addColumn<bool>("blockedAtStart");
        QTest::addRow("from a shell") << false;
        QTest::addRow("SIGINT blocked at start") << true;
    }
    void ctrlCWhileThePrinterWaits()
    {
        QFETCH(bool, blockedAtStart);
        FifoPrinter printer(Reading::Never);
        QProcess process;
        if (blockedAtStart) {
            process.setChildProcessModifier([] {
                sigset_t interrupt;
                sigemptyset(&interrupt);
                sigaddset(&interrupt, SIGINT);
                sigprocmask(SIG_BLOCK, &interrupt, nullptr);
            });
        }
        QVERIFY(start(process, {"--size", "3M", "--item", "A", "--port", printer.path()}, {}, environmentWith({})));
        QVERIFY(!process.waitForFinished(500)); // it waits for the full pipe
        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QCOMPARE(
            QString::fromUtf8(process.readAllStandardError()),
            QStringLiteral("quorlex-label-batch: stopped by Ctrl-C: 0 of 1 jobs gone (0 labels; gone: the pipe has "
                           "taken every byte)\n"));
    }

    // Ctrl-C in the middle of a run: the job under way goes out whole, nothing after it, and the status is 130.
    // While the run is under way the terminal is a serial line at 9600 baud, 8 data bits, no parity, 1 stop bit.
    void ctrlCStopsAfterTheCurrentJob()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        // Far more than the pseudo-terminal holds, so the run cannot be over before Ctrl-C arrives: it only
        // moves on as fast as this test reads.
        constexpr int kRows = 3000;
        const QByteArray csv = csvOf(kRows);
        const QStringList arguments{"--size", "3M", "--csv", "-", "--port", pty.slavePath()};
        const QList<QByteArray> jobs = jobsOf(arguments, csv);
        QCOMPARE(jobs.size(), kRows);

        QProcess process;
        QVERIFY(start(process, arguments, csv, environmentWith({})));
        QByteArray received;
        const QDeadlineTimer deadline(kDeadlineMs);
        bool interrupted = false;
        termios line{};
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            // Until Ctrl-C is sent, one chunk at a time: a read that drains for as long as the run refills the
            // line (on another core) could take the whole run before the signal goes out.
            received += pty.read(interrupted ? -1 : 4096);
            if (!interrupted && !received.isEmpty()) {
                line = pty.lineSettings(); // the first bytes are there: the run is sending
                ::kill(pid_t(process.processId()), SIGINT);
                interrupted = true;
            }
            process.waitForFinished(5);
        }
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
            QFAIL("the program did not stop");
        }
        received += pty.read();
        QVERIFY(interrupted);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(
            process.exitCode() == 130,
            qPrintable(QStringLiteral("exit %1, %2 bytes: %3").arg(process.exitCode()).arg(received.size()).arg(err)));
        QCOMPARE(cfgetospeed(&line), speed_t(B9600));
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));

        // What arrived is a whole number of jobs, the first ones, in order.
        qsizetype whole = 0;
        QByteArray expected;
        while (whole < jobs.size() && expected.size() < received.size())
            expected += jobs.at(whole++);
        QCOMPARE(received, expected);
        QVERIFY(whole >= 1);
        QVERIFY(whole < kRows);
        QVERIFY2(err.contains(QStringLiteral("stopped by Ctrl-C: %1 of %2 jobs gone").arg(whole).arg(kRows)),
                 qPrintable(err));
    }

    // A --dry-run whose reader stops reading: Ctrl-C or SIGTERM ends it with status 130, and the jobs it
    // counts as gone are exactly the whole jobs the pipe took (what the reader read and what the pipe still
    // holds), not those left in the program's own buffer.
    void stoppedWhileStandardOutputStalls_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("readFirst"); // bytes the reader takes before it stops reading
        QTest::addColumn<QString>("cause");
        QTest::addRow("Ctrl-C, reader takes nothing") << int(SIGINT) << 0 << "Ctrl-C";
        QTest::addRow("Ctrl-C, reader takes 65536 bytes") << int(SIGINT) << 65536 << "Ctrl-C";
        QTest::addRow("SIGTERM, reader takes 100000 bytes") << int(SIGTERM) << 100000 << "SIGTERM";
    }
    void stoppedWhileStandardOutputStalls()
    {
        QFETCH(int, signal);
        QFETCH(int, readFirst);
        QFETCH(QString, cause);
        constexpr int kRows = 3000;
        QTemporaryDir dir;
        const QByteArray csv = csvOf(kRows);
        const QString csvPath = dir.filePath(QStringLiteral("labels.csv"));
        QVERIFY(writeFile(csvPath, csv));
        const QStringList arguments{"--size", "3M", "--csv", csvPath, "--dry-run"};
        const QList<QByteArray> jobs = jobsOf(arguments, csv);
        QCOMPARE(jobs.size(), kRows);

        const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("out")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        const auto readUpTo = [reader](qint64 most, int ms) {
            QByteArray got;
            const QDeadlineTimer deadline(ms);
            while (got.size() < most && !deadline.hasExpired()) {
                char buffer[4096];
                const ssize_t n = ::read(reader, buffer, size_t(qMin<qint64>(sizeof buffer, most - got.size())));
                if (n > 0)
                    got.append(buffer, n);
                else if (n == 0 && got.size() > 0)
                    break; // the writer has gone and the pipe is empty
                else
                    QThread::msleep(2);
            }
            return got;
        };

        QProcess process;
        process.setStandardOutputFile(QFile::decodeName(fifo));
        QVERIFY(start(process, arguments, {}, environmentWith({})));
        QByteArray received = readUpTo(readFirst, kDeadlineMs);
        QCOMPARE(received.size(), qsizetype(readFirst));
        QVERIFY(!process.waitForFinished(300)); // held by the full pipe
        ::kill(pid_t(process.processId()), signal);
        const bool ended = process.waitForFinished(kDeadlineMs);
        received += readUpTo(std::numeric_limits<qint64>::max(), 2000);
        ::close(reader);
        QVERIFY(ended);
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(process.exitCode() == 130, qPrintable(err));

        // What the pipe took is the first jobs in order, the last one possibly cut.
        qsizetype whole = 0;
        qsizetype offset = 0;
        int labels = 0;
        while (whole < jobs.size() && offset + jobs.at(whole).size() <= received.size()) {
            QCOMPARE(received.mid(offset, jobs.at(whole).size()), jobs.at(whole));
            offset += jobs.at(whole).size();
            labels += (whole + 1) % 3 + 1; // csvOf's qty
            ++whole;
        }
        QVERIFY(jobs.at(whole).startsWith(received.mid(offset)));
        QVERIFY(whole < kRows);
        QVERIFY2(err.contains(QStringLiteral("stopped by %1: %2 of %3 jobs gone (%4 labels;")
                                  .arg(cause)
                                  .arg(whole)
                                  .arg(kRows)
                                  .arg(labels)),
                 qPrintable(err));
    }

    // A run to a CUPS queue is one CUPS job holding every job of the run in order, and its id is printed.
    void cupsQueueTakesTheRunAsOneJob_data()
    {
        QTest::addColumn<bool>("ipp");
        QTest::addRow("cups:LABELS") << false;
        QTest::addRow("ipp://127.0.0.1:PORT/printers/LABELS") << true;
    }
    void cupsQueueTakesTheRunAsOneJob()
    {
        QFETCH(bool, ipp);
        QVERIFY(startCups());
        const QString port = ipp ? cups_->ippAddress(QStringLiteral("LABELS")) : QStringLiteral("cups:LABELS");
        const QByteArray csv = csvOf(25);
        const QStringList arguments{"--size", "3M", "--csv", "-", "--port", port};
        const int before = int(cups_->printed(QStringLiteral("LABELS")).size());
        const Outcome outcome = runProgram(arguments, csv, nullptr, cupsEnvironment());
        QVERIFY2(outcome.status == 0, qPrintable(outcome.err));
        QCOMPARE(outcome.err, QString());
        const QRegularExpressionMatch receipt =
            QRegularExpression(QStringLiteral("^queue LABELS accepted job (\\d+)\n$"))
                .match(QString::fromUtf8(outcome.out));
        QVERIFY2(receipt.hasMatch(), outcome.out.constData());
        const int id = receipt.captured(1).toInt();
        QVERIFY(cups_->waitForPrinted(QStringLiteral("LABELS"), id));
        QCOMPARE(cups_->printed(QStringLiteral("LABELS")).value(id), jobsOf(arguments, csv).join());
        QCOMPARE(cups_->printed(QStringLiteral("LABELS")).size(), before + 1);
    }

    void cupsRefusalsSendNothing_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("server"); // CUPS_SERVER; empty: the private server
        QTest::addColumn<QString>("error");
        QTest::addRow("missing queue") << "cups:NOSUCH"
                                       << ""
                                       << "quorlex-label-batch: opening cups:NOSUCH: there is no queue NOSUCH on the "
                                          "CUPS server at ";
        QTest::addRow("stopped queue") << "cups:STOPPED"
                                       << ""
                                       << "quorlex-label-batch: opening cups:STOPPED: queue STOPPED is stopped: Out "
                                          "of labels (paused); nothing was sent\n";
        QTest::addRow("no server") << "cups:LABELS"
                                   << "/nonexistent/cups.sock"
                                   << "quorlex-label-batch: opening cups:LABELS: cannot reach the CUPS server at "
                                      "/nonexistent/cups.sock: No such file or directory; nothing was sent\n";
    }
    void cupsRefusalsSendNothing()
    {
        QFETCH(QString, port);
        QFETCH(QString, server);
        QFETCH(QString, error);
        QVERIFY(startCups());
        const QMap<int, int> labelsJobs = cups_->jobStates(QStringLiteral("LABELS"));
        const QMap<int, int> stoppedJobs = cups_->jobStates(QStringLiteral("STOPPED"));
        const QProcessEnvironment env =
            server.isEmpty() ? cupsEnvironment() : environmentWith({{QStringLiteral("CUPS_SERVER"), server}});
        const Outcome outcome = runProgram({"--size", "3M", "--csv", "-", "--port", port}, csvOf(3), nullptr, env);
        QCOMPARE(outcome.status, 1);
        QVERIFY2(outcome.err.startsWith(error), qPrintable(outcome.err));
        QVERIFY(outcome.out.isEmpty());
        // No queue of the server got a job from the run.
        QCOMPARE(cups_->jobStates(QStringLiteral("LABELS")), labelsJobs);
        QCOMPARE(cups_->jobStates(QStringLiteral("STOPPED")), stoppedJobs);
        QVERIFY(cups_->printed(QStringLiteral("STOPPED")).isEmpty());
    }

    // Ctrl-C while a run goes to a CUPS queue cancels the job on the server: the queue prints none of it.
    void ctrlCCancelsTheCupsRun()
    {
        QVERIFY(startCups());
        const QMap<int, int> before = cups_->jobStates(QStringLiteral("LABELS"));
        QProcess process;
        // Enough rows that the run is still being sent when the server shows its job.
        QVERIFY(
            start(process, {"--size", "3M", "--csv", "-", "--port", "cups:LABELS"}, csvOf(20000), cupsEnvironment()));
        const int id = waitForNewJob(process, before);
        QVERIFY2(id > 0, "the run made no job on the server");
        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(kDeadlineMs));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(process.exitCode() == 130, qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral("stopped by Ctrl-C: 0 of 20000 jobs gone")), qPrintable(err));
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QTRY_COMPARE(cups_->jobStates(QStringLiteral("LABELS")).value(id), 7); // cancelled
        QVERIFY(!cups_->printed(QStringLiteral("LABELS")).contains(id));
    }

    // A run to a server's TCP port cut off while the server hangs, by a crash or a kill that leaves no time
    // to cancel anything: once the server goes on, it prints nothing of the run, since the connection was
    // reset. (A local socket cannot be reset: a server may take what came through one as the whole job.)
    void runKilledWhileTheServerHangsPrintsNothing()
    {
        QVERIFY(startCups());
        const QString queue = QStringLiteral("LABELS");
        const QMap<int, int> before = cups_->jobStates(queue);
        QProcess process;
        QVERIFY(start(process, {"--size", "3M", "--csv", "-", "--port", cups_->ippAddress(queue)}, csvOf(60000),
                      cupsEnvironment()));
        const int id = waitForNewJob(process, before);
        QVERIFY2(id > 0, "the run made no job on the server");
        QVERIFY(!process.waitForFinished(300)); // the document is under way
        const GoesOnAtEnd goesOn{*cups_};
        cups_->hang();
        QVERIFY(!process.waitForFinished(1000));
        process.kill();
        process.waitForFinished();
        cups_->goOn();
        // The server reads what it was sent, then the reset, and drops the document: the job ends without
        // printing once the server stops waiting for its document.
        QTRY_VERIFY_WITH_TIMEOUT(QList<int>({7, 8, 9}).contains(cups_->jobStates(queue).value(id)), 20000);
        QCOMPARE(cups_->jobStates(queue).value(id), 8); // aborted
        QVERIFY(!cups_->printed(queue).contains(id));
    }

    // --list-ports shows the queues with their states in the form --port takes; without a CUPS server it
    // lists the rest and says so.
    void listPorts()
    {
        QVERIFY(startCups());
        Outcome outcome = runProgram({"--list-ports"}, {}, nullptr, cupsEnvironment());
        QVERIFY2(outcome.status == 0, qPrintable(outcome.err));
        QCOMPARE(outcome.err, QString());
        const QStringList lines = QString::fromUtf8(outcome.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.contains(QStringLiteral("cups:LABELS   CUPS queue: idle, accepting jobs")),
                 outcome.out.constData());
        QVERIFY2(lines.contains(QStringLiteral("cups:STOPPED  CUPS queue: stopped, accepting jobs: Out of labels "
                                               "(paused)")),
                 outcome.out.constData());

        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const QString at = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
        closed.close();
        outcome = runProgram({"--list-ports"}, {}, nullptr, environmentWith({{QStringLiteral("CUPS_SERVER"), at}}));
        QCOMPARE(outcome.status, 0);
        QVERIFY(!outcome.out.contains("cups:"));
        QCOMPARE(outcome.err, QStringLiteral("quorlex-label-batch: no CUPS server answered, so no CUPS queue is listed "
                                             "(cannot reach the CUPS server at %1: Connection refused)\n")
                                  .arg(at));
    }
};

QTEST_MAIN(BatchProcessTest)
#include "tst_batch_process.moc"
