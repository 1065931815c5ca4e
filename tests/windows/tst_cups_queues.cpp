// CUPS queues as destinations, against a private CUPS server: addresses, jobs arriving byte for byte, one
// job per run, refusals with their causes, servers that are down or silent, cancelling, and the window.
#include "output/cups_destination.h"
#include "output/port_devices.h"
#include "printing/epl2_job.h"
#include "printing/print_press.h"
#include "support/cups_server.h"
#include "support/printer_stand_ins.h"
#include "windows/frm_main.h"
#include "windows/port_message.h"

#include <QDir>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

namespace {

constexpr char kQueue[] = "LABELS";
constexpr char kStopped[] = "STOPPED";
constexpr char kRejecting[] = "REJECTING";
constexpr char kDenied[] = "DENIED";

// Every byte value, then enough noise to take several writes.
QByteArray everyByteJob(int noiseBytes)
{
    QByteArray job;
    for (int value = 0; value < 256; ++value)
        job += char(value);
    QRandomGenerator random(1234);
    for (int i = 0; i < noiseBytes; ++i)
        job += char(random.bounded(256));
    return job;
}

// Entries of a folder of /proc/self: open descriptors or threads of this process.
int procEntries(const char* folder)
{
    return int(QDir(QLatin1String(folder)).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

// The job id of a destination's receipt, "queue LABELS accepted job 42"; 0 when there is none.
int acceptedJob(const Destination& destination, const QString& queue)
{
    const QString prefix = QStringLiteral("queue %1 accepted job ").arg(queue);
    return destination.receipt().startsWith(prefix) ? destination.receipt().mid(prefix.size()).toInt() : 0;
}

// How a test makes the server hang.
enum class Hang { ForGood, StoppedWhileHung, GoesOnInTime };

// Sends a small job, calls `afterFirst`, sends `count` jobs of 1 MB (more than a connection's buffers hold),
// each confirmed, and closes: true when every step worked. What was handed over goes to `sent`; stops at
// the first failure.
bool sendBulkyRun(Destination& destination, int count, const std::function<void()>& afterFirst, QByteArray* sent)
{
    if (!destination.open())
        return false;
    QByteArray job = everyByteJob(1000);
    for (int i = 0; i <= count; ++i) {
        if (!destination.send(job) || !destination.confirm())
            return false;
        *sent += job;
        if (i == 0)
            afterFirst();
        job = bulkyJob(1024 * 1024 - i);
    }
    return destination.close();
}

// The destination `address` names; with a connect time-out (and a service time-out) in milliseconds when they
// are given.
std::unique_ptr<Destination> destinationFor(const QString& address, int connectMs = 0, int serviceMs = 0)
{
    QString error;
    std::unique_ptr<Destination> destination = createDestination(address, QString(), &error);
    if (!destination) {
        qWarning("%s: %s", qPrintable(address), qPrintable(error));
        return destination;
    }
    if (connectMs > 0) {
        DestinationTimeouts timeouts;
        timeouts.connect = std::chrono::milliseconds(connectMs);
        if (serviceMs > 0)
            timeouts.service = std::chrono::milliseconds(serviceMs);
        destination->setTimeouts(timeouts);
    }
    return destination;
}

// The queue LABELS of a server on a loopback port.
QString loopbackQueue(quint16 port)
{
    return QStringLiteral("ipp://127.0.0.1:%1/printers/LABELS").arg(port);
}

} // namespace

Q_DECLARE_METATYPE(Hang)
Q_DECLARE_METATYPE(JunkPrintServer::Junk)

class CupsQueuesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void addresses_data();
    void addresses();
    void jobArrivesUnchanged_data();
    void jobArrivesUnchanged();
    void runOfJobsIsOneCupsJob();
    void refusals_data();
    void refusals();
    void serverThatIsDownFailsAtOnce_data();
    void serverThatIsDownFailsAtOnce();
    void silentServerTimesOutWhileEventsGoOn();
    void stopEndsTheWaitAtOnce();
    void abandonedRunIsCancelled_data();
    void abandonedRunIsCancelled();
    void hungServer_data();
    void hungServer();
    void killedServerIsNamedAsSuch();
    void junkAnswersAreNamedAsSuch_data();
    void junkAnswersAreNamedAsSuch();
    void leavesNoDescriptorOrThreadBehind();
    void listsTheQueues();
    void windowPressPrintsToTheQueue();
    void windowShowsWhyTheQueueRefused();

private:
    int printedCount() const { return int(server_->printed(QLatin1String(kQueue)).size()); }

    std::unique_ptr<PrivateCupsServer> server_;
    QStringList causes_;
};

void CupsQueuesTest::initTestCase()
{
    server_ = std::make_unique<PrivateCupsServer>();
    QVERIFY2(server_->isRunning(), qPrintable(server_->failure()));
    for (const char* queue : {kQueue, kStopped, kRejecting, kDenied})
        QVERIFY2(server_->addQueue(QLatin1String(queue)), qPrintable(server_->failure()));
    QVERIFY2(server_->runTool(QStringLiteral("cupsdisable"), {"-r", "Out of labels", kStopped}),
             qPrintable(server_->failure()));
    QVERIFY2(server_->runTool(QStringLiteral("cupsreject"), {"-r", "Being serviced", kRejecting}),
             qPrintable(server_->failure()));
    QVERIFY2(server_->runTool(QStringLiteral("lpadmin"), {"-p", kDenied, "-u", "allow:quorlex-nobody"}),
             qPrintable(server_->failure()));
}

void CupsQueuesTest::init()
{
    qputenv("CUPS_SERVER", server_->socketPath().toUtf8());
    causes_.clear();
    setPortErrorSink([this](QWidget*, const QString& cause) { causes_ << cause; });
}

void CupsQueuesTest::cleanup()
{
    setPortErrorSink({});
    qunsetenv("CUPS_SERVER");
    qunsetenv(kLpt1Variable);
}

void CupsQueuesTest::addresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("host"); // of the server; empty for the user's set-up
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<QString>("queue");
    QTest::addColumn<QString>("error"); // what the error starts with; empty when the address is good

    const QString cupsForm = QStringLiteral("a CUPS queue is written cups:QUEUE, and ");
    const QString ippForm = QStringLiteral("a queue of a CUPS server is written ipp://HOST[:PORT]/printers/QUEUE");
    QTest::addRow("cups queue") << "cups:LABELS"
                                << "" << 631 << false << "LABELS"
                                << "";
    QTest::addRow("scheme in capitals, name kept as written") << "CUPS:Label_Printer-2"
                                                              << "" << 631 << false << "Label_Printer-2"
                                                              << "";
    QTest::addRow("ipp default port") << "ipp://printhost/printers/LABELS"
                                      << "printhost" << 631 << false << "LABELS"
                                      << "";
    QTest::addRow("ipps, IPv6 and a port") << "ipps://[::1]:8631/printers/L2"
                                           << "::1" << 8631 << true << "L2"
                                           << "";
    QTest::addRow("percent-encoded UTF-8 name") << "ipp://h/printers/%C3%89tiquettes"
                                                << "h" << 631 << false << QStringLiteral("\u00c9tiquettes") << "";
    QTest::addRow("empty queue") << "cups:"
                                 << "" << 0 << false << "" << cupsForm + "the queue name is empty";
    QTest::addRow("blank in name") << "cups:MY LABELS"
                                   << "" << 0 << false << "" << cupsForm + "a queue name has no blanks";
    QTest::addRow("control character in name") << "cups:A\x1b[2JB"
                                               << "" << 0 << false << "" << cupsForm + "a queue name has no blanks";
    QTest::addRow("slash in name") << "cups:a/b"
                                   << "" << 0 << false << "" << cupsForm + "a queue name has no blanks";
    QTest::addRow("name too long") << "cups:" + QString(128, QLatin1Char('x')) << "" << 0 << false << ""
                                   << cupsForm + "a queue name is at most 127 bytes long";
    QTest::addRow("class, not printer") << "ipp://h/classes/L"
                                        << "" << 0 << false << "" << ippForm;
    QTest::addRow("no queue after printers") << "ipp://h/printers/"
                                             << "" << 0 << false << "" << ippForm + ", and the queue name is empty";
    QTest::addRow("encoded slash") << "ipp://h/printers/a%2Fb"
                                   << "" << 0 << false << "" << ippForm + ", and a queue name has no blanks";
    QTest::addRow("user in address") << "ipp://me@h/printers/L"
                                     << "" << 0 << false << "" << ippForm;
    QTest::addRow("query") << "ipp://h/printers/L?waitjob=false"
                           << "" << 0 << false << "" << ippForm;
    QTest::addRow("no host") << "ipp:///printers/L"
                             << "" << 0 << false << "" << ippForm;
    QTest::addRow("port out of range") << "ipp://h:70000/printers/L"
                                       << "" << 0 << false << "" << ippForm;
}

void CupsQueuesTest::addresses()
{
    QFETCH(QString, address);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, encrypted);
    QFETCH(QString, queue);
    QFETCH(QString, error);

    QVERIFY(isCupsAddress(address));
    CupsAddress parsed;
    const QString why = parseCupsAddress(address, &parsed);
    QString factoryError;
    const std::unique_ptr<Destination> destination = createDestination(address, QStringLiteral("LPT1"), &factoryError);
    if (error.isEmpty()) {
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(parsed.server.host, host);
        QCOMPARE(parsed.server.port, port);
        QCOMPARE(parsed.server.encrypted, encrypted);
        QCOMPARE(parsed.queue, queue);
        QVERIFY(destination);
        QCOMPARE(destination->name(), QStringLiteral("LPT1 (%1)").arg(address));
        QVERIFY(destination->deliversAtClose());
    } else {
        QVERIFY2(why.startsWith(error), qPrintable(why));
        QCOMPARE(factoryError, why);
        QVERIFY(!destination);
        for (QChar c : why)
            QVERIFY2(c.unicode() >= 0x20, qPrintable(why)); // no control character is echoed
    }
}

void CupsQueuesTest::jobArrivesUnchanged_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("cupsServer"); // CUPS_SERVER; empty leaves the socket set by init()
    QTest::addRow("cups:QUEUE through the server's socket") << "cups:LABELS" << QByteArray();
    QTest::addRow("cups:QUEUE through its TCP port")
        << "cups:LABELS" << QStringLiteral("127.0.0.1:%1").arg(server_->port()).toUtf8();
    QTest::addRow("ipp://127.0.0.1:PORT/printers/QUEUE")
        << server_->ippAddress(QLatin1String(kQueue)) << QByteArray("/nonexistent/cups.sock");
}

void CupsQueuesTest::jobArrivesUnchanged()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, cupsServer);
    if (!cupsServer.isEmpty())
        qputenv("CUPS_SERVER", cupsServer);
    const int before = printedCount();
    const QByteArray job = everyByteJob(300 * 1024);

    const std::unique_ptr<Destination> destination = destinationFor(address);
    QVERIFY(destination);
    QCOMPARE(printJobs(*destination, {job}), QString());

    const int id = acceptedJob(*destination, QLatin1String(kQueue));
    QVERIFY2(id > 0, qPrintable(destination->receipt()));
    QVERIFY(server_->waitForPrinted(QLatin1String(kQueue), id));
    QVERIFY(server_->printed(QLatin1String(kQueue)).value(id) == job);
    QCOMPARE(server_->printed(QLatin1String(kQueue)).size(), before + 1);
    QTRY_COMPARE(server_->jobStates(QLatin1String(kQueue)).value(id), 9); // completed

    // A single label on a second connection, as the window's press sends it.
    const std::unique_ptr<Destination> label = destinationFor(address);
    QCOMPARE(printJobs(*label, {job.left(300)}), QString());
    QVERIFY(server_->waitForPrinted(QLatin1String(kQueue), acceptedJob(*label, QLatin1String(kQueue))));
}

void CupsQueuesTest::runOfJobsIsOneCupsJob()
{
    const int before = printedCount();
    const int jobsBefore = int(server_->jobStates(QLatin1String(kQueue)).size());
    const std::unique_ptr<Destination> destination = destinationFor(QStringLiteral("cups:LABELS"));
    QVERIFY(destination);
    QList<QByteArray> jobs;
    for (int i = 0; i < 40; ++i)
        jobs << QStringLiteral("\r\nN\r\nA10,20,0,1,1,1,N,\"R%1\"\r\nP1\r\n").arg(i).toLatin1();
    QCOMPARE(printJobs(*destination, jobs), QString());
    const int id = acceptedJob(*destination, QLatin1String(kQueue));
    QVERIFY(server_->waitForPrinted(QLatin1String(kQueue), id));
    QCOMPARE(int(server_->jobStates(QLatin1String(kQueue)).size()), jobsBefore + 1); // the server took one job
    const QMap<int, QByteArray> printed = server_->printed(QLatin1String(kQueue));
    QCOMPARE(printed.size(), before + 1);
    QCOMPARE(printed.value(id), jobs.join());
}

void CupsQueuesTest::refusals_data()
{
    QTest::addColumn<QString>("queue");
    QTest::addColumn<QString>("cause");
    const QString server = server_->socketPath();
    QTest::addRow("missing queue") << "NOSUCH"
                                   << "opening cups:NOSUCH: there is no queue NOSUCH on the CUPS server at " + server;
    QTest::addRow("stopped queue") << kStopped
                                   << "opening cups:STOPPED: queue STOPPED is stopped: Out of labels (paused)";
    QTest::addRow("queue that rejects jobs")
        << kRejecting << "opening cups:REJECTING: queue REJECTING does not accept jobs: Being serviced";
    QTest::addRow("user not allowed") << kDenied
                                      << "sending to cups:DENIED: the CUPS server at " + server + " refused user ";
}

void CupsQueuesTest::refusals()
{
    QFETCH(QString, queue);
    QFETCH(QString, cause);
    const std::unique_ptr<Destination> destination = destinationFor(QStringLiteral("cups:") + queue);
    QVERIFY(destination);
    const QString why = printJobs(*destination, {"\r\nN\r\nP1\r\n"});
    QVERIFY2(why.startsWith(cause), qPrintable(why + QLatin1String(" <> ") + cause));
    QVERIFY(!destination->stopped());
    QVERIFY(destination->receipt().isEmpty());
    QVERIFY(server_->printed(queue).isEmpty());
    const QMap<int, int> states = server_->jobStates(queue);
    for (int state : states)
        QVERIFY2(state == 7, qPrintable(QStringLiteral("a job in state %1").arg(state))); // none but cancelled
}

void CupsQueuesTest::serverThatIsDownFailsAtOnce_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("cupsServer");
    QTest::addColumn<QString>("cause");
    const quint16 closed = refusedLoopbackPort();
    const QString at = QStringLiteral("127.0.0.1:%1").arg(closed);
    QTest::addRow("cups: with no server on the port")
        << "cups:LABELS" << at.toUtf8() << "opening cups:LABELS: cannot reach the CUPS server at " + at + ": ";
    QTest::addRow("cups: with no server socket")
        << "cups:LABELS" << QByteArray("/nonexistent/cups.sock")
        << "opening cups:LABELS: cannot reach the CUPS server at /nonexistent/cups.sock: ";
    QTest::addRow("ipp:// with no server")
        << QStringLiteral("ipp://%1/printers/LABELS").arg(at) << QByteArray()
        << QStringLiteral("opening ipp://%1/printers/LABELS: cannot reach the CUPS server at %1: ").arg(at);
}

void CupsQueuesTest::serverThatIsDownFailsAtOnce()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, cupsServer);
    QFETCH(QString, cause);
    if (!cupsServer.isEmpty())
        qputenv("CUPS_SERVER", cupsServer);
    const std::unique_ptr<Destination> destination = destinationFor(address, 60000);
    QVERIFY(destination);
    QVERIFY(!destination->open());
    // Refused or unknown, not timed out: the cause says which.
    QVERIFY2(destination->errorString().startsWith(cause), qPrintable(destination->errorString()));
    QVERIFY2(!destination->errorString().contains(QLatin1String("did not answer")),
             qPrintable(destination->errorString()));
    destination->abandon();
}

// A server that takes the connection and never answers: the open fails at its time-out, and the caller's
// events are processed all the while.
void CupsQueuesTest::silentServerTimesOutWhileEventsGoOn()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    const QString address = loopbackQueue(silent.serverPort());
    const std::unique_ptr<Destination> destination = destinationFor(address, 300, 400);
    QVERIFY(destination);
    int pumps = 0;
    destination->setWaitControl({[&pumps] { ++pumps; }, {}});
    QVERIFY(!destination->open());
    QCOMPARE(destination->errorString(),
             QStringLiteral("opening %1: the CUPS server at 127.0.0.1:%2 did not answer within 0.7 s")
                 .arg(address)
                 .arg(silent.serverPort()));
    QVERIFY(pumps > 0); // the caller's events went on during the wait
    destination->abandon();
}

void CupsQueuesTest::stopEndsTheWaitAtOnce()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    const std::unique_ptr<Destination> destination = destinationFor(loopbackQueue(silent.serverPort()));
    QVERIFY(destination);
    int asked = 0;
    destination->setWaitControl({{}, [&asked] { return ++asked > 20; }});
    QVERIFY(!destination->open());
    // Stopped at the first question answered yes, not timed out, and not asked again afterwards.
    QCOMPARE(asked, 21);
    QVERIFY(destination->stopped());
    QVERIFY2(destination->errorString().endsWith(QLatin1String("stopped before the job had gone")),
             qPrintable(destination->errorString()));
}

void CupsQueuesTest::abandonedRunIsCancelled_data()
{
    QTest::addColumn<bool>("destroyOnly"); // the destination goes without abandon()
    QTest::addRow("abandon() after jobs were sent") << false;
    QTest::addRow("destination destroyed after jobs were sent") << true;
}

void CupsQueuesTest::abandonedRunIsCancelled()
{
    QFETCH(bool, destroyOnly);
    const QMap<int, int> jobsBefore = server_->jobStates(QLatin1String(kQueue));
    const int printedBefore = printedCount();
    {
        const std::unique_ptr<Destination> destination = destinationFor(QStringLiteral("cups:LABELS"));
        QVERIFY(destination);
        QVERIFY2(destination->open(), qPrintable(destination->errorString()));
        for (int i = 0; i < 3; ++i) {
            QVERIFY(destination->send(everyByteJob(1000)));
            QVERIFY2(destination->confirm(), qPrintable(destination->errorString()));
        }
        if (!destroyOnly)
            destination->abandon();
        QVERIFY(destination->receipt().isEmpty());
    }
    // The one job the run made is there, cancelled.
    const auto oneNewJobCancelled = [&] {
        const QMap<int, int> jobs = server_->jobStates(QLatin1String(kQueue));
        int cancelled = 0;
        for (auto it = jobs.cbegin(); it != jobs.cend(); ++it)
            cancelled += !jobsBefore.contains(it.key()) && it.value() == 7;
        return cancelled == 1 && jobs.size() == jobsBefore.size() + 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(oneNewJobCancelled(), 5000);
    QCOMPARE(printedCount(), printedBefore);
}

void CupsQueuesTest::hungServer_data()
{
    QTest::addColumn<Hang>("hang");
    QTest::addColumn<bool>("local"); // through the server's socket, not its TCP port
    QTest::addRow("hung for good: the run fails") << Hang::ForGood << false;
    QTest::addRow("stopped while hung, then the server goes on") << Hang::StoppedWhileHung << false;
    QTest::addRow("stopped while hung, through the socket") << Hang::StoppedWhileHung << true;
    QTest::addRow("hung, going on within the time-out") << Hang::GoesOnInTime << false;
}

// A server that stops answering in the middle of a run (SIGSTOP): the run fails at the service time-out or
// at a stop, and once the server goes on it prints nothing of it; through a socket, which cannot be reset,
// the message may name the job instead, as one that may print. One that goes on in time prints the whole run.
void CupsQueuesTest::hungServer()
{
    QFETCH(Hang, hang);
    QFETCH(bool, local);
    const QString queue = QLatin1String(kQueue);
    const QMap<int, int> jobsBefore = server_->jobStates(queue);
    const int printedBefore = printedCount();
    const std::unique_ptr<Destination> destination =
        destinationFor(local ? QStringLiteral("cups:") + queue : server_->ippAddress(queue), 1000,
                       hang == Hang::ForGood ? 1000 : 5000);
    QVERIFY(destination);
    bool stop = false;
    destination->setWaitControl({[] { QCoreApplication::processEvents(); }, [&stop] { return stop; }});

    const GoesOnAtEnd goesOn{*server_};
    const auto hangNow = [&] {
        server_->hang();
        if (hang == Hang::StoppedWhileHung)
            QTimer::singleShot(2000, [&stop] { stop = true; });
        if (hang == Hang::GoesOnInTime)
            QTimer::singleShot(2000, [this] { server_->goOn(); });
    };
    QByteArray sent;
    const bool printed = sendBulkyRun(*destination, 48, hangNow, &sent);
    const QString cause = destination->errorString();
    destination->abandon();
    server_->goOn();
    QVERIFY2(printed == (hang == Hang::GoesOnInTime), qPrintable(cause));

    const QMap<int, int> jobs = server_->jobStates(queue);
    QList<int> newJobs;
    for (auto it = jobs.cbegin(); it != jobs.cend(); ++it) {
        if (!jobsBefore.contains(it.key()))
            newJobs << it.key();
    }
    QCOMPARE(newJobs.size(), 1);
    const int id = newJobs.first();
    if (printed) {
        QCOMPARE(acceptedJob(*destination, queue), id);
        QVERIFY(server_->waitForPrinted(queue, id, 30000));
        QVERIFY(server_->printed(queue).value(id) == sent);
        return;
    }
    if (hang == Hang::ForGood)
        QVERIFY2(cause.contains(QRegularExpression("the CUPS server at 127.0.0.1:\\d+ took nothing for 1 s after")),
                 qPrintable(cause));
    QCOMPARE(destination->stopped(), hang == Hang::StoppedWhileHung);
    QVERIFY(destination->receipt().isEmpty());
    const QString left = destination->leftBehind();
    const QString cancel = local ? QStringLiteral("cancel %1-%2").arg(queue).arg(id)
                                 : QStringLiteral("cancel -h %1 %2-%3").arg(server_->hostAndPort(), queue).arg(id);
    QVERIFY2(left.isEmpty() ||
                 left.endsWith(QStringLiteral("job %1 may still print: cancel it with `%2`").arg(id).arg(cancel)),
             qPrintable(left));
    // Once the server has dealt with what waited for it, the job has ended: through TCP without printing,
    // since the server got no orderly end of the document.
    QTRY_VERIFY_WITH_TIMEOUT(QList<int>({7, 8, 9}).contains(server_->jobStates(queue).value(id)), 20000);
    QTest::qWait(500);
    if (!local || left.isEmpty())
        QCOMPARE(printedCount(), printedBefore);
    qInfo("%s: %lld bytes taken before the failure; %s", QTest::currentDataTag(), qint64(sent.size()),
          qPrintable(cause));
}

void CupsQueuesTest::killedServerIsNamedAsSuch()
{
    PrivateCupsServer doomed;
    QVERIFY2(doomed.isRunning() && doomed.addQueue(QLatin1String(kQueue)), qPrintable(doomed.failure()));
    const std::unique_ptr<Destination> destination =
        destinationFor(doomed.ippAddress(QLatin1String(kQueue)), 500, 5000);
    QVERIFY(destination);
    destination->setWaitControl({[] { QCoreApplication::processEvents(); }, {}});
    QByteArray sent;
    QVERIFY(!sendBulkyRun(
        *destination, 48, [&doomed] { doomed.kill(); }, &sent));
    const QString cause = destination->errorString();
    QVERIFY2(cause.contains(QRegularExpression("the CUPS server at 127.0.0.1:\\d+ closed the connection")),
             qPrintable(cause));
    QVERIFY2(!cause.contains(QLatin1String("successful")), qPrintable(cause));
    destination->abandon();
    // The server is gone: whether its job prints when it comes back cannot be known, and is said.
    QVERIFY2(destination->leftBehind().contains(QRegularExpression(
                 "^cannot reach the CUPS server at 127.0.0.1:\\d+: .*; job \\d+ may still print: cancel it with")),
             qPrintable(destination->leftBehind()));
}

void CupsQueuesTest::junkAnswersAreNamedAsSuch_data()
{
    QTest::addColumn<JunkPrintServer::Junk>("junk");
    QTest::addRow("random bytes") << JunkPrintServer::Junk::NotHttp;
    QTest::addRow("HTTP 200 with a random body") << JunkPrintServer::Junk::NotIpp;
}

void CupsQueuesTest::junkAnswersAreNamedAsSuch()
{
    QFETCH(JunkPrintServer::Junk, junk);
    JunkPrintServer server(junk);
    QVERIFY(server.isValid());
    const QString address = loopbackQueue(server.port());
    const std::unique_ptr<Destination> destination = destinationFor(address, 1000, 3000);
    QVERIFY(destination);
    QVERIFY(!destination->open());
    QCOMPARE(destination->errorString(),
             QStringLiteral("opening %1: the CUPS server at 127.0.0.1:%2 answered something that is not IPP (asked "
                            "to report on queue LABELS)")
                 .arg(address)
                 .arg(server.port()));
    destination->abandon();
}

// Every worker ends by itself, a late one too, and closes its connections.
void CupsQueuesTest::leavesNoDescriptorOrThreadBehind()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    DestinationTimeouts quick;
    quick.connect = std::chrono::milliseconds(200);
    quick.service = std::chrono::milliseconds(200);
    const auto pressAll = [&] {
        for (const QString& address :
             {QStringLiteral("cups:LABELS"), QStringLiteral("cups:STOPPED"), QStringLiteral("cups:NOSUCH"),
              loopbackQueue(silent.serverPort()), loopbackQueue(refusedLoopbackPort())}) {
            const std::unique_ptr<Destination> destination = destinationFor(address);
            destination->setTimeouts(quick);
            printJobs(*destination, {"\r\nN\r\nP1\r\n"});
        }
        const std::unique_ptr<Destination> dropped = destinationFor(QStringLiteral("cups:LABELS"));
        QVERIFY(dropped->open() && dropped->send("\r\nN\r\n") && dropped->confirm()); // then destroyed
    };
    pressAll(); // whatever the first use of each kind sets up for good
    QTest::qWait(500);
    const int descriptors = procEntries("/proc/self/fd");
    const int threads = procEntries("/proc/self/task");
    pressAll();
    QTRY_COMPARE_WITH_TIMEOUT(procEntries("/proc/self/task"), threads, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(procEntries("/proc/self/fd"), descriptors, 3000);
}

void CupsQueuesTest::listsTheQueues()
{
    QString error;
    const std::optional<QList<CupsQueueState>> queues = listCupsQueues({}, {}, &error);
    QVERIFY2(queues, qPrintable(error));
    QStringList described;
    for (const CupsQueueState& queue : *queues) {
        // The server lists a queue that the user may not print to for root only.
        if (queue.name != QLatin1String(kDenied))
            described << queue.name + QLatin1String(": ") + queue.describe();
    }
    described.sort();
    QCOMPARE(described,
             QStringList({"LABELS: idle, accepting jobs", "REJECTING: idle, not accepting jobs: Being serviced",
                          "STOPPED: stopped, accepting jobs: Out of labels (paused)"}));

    qputenv("CUPS_SERVER", "/nonexistent/cups.sock");
    QVERIFY(!listCupsQueues({}, {}, &error));
    QVERIFY2(error.startsWith("cannot reach the CUPS server at /nonexistent/cups.sock: "), qPrintable(error));
}

void CupsQueuesTest::windowPressPrintsToTheQueue()
{
    qputenv(kLpt1Variable, "cups:LABELS");
    const int before = printedCount();
    Frm_Main w;
    w.Txt_Item->setText(QStringLiteral("AB1234"));
    w.Txt_Version->setText(QStringLiteral("V1"));
    w.Mnu_Lpt_Click();
    w.SSCmd_Print_Click();
    QCOMPARE(causes_, QStringList());
    QTRY_COMPARE(printedCount(), before + 1);
    QCOMPARE(server_->printed(QLatin1String(kQueue)).last(), composeJob(w.labelSettings()).bytes);
}

void CupsQueuesTest::windowShowsWhyTheQueueRefused()
{
    qputenv(kLpt1Variable, "cups:STOPPED");
    Frm_Main w;
    w.Txt_Item->setText(QStringLiteral("AB1234"));
    w.Mnu_Lpt_Click();
    w.SSCmd_Print_Click();
    QCOMPARE(causes_, QStringList{"opening LPT1 (cups:STOPPED): queue STOPPED is stopped: Out of labels (paused)"});
    QVERIFY(server_->printed(QLatin1String(kStopped)).isEmpty());
}

QTEST_MAIN(CupsQueuesTest)
#include "tst_cups_queues.moc"
