#include "output/port_devices.h"
#include "printing/mscomm.h"
#include "support/fake_serial_line.h"
#include "support/pseudo_terminal.h"

#include <QtTest>

namespace {

const QByteArray kJob = "\r\nN\r\nq240\r\nQ88,24\r\nA10,20,0,1,1,1,N,\"ITEM01\"\r\nP1\r\n\r\n";

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
        QCOMPARE(parallelPortAddress(), lpt1);
        QCOMPARE(serialDevicePath(2), QString()); // only port 1 has a device
    }

    void controlMapsAtEveryOpenAndRefuses()
    {
        auto owned = std::make_unique<FakeSerialLine>();
        FakeSerialLine& line = *owned;
        MSComm comm(std::move(owned));
        QCOMPARE(comm.CommPort(), qint16(1));
        QVERIFY(!comm.PortOpen());
        QVERIFY(!comm.setOutput("x"));
        QCOMPARE(comm.errorString(), QStringLiteral("the port is not open"));

        qputenv(kCom1Variable, "/dev/ttyA");
        QVERIFY(comm.setPortOpen(true));
        QVERIFY(!comm.setPortOpen(true));
        QCOMPARE(comm.errorString(), QStringLiteral("the port is open already"));
        QVERIFY(comm.PortOpen());
        QVERIFY(comm.setPortOpen(false));
        qputenv(kCom1Variable, "/dev/ttyB");
        line.openFailure = QStringLiteral("cannot open /dev/ttyB: Device or resource busy");
        QVERIFY(!comm.setPortOpen(true));
        QVERIFY(!comm.PortOpen());
        QCOMPARE(comm.errorString(), line.openFailure);

        comm.setCommPort(2);
        QVERIFY(!comm.setPortOpen(true));
        QCOMPARE(comm.errorString(), QStringLiteral("no device is mapped to COM2 (only COM1 is)"));
        QCOMPARE(line.calls, QStringList({"open /dev/ttyA", "close", "open /dev/ttyB"}));
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

    void realPortIsRawAt9600And8N1() // through QSerialPort and a pseudo-terminal
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
    }

    // A port that another program holds is named as such, not as a bare permission error.
    void portInUseSaysSo()
    {
        PseudoTerminal pty;
        QVERIFY(pty.isValid());
        qputenv(kCom1Variable, pty.slavePath().toLocal8Bit());
        MSComm first;
        QVERIFY2(first.setPortOpen(true), qPrintable(first.errorString()));
        MSComm second;
        QVERIFY(!second.setPortOpen(true));
        QVERIFY2(second.errorString().contains("another program is using the port"), qPrintable(second.errorString()));
    }
};

QTEST_GUILESS_MAIN(PortLayerTest)
#include "tst_port_layer.moc"
