// A CUPS raw queue whose device is quorlex-label-printer's TCP port (socket://127.0.0.1:PORT), on the
// private CUPS server of the tests: a job printed to the queue arrives whole and its label is drawn.
#include "support/cups_server.h"
#include "support/printer_process.h"
#include "support/test_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kPrinter = QStringLiteral(QUORLEX_PRINTER_EXE);
}

class PrinterCupsTest : public QObject
{
    Q_OBJECT

private slots:
    void rawQueueReachesThePrinter();
};

void PrinterCupsTest::rawQueueReachesThePrinter()
{
    PrinterProcess printer(kPrinter, {"--listen", "127.0.0.1:0", "--out", "OUT"});
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    PrivateCupsServer cups;
    QVERIFY2(cups.isRunning(), qPrintable(cups.failure()));
    QVERIFY2(cups.addDeviceQueue(QStringLiteral("labels"), printer.socketAddress()), qPrintable(cups.failure()));

    const QByteArray job = "N\r\nq200\r\nQ100,24\r\nA10,10,0,3,1,1,N,\"CUPS\"\r\nP1\r\n";
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("job.epl"));
    QVERIFY(writeFile(file, job));
    QVERIFY2(cups.runTool(QStringLiteral("lp"), {"-d", "labels", "-o", "raw", file}), qPrintable(cups.failure()));

    QVERIFY2(printer.waitForLog(QStringLiteral("label 1: 200x100 dots, stream 1 line 5"), 1, 30000),
             qPrintable(printer.log().join('\n') + '\n' + cups.failure()));
    QVERIFY(printer.waitForLog(QStringLiteral("stream 1: closed by the sender")));
    QCOMPARE(readFile(QDir(printer.outDir()).filePath(QStringLiteral("stream-000001.epl"))), job);
    QVERIFY(QFile::exists(printer.labelPath(1)));
}

QTEST_GUILESS_MAIN(PrinterCupsTest)
#include "tst_printer_cups.moc"
