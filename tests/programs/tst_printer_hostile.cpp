// quorlex-label-printer under hostile input and load: random bytes, NUL bytes, a 100 MB line, a connection
// that sends nothing, a slow sender, 100 connections at once, P65535 on the largest label. Nothing crashes,
// memory stays within its bound, every problem is logged without a raw control character, and the next
// connection is served. Ctrl-C and SIGTERM end it with every picture whole.
#include "common/whole_file.h"
#include "printer/label_printer.h"
#include "support/printer_process.h"
#include "support/test_files.h"

#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <QScopeGuard>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const QString kPrinter = QStringLiteral(QUORLEX_PRINTER_EXE);
const QStringList kOnTcp{"--listen", "127.0.0.1:0", "--out", "OUT"};
const QByteArray kLabel = "\r\nN\r\nq200\r\nQ100,24\r\nA10,10,0,3,1,1,N,\"AFTER\"\r\nP1\r\n";
// What the printer holds at most, in KB: the largest picture (8192 x 8192 dots, 64 MB) being written, and
// the bounded buffers around it, on top of the program itself (about 24 MB). AddressSanitizer keeps freed
// memory in quarantine and its own shadow beside it, so under it the figure says nothing and is not checked.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kMemoryBoundKb = std::numeric_limits<qint64>::max();
#else
constexpr qint64 kMemoryBoundKb = 128 * 1024;
#endif

// Every log line is printable: no byte below 0x20 and no DEL.
QString controlCharacterIn(const QStringList& lines)
{
    for (const QString& line : lines) {
        for (QChar c : line) {
            if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
                return line;
        }
    }
    return QString();
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(21);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    return bytes;
}

} // namespace

class PrinterHostileTest : public QObject
{
    Q_OBJECT

private slots:
    void badBytesAreLoggedSafely_data();
    void badBytesAreLoggedSafely();
    void idleConnectionMakesWayForTheNext();
    void slowSender();
    void hundredConnectionsAtOnce();
    void largestLabelManyTimes();
    void stopSignalLeavesEveryPictureWhole_data();
    void stopSignalLeavesEveryPictureWhole();
    void fullOutFolderHoldsTheLabel_data();
    void fullOutFolderHoldsTheLabel();
};

void PrinterHostileTest::badBytesAreLoggedSafely_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem");

    QTest::addRow("random bytes") << randomBytes(1 << 20) << "problem: stream 1 line 1: ";
    QTest::addRow("NUL bytes") << QByteArray(64 * 1024, '\0') + "\r\n" + QByteArray(100, '\0')
                               << "problem: stream 1 line 2: \\x00\\x00";
    QTest::addRow("100 MB line") << QByteArray(100 * 1024 * 1024, 'A')
                                 << "bytes long; a command line has at most 65536";
    QTest::addRow("escape sequences") << QByteArray("\x1b[2J\x1b]0;title\x07\x9b"
                                                    "31m\r\n")
                                      << "problem: stream 1 line 1: \\x1b[2J\\x1b]0;title\\x07\\x9b31m";
    QTest::addRow("huge form") << "FS\"BIG\"\r\n" + QByteArray(5 * 1024 * 1024 / 40, '\0')
                                                        .replace('\0', "A1,1,0,1,1,1,N,\"0123456789012345678\"\r\n")
                               << "the form is longer than 4194304 bytes; the line is not stored";
    QTest::addRow("huge image buffer")
        << QByteArray(5 * 1024 * 1024 / 40, '\0').replace('\0', "A1,1,0,1,1,1,N,\"0123456789012345678\"\r\n")
        << "the image buffer is full";
}

void PrinterHostileTest::badBytesAreLoggedSafely()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    PrinterProcess printer(kPrinter, kOnTcp);
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    printer.exchange(bytes + kLabel, 0, 30000);
    QVERIFY2(printer.waitForLog(QStringLiteral("stream 1: closed")), qPrintable(printer.log().join('\n')));
    QVERIFY2(printer.logCount(problem) > 0, qPrintable(printer.log().mid(0, 20).join('\n')));
    const QString bad = controlCharacterIn(printer.log());
    QVERIFY2(bad.isEmpty(), qPrintable(bad.toUtf8().toHex()));
    // The problems of one stream are bounded, and summed up at its end.
    QVERIFY(printer.logCount(QStringLiteral("problem: ")) <= 102);

    // The next connection is served as ever.
    QCOMPARE(printer.exchange(kLabel + "^ee\r\n", 4), QByteArray("00\r\n"));
    QVERIFY(printer.waitForLog(QStringLiteral("200x100 dots, stream 2")));
    QVERIFY2(printer.peakMemoryKb() < kMemoryBoundKb, qPrintable(QString::number(printer.peakMemoryKb())));
    QCOMPARE(printer.stop(SIGTERM), 0);
}

void PrinterHostileTest::idleConnectionMakesWayForTheNext()
{
    PrinterProcess printer(kPrinter, kOnTcp + QStringList{"--idle-timeout", "1"});
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    QTcpSocket idle;
    idle.connectToHost(QHostAddress::LocalHost, printer.port());
    QVERIFY(idle.waitForConnected(5000));
    QVERIFY(printer.waitForLog(QStringLiteral("stream 1: from")));
    // The second sender waits in the backlog until the first is closed for idling.
    QCOMPARE(printer.exchange("^ee\r\n", 4, 10000), QByteArray("00\r\n"));
    const QStringList log = printer.log();
    const auto at = [&log](const QString& text) {
        return std::find_if(log.begin(), log.end(), [&](const QString& l) { return l.contains(text); }) - log.begin();
    };
    QVERIFY(at("the connection is closed: nothing received for 1 s (--idle-timeout)") < at("stream 2: from"));
    QVERIFY(idle.waitForDisconnected(5000));
}

void PrinterHostileTest::slowSender()
{
    PrinterProcess printer(kPrinter, kOnTcp);
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    QTcpSocket slow;
    slow.connectToHost(QHostAddress::LocalHost, printer.port());
    QVERIFY(slow.waitForConnected(5000));
    for (qsizetype at = 0; at < kLabel.size(); at += 7) {
        slow.write(kLabel.mid(at, 7));
        slow.waitForBytesWritten(1000);
        QThread::msleep(20);
    }
    QVERIFY(printer.waitForLog(QStringLiteral("label 1: 200x100 dots, stream 1 line 6")));
    slow.disconnectFromHost();
    QVERIFY(printer.waitForLog(QStringLiteral("stream 1: closed by the sender")));
}

void PrinterHostileTest::hundredConnectionsAtOnce()
{
    PrinterProcess printer(kPrinter, kOnTcp);
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    std::vector<std::unique_ptr<QTcpSocket>> senders;
    for (int i = 0; i < 100; ++i) {
        senders.push_back(std::make_unique<QTcpSocket>());
        senders.back()->connectToHost(QHostAddress::LocalHost, printer.port());
    }
    for (auto& sender : senders) {
        QVERIFY(sender->waitForConnected(10000));
        sender->write(kLabel);
        QVERIFY(sender->waitForBytesWritten(5000));
        sender->disconnectFromHost();
    }
    QVERIFY2(printer.waitForLog(QStringLiteral("closed by the sender"), 100, 60000),
             qPrintable(QString::number(printer.logCount(QStringLiteral("closed by the sender")))));
    QCOMPARE(printer.logCount(QStringLiteral(": 200x100 dots, stream ")), 100);
    QVERIFY(QFile::exists(printer.labelPath(100)));
    QCOMPARE(printer.logCount(QStringLiteral("problem")), 0);
}

void PrinterHostileTest::largestLabelManyTimes()
{
    PrinterProcess printer(kPrinter, kOnTcp + QStringList{"--max-labels", "2"});
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    printer.exchange("N\r\nq8192\r\nQ8192,24\r\nA8000,8000,0,5,8,8,N,\"BIG\"\r\nP65535\r\n");
    QVERIFY2(printer.waitForLog(QStringLiteral("labels 3 to 65535: printed by stream 1, counted but not drawn "
                                               "(--max-labels 2)"),
                                1, 60000),
             qPrintable(printer.log().join('\n')));
    QCOMPARE(printer.logCount(QStringLiteral("8192x8192 dots")), 2);
    QCOMPARE(QImageReader(printer.labelPath(2)).size(), QSize(8192, 8192));
    QVERIFY2(printer.peakMemoryKb() < kMemoryBoundKb, qPrintable(QString::number(printer.peakMemoryKb())));
    // Numbering goes on after the labels that were only counted.
    printer.exchange(kLabel);
    QVERIFY(printer.waitForLog(QStringLiteral("label 65536: 200x100 dots")));
}

void PrinterHostileTest::stopSignalLeavesEveryPictureWhole_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("render");
    QTest::addColumn<int>("status");
    QTest::addRow("Ctrl-C") << int(SIGINT) << false << 0;
    QTest::addRow("SIGTERM") << int(SIGTERM) << false << 0;
    QTest::addRow("Ctrl-C in --render") << int(SIGINT) << true << 130;
}

void PrinterHostileTest::stopSignalLeavesEveryPictureWhole()
{
    QFETCH(int, signal);
    QFETCH(bool, render);
    QFETCH(int, status);
    // Long enough that the signal comes in the middle of it.
    const QByteArray job = "N\r\nq1200\r\nQ1200,24\r\nA10,10,0,5,4,4,N,\"LONG\"\r\nP1000\r\n";
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("long.epl"));
    QVERIFY(writeFile(file, job));
    PrinterProcess printer(kPrinter, render ? QStringList{"--render", file, "--out", "OUT"}
                                            : kOnTcp + QStringList{"--serial", "LINK"});
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    QTcpSocket sender;
    if (!render) {
        QVERIFY(QFileInfo(printer.link()).isSymLink());
        sender.connectToHost(QHostAddress::LocalHost, printer.port());
        QVERIFY(sender.waitForConnected(5000));
        sender.write(job);
        QVERIFY(sender.waitForBytesWritten(5000));
    }
    QVERIFY(printer.waitForLog(QStringLiteral("label 3: ")));
    QCOMPARE(printer.stop(signal), status);
    QVERIFY(printer.log().last().startsWith(QLatin1String("stopped after ")));
    QVERIFY(printer.logCount(QStringLiteral("label 1000: ")) == 0);
    const QStringList pictures = QDir(printer.outDir()).entryList({"label-*"}, QDir::Files);
    QVERIFY(pictures.size() >= 3);
    for (const QString& name : pictures)
        QVERIFY2(name.endsWith(".png") && QImage(QDir(printer.outDir()).filePath(name)).size() == QSize(1200, 1200),
                 qPrintable(name));
    QVERIFY(!QFileInfo(printer.link()).isSymLink());
}

// Fills the file system of `folder` with one file; false when it did not fill up.
bool fill(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const QByteArray block(4096, 'x');
    while (fd >= 0 && ::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    const bool full = errno == ENOSPC;
    if (fd >= 0)
        ::close(fd);
    return full;
}

void PrinterHostileTest::fullOutFolderHoldsTheLabel_data()
{
    QTest::addColumn<bool>("mounted");
    QTest::addRow("a small tmpfs filled up") << true;
    QTest::addRow("every write failing as on a full disk") << false;
}

// The printer in this process, on an out folder that cannot take a picture: the true cause is logged, no
// label is logged and no file is left under a label's or stream's name, ^ee reports 04, and the held label
// is written when there is room again.
void PrinterHostileTest::fullOutFolderHoldsTheLabel()
{
    QFETCH(bool, mounted);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    const QString filler = dir.filePath(QStringLiteral("out/filler"));
    if (mounted) {
        if (::mount("tmpfs", QFile::encodeName(out).constData(), "tmpfs", 0, "size=256k") != 0)
            QSKIP(qPrintable(QStringLiteral("a tmpfs cannot be mounted here: %1").arg(qt_error_string(errno))));
    }
    const auto restore = qScopeGuard([&] {
        setInjectedWriteError(0);
        if (mounted)
            ::umount2(QFile::encodeName(out).constData(), MNT_DETACH);
    });
    if (mounted)
        QVERIFY(fill(filler));
    else
        setInjectedWriteError(ENOSPC);

    FILE* logFile = std::tmpfile();
    QVERIFY(logFile);
    const auto closeLog = qScopeGuard([logFile] { std::fclose(logFile); });
    const auto logText = [logFile] {
        std::fflush(logFile);
        std::rewind(logFile);
        QByteArray text;
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, logFile)) > 0;)
            text.append(chunk, qsizetype(n));
        return QString::fromUtf8(text);
    };
    PrinterLog log(false, logFile);
    PrinterOptions options;
    options.outDir = out;
    LabelPrinter printer(options, log);
    QCOMPARE(printer.start(), QString());
    QByteArray replies;
    ReplyLine line{[&replies](const QByteArray& bytes) { replies += bytes; }};
    {
        const std::unique_ptr<PrinterSession> session = printer.openSession(QStringLiteral("test"), &line);
        session->feed(kLabel + "^ee\r\n");
        session->finish(QStringLiteral("closed"));
    }
    QVERIFY2(logText().contains(QLatin1String("cannot write ")), qPrintable(logText()));
    QVERIFY2(logText().contains(qt_error_string(ENOSPC)), qPrintable(logText()));
    QVERIFY(!logText().contains(QLatin1String("Unknown error")));
    QVERIFY2(logText().contains(QLatin1String("label 1: held while the out folder cannot take pictures")),
             qPrintable(logText()));
    QVERIFY(!logText().contains(QLatin1String("label 1: 200x100 dots")));
    QCOMPARE(replies, QByteArray("04\r\n"));
    const QStringList left = QDir(out).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left, mounted ? QStringList{"filler"} : QStringList());

    // Room again: the held label is written at the next try, under its own number.
    if (mounted)
        QVERIFY(QFile::remove(filler));
    else
        setInjectedWriteError(0);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QDir(out).filePath(QStringLiteral("label-000001.png"))),
                             3 * kOutFolderRetryMs);
    QVERIFY2(logText().contains(QLatin1String("label 1: 200x100 dots, stream 1 line 6, label-000001.png")),
             qPrintable(logText()));
    QCOMPARE(QImage(QDir(out).filePath(QStringLiteral("label-000001.png"))).size(), QSize(200, 100));
    QCOMPARE(printer.outFolderProblem(), QString());
    {
        replies.clear();
        const std::unique_ptr<PrinterSession> session = printer.openSession(QStringLiteral("test"), &line);
        session->feed("^ee\r\n");
    }
    QCOMPARE(replies, QByteArray("00\r\n"));
    printer.shutdown();
    QVERIFY2(logText().endsWith(QLatin1String("stopped after 1 label\n")), qPrintable(logText()));
}

QTEST_MAIN(PrinterHostileTest)
#include "tst_printer_hostile.moc"
