// The output layer against real parts: files, FIFOs, a loopback network printer and pseudo-terminals.
#include "output/cups_library.h"
#include "output/destination.h"
#include "output/port_devices.h"
#include "output/socket_destination.h"
#include "support/printer_stand_ins.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"

#include <QtTest>

#include <memory>
#include <sys/stat.h>

namespace {

// Short time-outs, so that a printer that takes nothing is reported within a test's patience.
DestinationTimeouts quickTimeouts()
{
    DestinationTimeouts timeouts;
    timeouts.connect = std::chrono::milliseconds(1500);
    timeouts.transferBase = std::chrono::milliseconds(300);
    timeouts.transferPer10KB = std::chrono::milliseconds(0);
    return timeouts;
}

} // namespace

class DestinationsTest : public QObject
{
    Q_OBJECT

private slots:
    void jobArrivesWhole_data()
    {
        QTest::addColumn<PrinterKind>("kind");
        QTest::addColumn<Reading>("reading");
        QTest::addColumn<QByteArray>("job");
        QTest::addColumn<bool>("waits"); // whether the printer makes the sender wait, processing events
        const QByteArray label = "\r\nN\r\nq240\r\nQ88,24\r\nA10,20,0,1,1,1,N,\"ITEM01\"\r\nP1\r\n\r\n";
        QTest::addRow("file") << PrinterKind::File << Reading::All << label << false;
        QTest::addRow("FIFO read at once") << PrinterKind::Fifo << Reading::All << label << false;
        QTest::addRow("FIFO read slowly") << PrinterKind::Fifo << Reading::Slowly << bulkyJob(200 * 1024) << true;
        QTest::addRow("network printer") << PrinterKind::Network << Reading::All << label << false;
        QTest::addRow("network printer, large job") << PrinterKind::Network << Reading::All << bulkyJob() << false;
        QTest::addRow("network printer read slowly")
            << PrinterKind::Network << Reading::Slowly << bulkyJob(400 * 1024) << true;
        QTest::addRow("pseudo-terminal") << PrinterKind::Terminal << Reading::All << bulkyJob(16 * 1024) << true;
    }
    void jobArrivesWhole()
    {
        QFETCH(PrinterKind, kind);
        QFETCH(Reading, reading);
        QFETCH(QByteArray, job);
        QFETCH(bool, waits);
        StandInPrinter printer(kind, reading, 0);
        QString error;
        const auto destination = createDestination(printer.address, QStringLiteral("LPT1"), &error);
        QVERIFY2(destination, qPrintable(error));
        int passes = 0;
        destination->setWaitControl({[&] {
                                         ++passes;
                                         printer.serve();
                                     },
                                     {}});
        const QString failure = printJobs(*destination, {job});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(printer.received(job.size()), job);
        if (waits)
            QVERIFY(passes > 0);
        QVERIFY(!destination->goneMeaning().isEmpty());
    }

    void failuresNameTheirCause_data()
    {
        QTest::addColumn<PrinterKind>("kind");
        QTest::addColumn<Reading>("reading");
        QTest::addColumn<qint64>("goneAfter");
        QTest::addColumn<QString>("step");   // the step that fails
        QTest::addColumn<QString>("reason"); // a regular expression for the rest of the message
        QTest::addRow("missing file") << PrinterKind::Missing << Reading::All << qint64(0) << "opening"
                                      << "No such file or directory$";
        QTest::addRow("folder") << PrinterKind::Folder << Reading::All << qint64(0) << "opening"
                                << "it is a folder, not a printer$";
        QTest::addRow("FIFO nobody reads") << PrinterKind::Fifo << Reading::NoReader << qint64(0) << "opening"
                                           << "nothing is reading the pipe$";
        QTest::addRow("FIFO reader goes away") << PrinterKind::Fifo << Reading::GoesAway << qint64(1000) << "sending to"
                                               << "the reader of the pipe went away after \\d+ of 1048576 bytes$";
        QTest::addRow("FIFO full and never read")
            << PrinterKind::Fifo << Reading::Never << qint64(0) << "sending to"
            << "took 0 of 1048576 bytes in 0.3 s and no more \\(is the printer switched on and online\\?\\)$";
        QTest::addRow("connection refused") << PrinterKind::RefusedPort << Reading::All << qint64(0) << "opening"
                                            << "127.0.0.1:\\d+ refused the connection";
        QTest::addRow("network printer never reads")
            << PrinterKind::Network << Reading::Never << qint64(0) << "sending to"
            << "(took \\d+ of 1048576 bytes in 0.3 s|bytes were not acknowledged within 0.3 s)";
        QTest::addRow("network printer goes away mid-job")
            << PrinterKind::Network << Reading::GoesAway << qint64(1000) << "sending to"
            << "closed the connection";
        QTest::addRow("terminal hangs up") << PrinterKind::Terminal << Reading::All << qint64(-1) << "sending to"
                                           << "^the other end of the line hung up$";
    }
    void failuresNameTheirCause()
    {
        QFETCH(PrinterKind, kind);
        QFETCH(Reading, reading);
        QFETCH(qint64, goneAfter);
        QFETCH(QString, step);
        QFETCH(QString, reason);
        StandInPrinter printer(kind, reading, goneAfter);
        QString error;
        const auto destination = createDestination(printer.address, QString(), &error);
        QVERIFY2(destination, qPrintable(error));
        int passes = 0;
        destination->setWaitControl({[&] { ++passes; }, {}});
        destination->setTimeouts(quickTimeouts());
        QString failure;
        if (goneAfter < 0) { // the other end hangs up between opening and sending
            QVERIFY(destination->open());
            printer.terminal->hangUp();
            QVERIFY(!(destination->send(bulkyJob()) && destination->confirm()));
            failure = destination->errorString();
        } else {
            failure = printJobs(*destination, {bulkyJob()});
        }
        const QString prefix = QStringLiteral("%1 %2: ").arg(step, printer.address);
        QVERIFY2(failure.startsWith(prefix), qPrintable(failure));
        const QString rest = failure.mid(prefix.size());
        QVERIFY2(QRegularExpression(reason).match(rest).hasMatch(), qPrintable(failure));
        QVERIFY(!destination->stopped());
        destination->abandon();
    }

    void stopEndsAWaitAtOnce_data()
    {
        QTest::addColumn<PrinterKind>("kind");
        QTest::addRow("full FIFO") << PrinterKind::Fifo;
        QTest::addRow("network printer that never reads") << PrinterKind::Network;
    }
    void stopEndsAWaitAtOnce()
    {
        QFETCH(PrinterKind, kind);
        StandInPrinter printer(kind, Reading::Never, 0);
        QString error;
        const auto destination = createDestination(printer.address, QString(), &error);
        QVERIFY(destination);
        DestinationTimeouts patient;
        patient.transferBase = std::chrono::milliseconds(60000);
        destination->setTimeouts(patient);
        int passes = 0;
        int asked = 0;
        destination->setWaitControl({[&] { ++passes; },
                                     [&] {
                                         ++asked;
                                         return passes >= 5;
                                     }});
        QVERIFY(!(destination->open() && destination->send(bulkyJob()) && destination->confirm()));
        QVERIFY(destination->stopped());
        QVERIFY2(destination->errorString().endsWith(": stopped before the job had gone"),
                 qPrintable(destination->errorString()));
        // Honoured at the first question after the fifth pass: no pass after it, no question left unanswered.
        QCOMPARE(passes, 5);
        QCOMPARE(asked, 6);
    }

    // COM1 mapped to something that is not a terminal says so and leaves it alone, whatever it is.
    void com1ThatIsNoSerialPort_data()
    {
        QTest::addColumn<QString>("what");
        for (const char* what : {"file", "FIFO", "folder", "/dev/null"})
            QTest::addRow("%s", what) << what;
    }
    void com1ThatIsNoSerialPort()
    {
        QFETCH(QString, what);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("x"));
        if (what == QLatin1String("file"))
            QVERIFY(writeFile(path, "before"));
        else if (what == QLatin1String("FIFO"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (what == QLatin1String("folder"))
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("x")));
        else
            path = what;
        qputenv(kCom1Variable, path.toLocal8Bit());
        QString error;
        const auto destination = printerPortDestination(PrinterPort::Com1, nullptr, &error);
        qunsetenv(kCom1Variable);
        QVERIFY2(destination, qPrintable(error));
        QVERIFY(!destination->open());
        QCOMPARE(
            destination->errorString(),
            QStringLiteral("opening COM1 (%1): %1 is not a serial port (a serial port is a terminal device such as "
                           "/dev/ttyS0)")
                .arg(path));
        if (what == QLatin1String("file"))
            QCOMPARE(readFile(path), QByteArray("before"));
    }

    // A network printer that stops reading: the run fails, and once the printer reads again nothing arrives
    // past what it had acknowledged, at most the first part of the job under way, since the connection
    // given up on was reset, not closed in order.
    void givenUpConnectionDeliversNothingMore()
    {
        LoopbackPrinter printer(Reading::Paused);
        QVERIFY(printer.isValid());
        QString error;
        const auto destination = createDestination(printer.address(), QString(), &error);
        QVERIFY2(destination, qPrintable(error));
        destination->setTimeouts(quickTimeouts());
        QList<QByteArray> jobs;
        for (int i = 0; i < 64; ++i)
            jobs << QByteArray(2000, char('a' + i % 26));
        QVERIFY(destination->open());
        qsizetype gone = 0;
        while (gone < jobs.size() && destination->send(jobs.at(gone)) && destination->confirm())
            ++gone;
        QVERIFY2(gone < jobs.size(), "the printer took every job without reading");
        destination->abandon();
        QVERIFY2(destination->leftBehind().startsWith(QLatin1String("the job being sent may have printed in part")),
                 qPrintable(destination->leftBehind()));

        printer.resume();
        const QByteArray all = jobs.join();
        const QByteArray received = printer.received(all.size(), 2000); // all of it never comes
        QVERIFY(all.startsWith(received));
        QVERIFY(received.size() >= gone * 2000);
        QVERIFY2(received.size() < (gone + 1) * 2000,
                 qPrintable(QStringLiteral("%1 jobs gone, %2 bytes arrived").arg(gone).arg(received.size())));
    }

    // A host name as long as they come (253 characters) is cut in messages like any value from outside.
    void longHostNamesAreCut()
    {
        const QString host = QStringList{QString(63, QLatin1Char('a')), QString(63, QLatin1Char('b')),
                                         QString(63, QLatin1Char('c')), QString(61, QLatin1Char('d'))}
                                 .join(QLatin1Char('.'));
        QCOMPARE(host.size(), 253);
        SocketAddress parsed;
        QCOMPARE(parseSocketAddress(QStringLiteral("socket://") + host, &parsed), QString());
        QCOMPARE(parsed.host, host);
        QCOMPARE(parsed.shown(), QString(32, QLatin1Char('a')) + QStringLiteral("... (253 characters):9100"));
        QString error;
        const auto destination = createDestination(QStringLiteral("socket://") + host, QStringLiteral("LPT1"), &error);
        QVERIFY(destination);
        QCOMPARE(destination->name(), QStringLiteral("LPT1 (socket://%1)").arg(parsed.shown()));
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("error"); // empty when the address is good
        QTest::addRow("host") << "socket://printer.example" << QString();
        QTest::addRow("host and port") << "socket://10.0.0.5:9101" << QString();
        QTest::addRow("IPv6") << "socket://[::1]:9100" << QString();
        QTest::addRow("port 0") << "socket://printer:0"
                                << "the port of a network printer is a number from 1 to 65535";
        QTest::addRow("port too large") << "socket://printer:65536"
                                        << "socket://HOST";
        QTest::addRow("no host") << "socket://"
                                 << "socket://HOST";
        QTest::addRow("a path after the port") << "socket://printer:9100/queue"
                                               << "nothing after the port";
        QTest::addRow("empty") << ""
                               << "no printer is named (the address is empty)";
    }
    void addresses()
    {
        QFETCH(QString, address);
        QFETCH(QString, error);
        QString why;
        const auto destination = createDestination(address, QString(), &why);
        QCOMPARE(bool(destination), error.isEmpty());
        QVERIFY2(error.isEmpty() ? why.isEmpty() : why.contains(error), qPrintable(why));
    }

    void terminalsAreToldApart()
    {
        PseudoTerminal pty;
        QVERIFY(isTerminalDevice(pty.slavePath()));
        QVERIFY(!isTerminalDevice(QStringLiteral("/dev/null")));
        QVERIFY(!isTerminalDevice(QStringLiteral("/nonexistent/tty")));
        QTemporaryDir dir;
        QVERIFY(!isTerminalDevice(dir.path()));
    }

    // What an operator reads when the CUPS library cannot be loaded: the file that is missing and the package.
    void cupsLibraryFailures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("loaderSays");
        QTest::addColumn<QString>("expected");
        const QString here = QCoreApplication::applicationFilePath(); // a file that exists
        QTest::addRow("libcups missing")
            << here << "libquorlex-label-cups.so: libcups.so.2: cannot open shared object file: No such file"
            << "CUPS queues need libcups.so.2, which is missing (install the Debian package libcups2)";
        QTest::addRow("own library missing")
            << "/nowhere/libquorlex-label-cups.so"
            << "/nowhere/libquorlex-label-cups.so: cannot open shared object"
            << "CUPS queues need /nowhere/libquorlex-label-cups.so, which is missing (install the package "
               "quorlex-label again)";
        QTest::addRow("anything else, shown safely") << here << "undefined symbol: x\x1b[31m"
                                                     << QStringLiteral("the library %1 cannot be loaded: "
                                                                       "undefined symbol: x\\x1B[31m")
                                                            .arg(here);
    }
    void cupsLibraryFailures()
    {
        QFETCH(QString, path);
        QFETCH(QString, loaderSays);
        QFETCH(QString, expected);
        QCOMPARE(cupsLibraryFailure(path, loaderSays), expected);
    }

    // Seconds in messages and the help, from whole milliseconds.
    void secondsInWords_data()
    {
        QTest::addColumn<qint64>("milliseconds");
        QTest::addColumn<QString>("expected");
        const std::pair<qint64, const char*> rows[] = {{0, "0"},        {10000, "10"},   {500, "0.5"},
                                                       {2250, "2.25"},  {1001, "1.001"}, {1234567000, "1234567"},
                                                       {-1500, "-1.5"}, {-250, "-0.25"}};
        for (const auto& [ms, text] : rows)
            QTest::addRow("%lld ms", ms) << ms << QString::fromLatin1(text);
    }
    void secondsInWords()
    {
        QFETCH(qint64, milliseconds);
        QFETCH(QString, expected);
        QCOMPARE(secondsText(std::chrono::milliseconds(milliseconds)), expected);
    }

    void transferTimeoutGrowsWithTheJob()
    {
        const DestinationTimeouts timeouts;
        QCOMPARE(timeouts.transfer(0).count(), 10000);
        QCOMPARE(timeouts.transfer(1).count(), 11000);
        QCOMPARE(timeouts.transfer(10240).count(), 11000);
        QCOMPARE(timeouts.transfer(10241).count(), 12000);
    }
};

QTEST_GUILESS_MAIN(DestinationsTest)
#include "tst_destinations.moc"
