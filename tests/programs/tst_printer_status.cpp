// quorlex-label-printer's status replies as the EPL2 manual gives them: ^ee with each fault and after a
// syntax error, UQ's configuration lines, US and UN with ACK, NAK and the codes on the serial link, and
// labels held while a fault lasts and printed when it is cleared.
#include "support/printer_process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kPrinter = QStringLiteral(QUORLEX_PRINTER_EXE);
const QStringList kOnTcp{"--listen", "127.0.0.1:0", "--out", "OUT"};
const QByteArray kLabel = "N\r\nq200\r\nQ100,24\r\nA10,10,0,3,1,1,N,\"HOLD\"\r\nP2\r\n";

// The sending end of the printer's serial line, as a host opens a serial port: raw, not blocking.
class SerialHost
{
public:
    explicit SerialHost(const QString& path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios raw{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &raw) == 0) {
            ::cfmakeraw(&raw);
            ::tcsetattr(m_fd, TCSANOW, &raw);
        }
    }
    ~SerialHost()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }
    void send(const QByteArray& bytes)
    {
        QCOMPARE(::write(m_fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    }
    // What arrives until `bytes` have come or `ms` have passed.
    QByteArray receive(qsizetype bytes, int ms = 5000)
    {
        QByteArray got;
        const QDeadlineTimer deadline(ms);
        while (got.size() < bytes && !deadline.hasExpired()) {
            pollfd in{m_fd, POLLIN, 0};
            if (::poll(&in, 1, 50) <= 0)
                continue;
            char chunk[256];
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n > 0)
                got.append(chunk, n);
        }
        return got;
    }

private:
    int m_fd = -1;
};

} // namespace

class PrinterStatusTest : public QObject
{
    Q_OBJECT

private slots:
    void errorReportWithEachFault_data();
    void errorReportWithEachFault();
    void configurationReport();
    void answerToASenderThatClosedItsSide();
    void faultHoldsLabelsUntilOk();
    void reportingOnTheSerialLink();
};

void PrinterStatusTest::errorReportWithEachFault_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("reply");

    QTest::addRow("ready") << "ok" << QByteArray() << QByteArray("00\r\n");
    QTest::addRow("head open") << "head-open" << QByteArray() << QByteArray("11\r\n");
    QTest::addRow("paper out") << "paper-out" << QByteArray() << QByteArray("07\r\n");
    QTest::addRow("paused") << "paused" << QByteArray() << QByteArray("12\r\n");
    QTest::addRow("syntax error") << "ok" << QByteArray("XYZ\r\n") << QByteArray("01\r\n");
    QTest::addRow("syntax error and head open") << "head-open" << QByteArray("XYZ\r\n") << QByteArray("01,11\r\n");
    QTest::addRow("field past the border")
        << "ok" << QByteArray("N\r\nq100\r\nQ50,24\r\nA90,0,0,3,1,1,N,\"WIDE\"\r\nP1\r\n") << QByteArray("02\r\n");
    QTest::addRow("N clears the errors") << "ok" << QByteArray("XYZ\r\nN\r\n") << QByteArray("00\r\n");
}

void PrinterStatusTest::errorReportWithEachFault()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, reply);
    // The fault set at start and the same fault set from standard input answer alike.
    for (bool atStart : {true, false}) {
        QStringList arguments = kOnTcp;
        if (atStart && fault != QLatin1String("ok"))
            arguments << "--fault" << fault;
        PrinterProcess printer(kPrinter, arguments);
        QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
        if (!atStart) {
            printer.control(fault.toLatin1());
            QVERIFY(printer.waitForLog(QStringLiteral("fault: ") + fault));
        }
        QCOMPARE(printer.exchange(before + "^ee\r\n", reply.size()), reply);
    }
}

// A sender that asks, closes its sending side and then reads (printf '^ee' | nc -N) still gets every answer.
void PrinterStatusTest::answerToASenderThatClosedItsSide()
{
    PrinterProcess printer(kPrinter, kOnTcp);
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    const QByteArray configuration = printer.exchange("UQ\r\n", QByteArray("Option:\r\n"));
    QVERIFY(configuration.startsWith("QUORLEX-LP"));
    QCOMPARE(printer.exchangeClosingFirst("XYZ\r\n^ee\r\nUQ\r\n", 4 + configuration.size()), "01\r\n" + configuration);
}

void PrinterStatusTest::configurationReport()
{
    PrinterProcess printer(kPrinter, kOnTcp);
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    const QByteArray expected = "QUORLEX-LP      V1.0.9\r\n"
                                "Serial port:96,N,8,1\r\n"
                                "Image buffer size:0512K\r\n"
                                "Fmem:000.0K,16384.0K avl\r\n"
                                "Gmem:000K,8192K avl\r\n"
                                "Emem:001K,16383K avl\r\n"
                                "I8,0,001 rY JF WY\r\n"
                                "S2 D12 R000,000 ZT US\r\n"
                                "q304 Q120,B24,5\r\n"
                                "Option:\r\n";
    // A soft font of one character of one dot takes its first kilobyte of the font memory.
    const QByteArray font = "ES\"q\"" + QByteArray("\x01\x00\x01\x41\x01\x01\x80", 7) + "\r\n";
    const QByteArray reply =
        printer.exchange("q304\r\nQ120,B24,5\r\nD12\r\nS2\r\n" + font + "US\r\nUQ\r\n", expected.size() + 1);
    QCOMPARE(reply, "\x06" + expected);
}

void PrinterStatusTest::faultHoldsLabelsUntilOk()
{
    PrinterProcess printer(kPrinter, kOnTcp + QStringList{"--fault", "head-open"});
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    printer.exchange(kLabel);
    QVERIFY(printer.waitForLog(QStringLiteral("held while the print head is open"), 2));
    QVERIFY(!QFile::exists(printer.labelPath(1)));
    printer.control("paused");
    printer.control("ok");
    QVERIFY2(printer.waitForLog(QStringLiteral("label 2: 200x100 dots, stream 1 line 5")),
             qPrintable(printer.log().join('\n')));
    QVERIFY(QFile::exists(printer.labelPath(1)) && QFile::exists(printer.labelPath(2)));
    QCOMPARE(printer.exchange("^ee\r\n", 4), QByteArray("00\r\n"));
    printer.control("upside-down");
    QVERIFY(printer.waitForLog(QStringLiteral("standard input: \"upside-down\" is not head-open")));
}

void PrinterStatusTest::reportingOnTheSerialLink()
{
    PrinterProcess printer(kPrinter, {"--serial", "LINK", "--out", "OUT"});
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    SerialHost host(printer.link());
    QVERIFY(host.isOpen());

    host.send("US\r\n");
    QCOMPARE(host.receive(1), QByteArray("\x06"));
    host.send("XYZ\r\n");
    QCOMPARE(host.receive(3), QByteArray("\x15"
                                         "01"));
    // Opening the head stops the printer: NAK 11 and XOFF, also between streams; closing it again lets it go
    // on: XON.
    QVERIFY(printer.waitForLog(QStringLiteral("stream 1: the line was quiet")));
    printer.control("head-open");
    QCOMPARE(host.receive(4), QByteArray("\x15"
                                         "11\x13"));
    host.send(kLabel);
    QVERIFY(printer.waitForLog(QStringLiteral("held while"), 2));
    printer.control("ok");
    QCOMPARE(host.receive(1), QByteArray("\x11"));
    QVERIFY(printer.waitForLog(QStringLiteral("label 2: ")));
    host.send("^ee\r\n");
    QCOMPARE(host.receive(4), QByteArray("00\r\n")); // the label's N cleared the syntax error
    // UN: errors are no longer sent.
    host.send("UN\r\nXYZ\r\n^ee\r\n");
    QCOMPARE(host.receive(4), QByteArray("01\r\n"));
    QCOMPARE(host.receive(1, 300), QByteArray());
}

QTEST_MAIN(PrinterStatusTest)
#include "tst_printer_status.moc"
