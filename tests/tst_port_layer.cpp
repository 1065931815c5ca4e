#include "printing/mscomm.h"
#include "printing/parallel_device.h"
#include "printing/port_devices.h"
#include "support/fake_serial_line.h"
#include "support/pseudo_terminal.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

const QByteArray kJob = "\r\nN\r\nq240\r\nQ88,24\r\nA10,20,0,1,1,1,N,\"ITEM01\"\r\nP1\r\n\r\n";

// A device that takes at most `perWrite` bytes a write and `capacity` in all; when full it either takes
// nothing or fails.
class ChunkyDevice : public QIODevice
{
public:
    ChunkyDevice(qint64 perWrite, qint64 capacity, bool failWhenFull)
        : perWrite_(perWrite), capacity_(capacity), failWhenFull_(failWhenFull)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    QByteArray received;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (received.size() >= capacity_) {
            if (!failWhenFull_)
                return 0;
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 n = qMin(qMin(size, perWrite_), capacity_ - received.size());
        received.append(data, n);
        return n;
    }

private:
    qint64 perWrite_;
    qint64 capacity_;
    bool failWhenFull_;
};

} // namespace

class PortLayerTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        qunsetenv(kCom1Variable);
        qunsetenv(kLpt1Variable);
    }

    void deviceMapping_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value"); // a null value leaves the variable unset
        QTest::addColumn<QString>("com1");
        QTest::addColumn<QString>("lpt1");
        QTest::addRow("nothing mapped") << QByteArray(kCom1Variable) << QByteArray() << "/dev/ttyS0"
                                        << "/dev/lp0";
        QTest::addRow("COM1 empty") << QByteArray(kCom1Variable) << QByteArray("") << "/dev/ttyS0"
                                    << "/dev/lp0";
        QTest::addRow("COM1 mapped") << QByteArray(kCom1Variable) << QByteArray("/dev/ttyUSB0") << "/dev/ttyUSB0"
                                     << "/dev/lp0";
        QTest::addRow("LPT1 empty") << QByteArray(kLpt1Variable) << QByteArray("") << "/dev/ttyS0"
                                    << "/dev/lp0";
        QTest::addRow("LPT1 mapped") << QByteArray(kLpt1Variable) << QByteArray("/dev/usb/lp0") << "/dev/ttyS0"
                                     << "/dev/usb/lp0";
    }
    void deviceMapping()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        if (!value.isNull())
            qputenv(variable.constData(), value);
        QFETCH(QString, com1);
        QFETCH(QString, lpt1);
        QCOMPARE(serialDevicePath(1), com1);
        QCOMPARE(parallelDevicePath(), lpt1);
        QCOMPARE(serialDevicePath(2), QString()); // only port 1 has a device
    }

    void controlIsConfiguredAtCreationAndMapsAtEveryOpen()
    {
        auto owned = std::make_unique<FakeSerialLine>();
        FakeSerialLine& line = *owned;
        MSComm comm(std::move(owned));
        QCOMPARE(comm.CommPort(), qint16(1));
        QVERIFY(!comm.PortOpen());

        qputenv(kCom1Variable, "/dev/ttyA");
        QVERIFY(comm.setPortOpen(true));
        QVERIFY(comm.PortOpen());
        QCOMPARE(line.openedWith.baudRate, 9600);
        QCOMPARE(line.openedWith.dataBits, QSerialPort::Data8);
        QCOMPARE(line.openedWith.parity, QSerialPort::NoParity);
        QCOMPARE(line.openedWith.stopBits, QSerialPort::OneStop);
        QCOMPARE(line.openedWith.flowControl, QSerialPort::NoFlowControl);
        QVERIFY(comm.setPortOpen(false));
        qputenv(kCom1Variable, "/dev/ttyB");
        QVERIFY(comm.setPortOpen(true));
        QCOMPARE(line.calls, QStringList({"open /dev/ttyA", "close", "open /dev/ttyB"}));
    }

    void controlRefusals()
    {
        auto owned = std::make_unique<FakeSerialLine>();
        FakeSerialLine& line = *owned;
        MSComm comm(std::move(owned));

        QVERIFY(!comm.setOutput("x"));
        QCOMPARE(comm.errorString(), QStringLiteral("cannot send to COM1: the port is not open"));

        comm.setCommPort(2);
        QVERIFY(!comm.setPortOpen(true));
        QVERIFY(comm.errorString().contains("COM2"));
        QVERIFY(line.calls.isEmpty());

        comm.setCommPort(1);
        line.openFailure =
            QStringLiteral("cannot open /dev/ttyS0: Permission denied (is your user in the dialout group?)");
        QVERIFY(!comm.setPortOpen(true));
        QVERIFY(!comm.PortOpen());
        QCOMPARE(comm.errorString(), line.openFailure);

        line.openFailure.clear();
        QVERIFY(comm.setPortOpen(true));
        QVERIFY(!comm.setPortOpen(true));
        QVERIFY(comm.PortOpen());
        QCOMPARE(line.calls.count(QStringLiteral("open /dev/ttyS0")), 2);
    }

    void drainTimeout_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("expectedMs");
        QTest::addRow("nothing") << qint64(0) << qint64(1000);
        QTest::addRow("one byte rounds up") << qint64(1) << qint64(1004);
        QTest::addRow("stored-form job") << qint64(245) << qint64(1512);
        QTest::addRow("ten seconds on the wire") << qint64(9600) << qint64(21000);
    }
    void drainTimeout()
    {
        QFETCH(qint64, bytes);
        QFETCH(qint64, expectedMs);
        QCOMPARE(MSComm().drainTimeout(bytes).count(), expectedMs);
    }

    void drain_data()
    {
        QTest::addColumn<qint64>("takenPerFlush");
        QTest::addColumn<qint64>("takenPerWait");
        QTest::addColumn<QString>("flushFailure");
        QTest::addColumn<QString>("expectedError"); // empty: the drain succeeds
        QTest::addRow("device takes it at once") << qint64(-1) << qint64(-1) << QString() << QString();
        QTest::addRow("device takes it slowly") << qint64(0) << qint64(7) << QString() << QString();
        QTest::addRow("device takes nothing")
            << qint64(0) << qint64(0) << QString()
            << QStringLiteral("/dev/ttyS0 did not take the job within 60 ms: %1 bytes were still waiting")
                   .arg(kJob.size());
        QTest::addRow("write error") << qint64(0) << qint64(0)
                                     << QStringLiteral("cannot write to /dev/ttyS0: Input/output error")
                                     << QStringLiteral("cannot write to /dev/ttyS0: Input/output error");
    }
    void drain()
    {
        QFETCH(qint64, takenPerFlush);
        QFETCH(qint64, takenPerWait);
        QFETCH(QString, flushFailure);
        QFETCH(QString, expectedError);
        auto owned = std::make_unique<FakeSerialLine>();
        FakeSerialLine& line = *owned;
        line.takenPerFlush = takenPerFlush;
        line.takenPerWait = takenPerWait;
        line.flushFailure = flushFailure;
        MSComm comm(std::move(owned));
        QVERIFY(comm.setPortOpen(true));
        QVERIFY(comm.setOutput(kJob));

        int pumps = 0;
        QElapsedTimer clock;
        clock.start();
        const bool drained = comm.drain(60ms, [&pumps] { ++pumps; });
        QCOMPARE(drained, expectedError.isEmpty());
        QCOMPARE(comm.errorString(), expectedError);
        if (drained) {
            QCOMPARE(line.delivered, kJob);
            QCOMPARE(pumps, line.waits); // the window is served before every wait
        } else if (line.flushFailure.isEmpty()) {
            QVERIFY(clock.elapsed() >= 60);
            QVERIFY(pumps > 1);
        }
    }

    // Through a real pseudo-terminal and QSerialPort.
    void realPortIsRawAt9600And8N1()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        qputenv(kCom1Variable, pty.slavePath().toLocal8Bit());
        MSComm comm;
        QVERIFY2(comm.setPortOpen(true), qPrintable(comm.errorString()));
        const termios line = pty.lineSettings();
        QCOMPARE(cfgetospeed(&line), speed_t(B9600));
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
        QCOMPARE(line.c_oflag & OPOST, tcflag_t(0));

        QVERIFY(comm.setOutput(kJob));
        QVERIFY2(comm.drain(5s, [] { QCoreApplication::processEvents(); }), qPrintable(comm.errorString()));
        QVERIFY(comm.setPortOpen(false));
        QCOMPARE(pty.read(), kJob);
    }

    void realPortMissing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("ttyMissing");
        qputenv(kCom1Variable, path.toLocal8Bit());
        MSComm comm;
        QVERIFY(!comm.setPortOpen(true));
        QCOMPARE(comm.errorString(), QStringLiteral("cannot open %1: No such file or directory").arg(path));
        QVERIFY(!QFile::exists(path));
    }

    void realPortDrainWaitsForSlowReader()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        qputenv(kCom1Variable, pty.slavePath().toLocal8Bit());
        MSComm comm;
        QVERIFY2(comm.setPortOpen(true), qPrintable(comm.errorString()));
        const QByteArray filler = pty.fill();
        QVERIFY(comm.setOutput(kJob));
        QByteArray received;
        QVERIFY2(comm.drain(10s, [&] { received += pty.read(256); }), qPrintable(comm.errorString()));
        QVERIFY(comm.setPortOpen(false));
        QCOMPARE(received + pty.read(), filler + kJob);
    }

    void realPortDrainTimesOutOnStuckReader()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        qputenv(kCom1Variable, pty.slavePath().toLocal8Bit());
        MSComm comm;
        QVERIFY2(comm.setPortOpen(true), qPrintable(comm.errorString()));
        const QByteArray filler = pty.fill();
        QVERIFY(comm.setOutput(kJob));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!comm.drain(100ms, [] { QCoreApplication::processEvents(); }));
        QVERIFY(clock.elapsed() >= 100);
        QVERIFY2(comm.errorString().contains("did not take the job within 100 ms"), qPrintable(comm.errorString()));
        QVERIFY(comm.PortOpen());
    }

    void parallelDeviceWritesExactlyTheJob()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("lp0");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(500, 'o')); // an earlier, longer job
        old.close();

        ParallelDevice device;
        QVERIFY(device.open(path));
        QVERIFY(device.write(kJob));
        QVERIFY(device.close());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), kJob);
    }

    void parallelDeviceFailures_data()
    {
        QTest::addColumn<QString>("path"); // relative paths lie in a fresh temporary folder
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("expectedError");
        QTest::addRow("missing folder") << "missing/lp0" << false << "cannot open %1: No such file or directory";
        QTest::addRow("missing file is not created") << "lp0" << false << "cannot open %1: No such file or directory";
        QTest::addRow("device full") << "/dev/full" << true << "cannot write to %1: No space left on device";
    }
    void parallelDeviceFailures()
    {
        QTemporaryDir dir;
        QFETCH(QString, path);
        QFETCH(bool, opens);
        QFETCH(QString, expectedError);
        path = QDir(dir.path()).absoluteFilePath(path);
        ParallelDevice device;
        QCOMPARE(device.open(path), opens);
        if (device.isOpen())
            QVERIFY(!device.write(kJob));
        QCOMPARE(device.errorString(), expectedError.arg(path));
        QVERIFY(QFile::exists(path) == path.startsWith("/dev/"));
    }

    void writeWhole_data()
    {
        QTest::addColumn<qint64>("perWrite");
        QTest::addColumn<qint64>("capacity");
        QTest::addColumn<bool>("failWhenFull");
        QTest::addColumn<QString>("expectedError");
        QTest::addRow("short writes") << qint64(3) << qint64(1000) << false << QString();
        QTest::addRow("device stops taking")
            << qint64(5) << qint64(20) << false
            << QStringLiteral("the device took 20 of %1 bytes and no more").arg(kJob.size());
        QTest::addRow("device fails") << qint64(5) << qint64(20) << true << QStringLiteral("Input/output error");
    }
    void writeWhole()
    {
        QFETCH(qint64, perWrite);
        QFETCH(qint64, capacity);
        QFETCH(bool, failWhenFull);
        QFETCH(QString, expectedError);
        ChunkyDevice device(perWrite, capacity, failWhenFull);
        QCOMPARE(::writeWhole(device, kJob), expectedError);
        QCOMPARE(device.received, expectedError.isEmpty() ? kJob : kJob.left(20));
    }
};

QTEST_GUILESS_MAIN(PortLayerTest)
#include "tst_port_layer.moc"
