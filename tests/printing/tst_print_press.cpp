#include "output/port_devices.h"
#include "printing/mscomm.h"
#include "printing/print_press.h"
#include "support/fake_serial_line.h"
#include "support/printer_stand_ins.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

// Shaped like a stored-form job: CR LF line ends and an empty last line, which a cooked line would alter.
const QByteArray kJob = "\r\nN\r\nFR\"FIXEDAT0\"\r\n?\r\nITEM01\r\nV1.0\r\nDATA01\r\nCS0001\r\nP1\r\n\r\n";

class TestHost : public PrintHost
{
public:
    explicit TestHost(MSComm& serial) : serial_(serial) {}

    ComposedJob job{kJob, {}};
    QString port = QStringLiteral("COM1");
    std::function<void(int pass)> onPass;
    int passes = 0;
    int compositions = 0;
    bool portOpenWhenComposed = false;
    QStringList failures;
    int gone = 0; // presses that told the host their job had gone

    ComposedJob composeJob() override
    {
        ++compositions;
        portOpenWhenComposed = serial_.PortOpen();
        return job;
    }
    QString portName() override { return port; }
    MSComm& serialControl() override { return serial_; }
    void processEvents() override
    {
        ++passes;
        QCoreApplication::processEvents();
        if (onPass)
            onPass(passes);
    }
    void reportFailure(const QString& cause) override { failures << cause; }
    void jobGone() override { ++gone; }
    bool closeRequested() override { return closing; }
    DestinationTimeouts timeouts() override { return waits; }

    bool closing = false;
    DestinationTimeouts waits;

private:
    MSComm& serial_;
};

// Makes the pseudo-terminal the device COM1 opens; false when there is none.
bool mapCom1To(const PseudoTerminal& pty)
{
    if (!pty.isValid())
        return false;
    qputenv(kCom1Variable, pty.slavePath().toLocal8Bit());
    return true;
}

int descriptorsOn(const QString& path)
{
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot))
        count += QFile::symLinkTarget(fds.filePath(fd)) == path ? 1 : 0;
    return count;
}

} // namespace

class PrintPressTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        qunsetenv(kCom1Variable);
        qunsetenv(kLpt1Variable);
    }

    // The serial steps as the port sees them, through a line the test controls.
    void serialPressSendsEmptyTextThenWholeJobAndClosesOnce()
    {
        qputenv(kCom1Variable, "/dev/ttyFake");
        auto owned = std::make_unique<FakeSerialLine>();
        FakeSerialLine& line = *owned;
        MSComm serial(std::move(owned));
        TestHost host(serial);
        PrintPress press;

        press.run(host);
        press.run(host);

        QVERIFY(host.failures.isEmpty());
        const QStringList onePress{"open /dev/ttyFake", "write 0", QStringLiteral("write %1").arg(kJob.size()),
                                   "close"};
        QCOMPARE(line.calls, onePress + onePress);
        QCOMPARE(line.writes, QList<QByteArray>({"", kJob, "", kJob}));
        QCOMPARE(line.deliveredAtClose, kJob + kJob);
        QCOMPARE(line.openedWith, LineSettings{});
        QCOMPARE(line.openedWith.bitsPerByte(), 10);
        QCOMPARE(host.passes, 2 * PrintPress::kPausePasses);
        QVERIFY(!serial.PortOpen());
    }

    void slowDeviceGetsWholeJobBeforeClose()
    {
        auto owned = std::make_unique<FakeSerialLine>();
        FakeSerialLine& line = *owned;
        line.takenPerFlush = 0; // nothing goes out during the pause...
        line.takenPerWait = 3;  // ...and a little at every wait after it
        MSComm serial(std::move(owned));
        TestHost host(serial);
        PrintPress().run(host);
        QVERIFY(host.failures.isEmpty());
        QCOMPARE(line.deliveredAtClose, kJob);
        QVERIFY(host.passes > PrintPress::kPausePasses); // the window was served while it drained
    }

    void stuckDeviceTimesOutAndLeavesPortOpen()
    {
        auto owned = std::make_unique<FakeSerialLine>();
        FakeSerialLine& line = *owned;
        line.takenPerFlush = 0;
        line.takenPerWait = 0;
        MSComm serial(std::move(owned));
        TestHost host(serial);
        PrintPress().run(host);
        // It waited out the drain's time-out, serving the window and the device meanwhile.
        QCOMPARE(host.failures,
                 QStringList{QStringLiteral("sending to COM1 (/dev/ttyS0): the port did not send the job within %1 s: "
                                            "%2 bytes were still waiting (is the printer switched on and online?)")
                                 .arg(secondsText(serial.drainTimeout(kJob.size())))
                                 .arg(kJob.size())});
        QVERIFY(line.waits > 0);
        QVERIFY(host.passes > PrintPress::kPausePasses);
        QVERIFY(serial.PortOpen());
        QVERIFY(!line.calls.contains("close"));
    }

    void failuresAfterOpenAreReported_data()
    {
        QTest::addColumn<QString>("openFailure");
        QTest::addColumn<QString>("writeFailure");
        QTest::addColumn<QString>("flushFailure");
        QTest::addColumn<QString>("expectedCause");
        QTest::addColumn<bool>("leftOpen");
        QTest::addColumn<int>("passes");
        const QString denied =
            QStringLiteral("cannot open /dev/ttyS0: Permission denied (is your user in the dialout group?)");
        const QString ioError = QStringLiteral("cannot write to /dev/ttyS0: Input/output error");
        QTest::addRow("port does not open")
            << denied << QString() << QString() << "opening COM1 (/dev/ttyS0): " + denied << false << 0;
        QTest::addRow("port refuses the job")
            << QString() << ioError << QString() << "sending to COM1 (/dev/ttyS0): " + ioError << true << 0;
        QTest::addRow("port fails while the job goes out")
            << QString() << QString() << ioError << "sending to COM1 (/dev/ttyS0): " + ioError << true
            << int(PrintPress::kPausePasses);
    }
    void failuresAfterOpenAreReported()
    {
        QFETCH(QString, openFailure);
        QFETCH(QString, writeFailure);
        QFETCH(QString, flushFailure);
        QFETCH(QString, expectedCause);
        QFETCH(bool, leftOpen);
        QFETCH(int, passes);
        auto owned = std::make_unique<FakeSerialLine>();
        owned->openFailure = openFailure;
        owned->writeFailure = writeFailure;
        owned->flushFailure = flushFailure;
        MSComm serial(std::move(owned));
        TestHost host(serial);
        PrintPress().run(host);
        QCOMPARE(host.failures, QStringList{expectedCause});
        QCOMPARE(serial.PortOpen(), leftOpen);
        QCOMPARE(host.passes, passes); // a failure ends the press at once
        QCOMPARE(host.gone, 0);
    }

    // Through a real pseudo-terminal mapped in as COM1.
    void com1PressDeliversExactlyTheJob()
    {
        PseudoTerminal pty;
        QVERIFY(mapCom1To(pty));
        MSComm serial;
        TestHost host(serial);
        PrintPress press;
        for (int round = 1; round <= 2; ++round) {
            press.run(host);
            QVERIFY2(host.failures.isEmpty(), qPrintable(host.failures.join('\n')));
            QVERIFY(!serial.PortOpen());
            QCOMPARE(pty.read(), kJob);
        }
    }

    void nothingIsSent_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("compositionFails");
        QTest::addColumn<QString>("expectedCause");
        QTest::addRow("composition fails") << "COM1" << true << "composing the job: Item Y position: not a number";
        QTest::addRow("port name LPT1") << "LPT1" << false << "no printer port is chosen (the port is \"LPT1\")";
        QTest::addRow("port name in lower case")
            << "com1" << false << "no printer port is chosen (the port is \"com1\")";
        QTest::addRow("port name with a control character")
            << "LPT\x1b" << false << "no printer port is chosen (the port is \"LPT\\x1B\")";
    }
    void nothingIsSent()
    {
        QFETCH(QString, port);
        QFETCH(bool, compositionFails);
        QFETCH(QString, expectedCause);
        PseudoTerminal pty;
        QVERIFY(mapCom1To(pty));
        MSComm serial;
        TestHost host(serial);
        host.port = port;
        if (compositionFails)
            host.job = ComposedJob{QByteArray(), JobFault{std::nullopt, JobSetting::ItemY, JobProblem::NotANumber}};
        PrintPress().run(host);
        QCOMPARE(host.failures, QStringList{expectedCause});
        QVERIFY(!serial.PortOpen());
        QCOMPARE(pty.read(), QByteArray());
    }

    void portLeftOpenIsClosedByNextPress_data()
    {
        QTest::addColumn<QString>("nextPort");
        QTest::addRow("next press on COM1") << "COM1";
        QTest::addRow("next press on LPT") << "LPT";
    }
    void portLeftOpenIsClosedByNextPress()
    {
        QFETCH(QString, nextPort);
        QTemporaryDir dir;
        const QString printerFile = dir.filePath("lp0");
        QVERIFY(QFile(printerFile).open(QIODevice::WriteOnly));
        qputenv(kLpt1Variable, printerFile.toLocal8Bit());
        PseudoTerminal pty;
        QVERIFY(mapCom1To(pty));
        MSComm serial;
        TestHost host(serial);
        PrintPress press;

        // A printer that takes nothing: the drain times out and the port stays open.
        const QByteArray filler = pty.fill();
        press.run(host);
        QCOMPARE(host.failures.size(), 1);
        QVERIFY2(host.failures.first().contains("did not send the job"), qPrintable(host.failures.first()));
        QVERIFY(serial.PortOpen());

        const QByteArray secondJob = "\r\nN\r\nP2\r\n\r\n";
        host.job.bytes = secondJob;
        host.port = nextPort;
        host.failures.clear();
        QByteArray received;
        host.onPass = [&](int) { received += pty.read(); }; // the printer is back
        press.run(host);
        QVERIFY2(host.failures.isEmpty(), qPrintable(host.failures.join('\n')));
        QVERIFY(!host.portOpenWhenComposed);
        QVERIFY(!serial.PortOpen());
        // The first job went with the port it was queued on; only the second one is sent.
        received += pty.read();
        QCOMPARE(received, filler + (nextPort == "COM1" ? secondJob : QByteArray()));
        QCOMPARE(readFile(printerFile), nextPort == "LPT" ? secondJob : QByteArray());
    }

    void lptPressWritesExactlyTheJob()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("lp0");
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write(QByteArray(500, 'o')); // what an earlier, longer job left
        earlier.close();
        qputenv(kLpt1Variable, path.toLocal8Bit());
        MSComm serial;
        TestHost host(serial);
        host.port = QStringLiteral("LPT");
        PrintPress().run(host);
        QVERIFY2(host.failures.isEmpty(), qPrintable(host.failures.join('\n')));
        QCOMPARE(readFile(path), kJob); // no line end added
        QCOMPARE(descriptorsOn(path), 0);
        QVERIFY(host.passes >= PrintPress::kPausePasses);
    }

    void unreachableDevicesReportCause_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("device"); // relative paths lie in a fresh temporary folder
        QTest::addColumn<QString>("expectedCause");
        QTest::addRow("LPT in a missing folder") << "LPT"
                                                 << "missing/lp0"
                                                 << "opening LPT1 (%1): No such file or directory";
        QTest::addRow("LPT file missing") << "LPT"
                                          << "lp0"
                                          << "opening LPT1 (%1): No such file or directory";
        QTest::addRow("LPT full") << "LPT"
                                  << "/dev/full"
                                  << "sending to LPT1 (%1): No space left on device after 0 of 58 bytes";
        QTest::addRow("COM1 missing") << "COM1"
                                      << "ttyUSB9"
                                      << "opening COM1 (%1): No such file or directory";
    }
    void unreachableDevicesReportCause()
    {
        QFETCH(QString, port);
        QFETCH(QString, device);
        QFETCH(QString, expectedCause);
        QTemporaryDir dir;
        device = QDir(dir.path()).absoluteFilePath(device);
        qputenv(port == "LPT" ? kLpt1Variable : kCom1Variable, device.toLocal8Bit());
        MSComm serial;
        TestHost host(serial);
        host.port = port;
        PrintPress().run(host);
        QCOMPARE(host.failures, QStringList{expectedCause.arg(device)});
        QCOMPARE(descriptorsOn(device), 0); // released, failed or not
        QCOMPARE(QFile::exists(device), device.startsWith("/dev/"));
        QVERIFY(!serial.PortOpen());
    }

    void pauseRunsPendingEvents()
    {
        PseudoTerminal pty;
        QVERIFY(mapCom1To(pty));
        MSComm serial;
        TestHost host(serial);
        bool ran = false;
        bool portWasOpen = false;
        QMetaObject::invokeMethod(
            &serial,
            [&] {
                ran = true;
                portWasOpen = serial.PortOpen();
            },
            Qt::QueuedConnection); // a nudge clicked just before Print
        PrintPress().run(host);
        QVERIFY(ran);
        QVERIFY(portWasOpen);
        QCOMPARE(pty.read(), kJob);
    }

    void pressDuringPressIsDropped()
    {
        PseudoTerminal pty;
        QVERIFY(mapCom1To(pty));
        MSComm serial;
        TestHost host(serial);
        PrintPress press;
        bool runningInside = false;
        host.onPass = [&](int pass) {
            if (pass == 100) {
                runningInside = press.isRunning();
                press.run(host); // Print clicked again during the pause
            }
        };
        press.run(host);
        QVERIFY(runningInside);
        QVERIFY(!press.isRunning());
        QCOMPARE(host.compositions, 1);
        QVERIFY(host.failures.isEmpty());
        QCOMPARE(pty.read(), kJob);
    }

    // LPT1 mapped to a network printer and to pipes: the job arrives whole, or a printer that takes nothing is
    // reported once the transfer time-out has run out, with the window served all the while, and End ends the
    // wait at once without a message.
    void lptToPrintersThatWait_data()
    {
        QTest::addColumn<PrinterKind>("kind");
        QTest::addColumn<Reading>("reading");
        QTest::addColumn<bool>("endDuringTheWait");
        QTest::addColumn<QString>("cause"); // empty when the job arrives
        QTest::addRow("network printer") << PrinterKind::Network << Reading::All << false << QString();
        QTest::addRow("FIFO read slowly") << PrinterKind::Fifo << Reading::Slowly << false << QString();
        QTest::addRow("full FIFO") << PrinterKind::Fifo << Reading::Never << false
                                   << "sending to LPT1 (%1): took 0 of 58 bytes in 0.3 s and no more (is the printer "
                                      "switched on and online?)";
        QTest::addRow("End while a full FIFO waits") << PrinterKind::Fifo << Reading::Never << true << QString();
    }
    void lptToPrintersThatWait()
    {
        QFETCH(PrinterKind, kind);
        QFETCH(Reading, reading);
        QFETCH(bool, endDuringTheWait);
        QFETCH(QString, cause);
        StandInPrinter printer(kind, reading);
        const QString& address = printer.address;
        qputenv(kLpt1Variable, address.toLocal8Bit());
        MSComm serial;
        TestHost host(serial);
        host.port = QStringLiteral("LPT");
        host.waits.transferBase = std::chrono::milliseconds(300);
        host.waits.transferPer10KB = std::chrono::milliseconds(0);
        host.onPass = [&](int pass) { host.closing = endDuringTheWait && pass >= 3; };
        PrintPress().run(host);
        QCOMPARE(host.gone, cause.isEmpty() && !endDuringTheWait ? 1 : 0);
        if (cause.isEmpty() && !endDuringTheWait) {
            QVERIFY2(host.failures.isEmpty(), qPrintable(host.failures.join('\n')));
            QCOMPARE(printer.received(kJob.size()), kJob);
            return;
        }
        QCOMPARE(host.failures, cause.isEmpty() ? QStringList() : QStringList{cause.arg(address)});
        QVERIFY(host.passes > 0);
        QVERIFY(host.passes < PrintPress::kPausePasses); // it failed before the pause
        if (endDuringTheWait)
            QCOMPARE(host.passes, 3); // End is honoured after the pass that asked for it
    }

    void slowReaderGetsWholeJobBeforeClose()
    {
        PseudoTerminal pty;
        QVERIFY(mapCom1To(pty));
        MSComm serial;
        TestHost host(serial);
        const QByteArray filler = pty.fill();
        QByteArray received;
        host.onPass = [&](int pass) {
            if (pass > PrintPress::kPausePasses) // the printer wakes up only after the pause
                received += pty.read(512);
        };
        PrintPress().run(host);
        QVERIFY2(host.failures.isEmpty(), qPrintable(host.failures.join('\n')));
        QVERIFY(!serial.PortOpen());
        QCOMPARE(received + pty.read(), filler + kJob);
    }
};

QTEST_GUILESS_MAIN(PrintPressTest)
#include "tst_print_press.moc"
