// Knowing whether the label was printed, against the virtual printer over TCP and over its serial link with
// each fault set and cleared between jobs, and against the private CUPS server: quorlex-label-batch --status
// and --verify, and the window's Printer > Status and "Ask after each Print".
#include "output/status_query.h"
#include "printing/epl2_job.h"
#include "support/cups_server.h"
#include "support/printer_process.h"
#include "support/test_files.h"
#include "windows/frm_main.h"
#include "windows/port_message.h"
#include "windows/status_message.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

const QString kPrinter = QStringLiteral(QUORLEX_PRINTER_EXE);
const QString kBatch = QStringLiteral(QUORLEX_BATCH_EXE);

struct Outcome
{
    int status = -1;
    QString out;
    QString err;
};

// Runs the batch with `arguments`, calling `meanwhile` while it runs (to set a fault at the right moment).
Outcome runBatch(const QStringList& arguments, const std::function<void()>& meanwhile = {})
{
    QProcess process;
    endsWithTest(process);
    process.start(kBatch, arguments);
    Outcome outcome;
    if (!process.waitForStarted(10000))
        return outcome;
    const QDeadlineTimer deadline(60000);
    while (!process.waitForFinished(meanwhile ? 5 : 100) && !deadline.hasExpired()) {
        if (meanwhile)
            meanwhile();
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        outcome.status = process.exitCode();
    }
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    // Progress lines come only when a run takes long enough (a loaded machine); what is compared is the rest.
    const QStringList lines = QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (!line.contains(QLatin1String(" done, ")))
            outcome.err += line + QLatin1Char('\n');
    }
    outcome.err.chop(1);
    return outcome;
}

// The printer on a free loopback port and a serial link, and the address the row's link gives.
struct Link
{
    explicit Link(bool overSerial, const QStringList& more = {})
        : printer(kPrinter, QStringList{"--listen", "127.0.0.1:0", "--serial", "LINK", "--out", "OUT"} + more),
          serial(overSerial)
    {
    }
    QString address() const { return serial ? printer.link() : printer.socketAddress(); }
    // Sets the fault ("ok" clears it) and waits until the printer has taken it.
    bool setFault(const QByteArray& fault)
    {
        const int before = printer.logCount(QStringLiteral("fault: "));
        printer.control(fault);
        return printer.waitForLog(QStringLiteral("fault: "), before + 1);
    }

    PrinterProcess printer;
    bool serial;
};

// A CSV of `rows` labels of one each.
QString csvOf(const QTemporaryDir& dir, int rows)
{
    QByteArray csv = "item,version,data,qty\n";
    for (int row = 0; row < rows; ++row)
        csv += "AB12" + QByteArray::number(row).rightJustified(2, '0') + ",V1,0623,1\n";
    const QString path = dir.filePath(QStringLiteral("labels.csv"));
    return writeFile(path, csv) ? path : QString();
}

void addFaultRows()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QString>("words");
    for (const bool serial : {false, true}) {
        const char* link = serial ? "serial" : "tcp";
        QTest::addRow("%s, paper out", link) << serial << QByteArray("paper-out") << "07: paper or ribbon empty";
        QTest::addRow("%s, head open", link) << serial << QByteArray("head-open") << "11: print head up";
        QTest::addRow("%s, paused", link) << serial << QByteArray("paused") << "12: pause key selected";
    }
}

QByteArray streamBytes(PrinterProcess& printer, int number)
{
    return readFile(
        QDir(printer.outDir()).filePath(QStringLiteral("stream-%1.epl").arg(number, 6, 10, QLatin1Char('0'))));
}

} // namespace

class TestPrinterVerify : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void batchStatus_data() { addFaultRows(); }
    void batchStatus();
    void batchVerifyAfterTheRun_data() { addFaultRows(); }
    void batchVerifyAfterTheRun();
    void serialVerifyCountsWhatThePrinterConfirmed();
    void cupsQueues_data();
    void cupsQueues();
    void windowStatus_data() { addFaultRows(); }
    void windowStatus();
    void windowAsksAfterEachPrint_data() { addFaultRows(); }
    void windowAsksAfterEachPrint();
    void askAfterEachPrintStartsOff();

private:
    QStringList m_messages;
    QStringList m_faults;
};

void TestPrinterVerify::cleanup()
{
    setPrinterStatusSink({});
    setPortErrorSink({});
    qunsetenv("QUORLEX_LABEL_COM1");
    qunsetenv("QUORLEX_LABEL_LPT1");
    qunsetenv(kVerifyVariable);
    m_messages.clear();
    m_faults.clear();
}

void TestPrinterVerify::batchStatus()
{
    QFETCH(bool, serial);
    QFETCH(QByteArray, fault);
    QFETCH(QString, words);
    Link link(serial);
    QVERIFY2(link.printer.isReady(), qPrintable(link.printer.failure()));
    const QStringList ask{"--status", "--port", link.address()};

    Outcome outcome = runBatch(ask);
    QCOMPARE(outcome.out, QStringLiteral("%1: ready: 00: no error\n").arg(link.address()));
    QCOMPARE(outcome.status, 0);

    QVERIFY(link.setFault(fault));
    outcome = runBatch(ask);
    QCOMPARE(outcome.out, QStringLiteral("%1: fault: %2\n").arg(link.address(), words));
    QCOMPARE(outcome.status, 3);

    QVERIFY(link.setFault("ok"));
    outcome = runBatch(ask);
    QCOMPARE(outcome.out, QStringLiteral("%1: ready: 00: no error\n").arg(link.address()));
    QCOMPARE(outcome.status, 0);
}

void TestPrinterVerify::batchVerifyAfterTheRun()
{
    QFETCH(bool, serial);
    QFETCH(QByteArray, fault);
    QFETCH(QString, words);
    Link link(serial);
    QVERIFY2(link.printer.isReady(), qPrintable(link.printer.failure()));
    QTemporaryDir dir;
    const QStringList run{"--size", "3M", "--csv", csvOf(dir, 2), "--port", link.address(), "--verify"};

    QVERIFY(link.setFault(fault));
    Outcome outcome = runBatch(run);
    // Over TCP the printer is asked after the run; on the serial line it reports the fault of the first job.
    const QString expected = serial
                                 ? QStringLiteral("1 of 2 jobs gone; the printer confirmed 0 labels, then reported %1")
                                 : QStringLiteral("2 of 2 jobs gone; the printer then reported %1");
    QCOMPARE(outcome.err, QStringLiteral("quorlex-label-batch: %1\n").arg(expected.arg(words)));
    QCOMPARE(outcome.status, 3);

    QVERIFY(link.setFault("ok"));
    outcome = runBatch(run);
    QCOMPARE(outcome.err,
             serial ? QStringLiteral("quorlex-label-batch: 2 of 2 jobs gone; the printer confirmed 2 labels\n")
                    : QString());
    QCOMPARE(outcome.status, 0);
    if (serial) // reporting is turned off again at the end of every run
        QVERIFY(link.printer.waitForLog(QStringLiteral("UN answered"), 2));
}

void TestPrinterVerify::serialVerifyCountsWhatThePrinterConfirmed()
{
    // At the speed of a real line, so that the fault set once label 3 is confirmed (the third ^ee answered)
    // comes before label 4. Set when label 3 is merely drawn, the fault could overtake the answer to its ^ee.
    Link link(true, {"--wire-speed"});
    QVERIFY2(link.printer.isReady(), qPrintable(link.printer.failure()));
    QTemporaryDir dir;
    bool faultSet = false;
    const Outcome outcome =
        runBatch({"--size", "3M", "--csv", csvOf(dir, 10), "--port", link.address(), "--verify"}, [&] {
            if (!faultSet && link.printer.waitForLog(QStringLiteral("^ee answered"), 3, 0)) {
                link.printer.control("paper-out");
                faultSet = true;
            }
        });
    QCOMPARE(outcome.err, QStringLiteral("quorlex-label-batch: 4 of 10 jobs gone; the printer confirmed 3 labels, then "
                                         "reported 07: paper or ribbon empty\n"));
    QCOMPARE(outcome.status, 3);
    QVERIFY(link.printer.waitForLog(QStringLiteral("UN answered")));
    QCOMPARE(link.printer.logCount(QStringLiteral(": held while")), 1);
    QCOMPARE(link.printer.logCount(QStringLiteral("US answered")), 1);
}

void TestPrinterVerify::cupsQueues_data()
{
    QTest::addColumn<QString>("queue");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("status");
    QTest::newRow("idle") << "LABELS"
                          << "ready: queue LABELS: idle, accepting jobs" << 0;
    QTest::newRow("stopped") << "STOPPED"
                             << "fault: queue STOPPED: stopped, accepting jobs: Out of labels (paused)" << 3;
    QTest::newRow("rejecting") << "REJECTING"
                               << "fault: queue REJECTING: idle, not accepting jobs: Rejecting Jobs" << 3;
}

void TestPrinterVerify::cupsQueues()
{
    QFETCH(QString, queue);
    QFETCH(QString, line);
    QFETCH(int, status);
    static PrivateCupsServer cups;
    static const bool ready =
        cups.isRunning() && cups.addQueue(QStringLiteral("LABELS")) && cups.addQueue(QStringLiteral("STOPPED")) &&
        cups.runTool(QStringLiteral("cupsdisable"), {"-r", "Out of labels", "STOPPED"}) &&
        cups.addQueue(QStringLiteral("REJECTING")) && cups.runTool(QStringLiteral("cupsreject"), {"REJECTING"});
    QVERIFY2(ready, qPrintable(cups.failure()));
    const Outcome outcome = runBatch({"--status", "--port", cups.ippAddress(queue)});
    QCOMPARE(outcome.out, QStringLiteral("%1: %2\n").arg(cups.ippAddress(queue), line));
    QCOMPARE(outcome.status, status);
}

void TestPrinterVerify::windowStatus()
{
    QFETCH(bool, serial);
    QFETCH(QByteArray, fault);
    QFETCH(QString, words);
    Link link(serial);
    QVERIFY2(link.printer.isReady(), qPrintable(link.printer.failure()));
    qputenv(serial ? "QUORLEX_LABEL_COM1" : "QUORLEX_LABEL_LPT1", link.address().toLocal8Bit());
    setPrinterStatusSink([this](QWidget*, const QString& text, bool isFault) {
        m_messages << text;
        if (isFault)
            m_faults << text;
    });
    Frm_Main w;
    serial ? w.Mnu_Com1_Click() : w.Mnu_Lpt_Click();
    const QString name = QStringLiteral("%1 (%2)").arg(serial ? "COM1" : "LPT1", link.address());

    QVERIFY(link.setFault(fault));
    w.Mnu_PrinterStatus->trigger();
    QVERIFY(link.setFault("ok"));
    w.Mnu_PrinterStatus->trigger();
    QCOMPARE(m_messages, QStringList({name + QStringLiteral(": fault: ") + words, name + ": ready: 00: no error"}));
    QCOMPARE(m_faults, QStringList{m_messages.first()});
}

void TestPrinterVerify::windowAsksAfterEachPrint()
{
    QFETCH(bool, serial);
    QFETCH(QByteArray, fault);
    QFETCH(QString, words);
    Link link(serial);
    QVERIFY2(link.printer.isReady(), qPrintable(link.printer.failure()));
    qputenv(serial ? "QUORLEX_LABEL_COM1" : "QUORLEX_LABEL_LPT1", link.address().toLocal8Bit());
    qputenv(kVerifyVariable, "1");
    setPrinterStatusSink([this](QWidget*, const QString& text, bool) { m_messages << text; });
    QStringList portErrors;
    setPortErrorSink([&portErrors](QWidget*, const QString& cause) { portErrors << cause; });
    Frm_Main w;
    QVERIFY(w.Mnu_AskAfterPrint->isChecked());
    serial ? w.Mnu_Com1_Click() : w.Mnu_Lpt_Click();
    w.Txt_Item->setText(QStringLiteral("AB1234"));
    w.Txt_Version->setText(QStringLiteral("V1"));
    w.Txt_Data->setText(QStringLiteral("0623"));
    const QByteArray job = composeJob(w.labelSettings()).bytes;
    const QString name = QStringLiteral("%1 (%2)").arg(serial ? "COM1" : "LPT1", link.address());

    QVERIFY(link.setFault(fault));
    w.SSCmd_Print->click();
    QCOMPARE(m_messages,
             QStringList{QStringLiteral("The job has gone, but the printer then reported %1.\n\n%2").arg(words, name)});
    QVERIFY(link.setFault("ok"));
    w.SSCmd_Print->click();
    QCOMPARE(m_messages.size(), 1); // ready: nothing to show
    QCOMPARE(portErrors, QStringList());

    // On the wire: the job exactly as without the query, then the query. Over TCP they are two connections
    // (streams); the serial line has no connections, and its streams end after a quiet second.
    QVERIFY(link.printer.waitForLog(QStringLiteral("^ee answered"), 2));
    const QDeadlineTimer deadline(10000);
    while (link.printer.logCount(QStringLiteral(" bytes, ")) <
               link.printer.logCount(QStringLiteral(", into stream-")) &&
           !deadline.hasExpired())
        link.printer.waitForLog(QStringLiteral(" bytes, "), link.printer.logCount(QStringLiteral(" bytes, ")) + 1, 100);
    const int streams = link.printer.logCount(QStringLiteral(", into stream-"));
    QByteArray wire;
    for (int stream = 1; stream <= streams; ++stream)
        wire += streamBytes(link.printer, stream);
    QCOMPARE(wire, job + kStatusQuery + job + kStatusQuery);
    if (!serial) {
        QCOMPARE(streams, 4);
        QCOMPARE(streamBytes(link.printer, 2), QByteArray(kStatusQuery));
    }
}

void TestPrinterVerify::askAfterEachPrintStartsOff()
{
    for (const char* value : {"", "0", "yes"}) {
        qputenv(kVerifyVariable, value);
        Frm_Main w;
        QVERIFY(w.Mnu_AskAfterPrint->isCheckable());
        QVERIFY2(!w.Mnu_AskAfterPrint->isChecked(), value);
    }
}

QTEST_MAIN(TestPrinterVerify)
#include "tst_printer_verify.moc"
