// Asking a printer for its status: the answers to ^ee in the manual's words, and destinations that cannot
// tell, stay silent, answer junk or never stop answering, each within the status time-out.
#include "output/operator_hints.h"
#include "output/status_query.h"
#include "support/printer_stand_ins.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using State = PrinterStatus::State;

class TestStatusQuery : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void noticeWithoutAnswer();
    void destinations_data();
    void destinations();
    void stopRequestEndsTheWait_data();
    void stopRequestEndsTheWait();
    void askedOnTheLinkTheJobWentOn_data();
    void askedOnTheLinkTheJobWentOn();
};

void TestStatusQuery::answers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<State>("state");
    QTest::addColumn<QString>("text");

    QTest::newRow("no error") << QByteArray("00\r\n") << State::Ready << "00: no error";
    QTest::newRow("paper out") << QByteArray("07\r\n") << State::Fault << "07: paper or ribbon empty";
    QTest::newRow("head up, LF only") << QByteArray("11\n") << State::Fault << "11: print head up";
    QTest::newRow("paused after XOFF") << QByteArray("\x13"
                                                     "12\r\n")
                                       << State::Fault << "12: pause key selected";
    QTest::newRow("after a reporting notice") << QByteArray("\x06\x15"
                                                            "11\x13"
                                                            "11\r\n")
                                              << State::Fault << "11: print head up";
    QTest::newRow("several, out of order")
        << QByteArray("11,01\r\n") << State::Fault << "01: syntax error; 11: print head up";
    QTest::newRow("a code the manual lacks")
        << QByteArray("77\r\n") << State::Fault << "77: an error the manual does not list";
    QTest::newRow("words, not codes") << QByteArray("READY\r\n") << State::Unknown
                                      << "the printer answered \"READY\", which is not a status";
    QTest::newRow("control bytes") << QByteArray("\x1b[2J0\r\n") << State::Unknown
                                   << "the printer answered \"\\x1B[2J0\", which is not a status";
    QTest::newRow("three digits") << QByteArray("007\r\n") << State::Unknown
                                  << "the printer answered \"007\", which is not a status";
}

void TestStatusQuery::answers()
{
    QFETCH(QByteArray, answer);
    QFETCH(State, state);
    QFETCH(QString, text);
    QVERIFY(statusAnswerComplete(answer));
    const PrinterStatus status = statusFromAnswer(answer);
    QCOMPARE(status.state, state);
    QCOMPARE(status.text, text);
}

// A printer whose reporting is on may send its notice (NAK and the code) and nothing after it.
void TestStatusQuery::noticeWithoutAnswer()
{
    const QByteArray notice("\x15"
                            "07");
    QVERIFY(hasErrorNotice(notice));
    QVERIFY(!hasErrorNotice("07\r\n"));
    const PrinterStatus status = statusFromAnswer(notice);
    QCOMPARE(status.state, State::Fault);
    QCOMPARE(status.text, QStringLiteral("07: paper or ribbon empty"));
}

void TestStatusQuery::destinations_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<State>("state");
    QTest::addColumn<QString>("text");

    const QString silent = silentPrinterReason();
    QTest::newRow("network printer that answers") << "answers 07" << State::Fault << "07: paper or ribbon empty";
    QTest::newRow("network printer that never answers") << "silent network" << State::Unknown << silent;
    QTest::newRow("terminal that never answers") << "silent terminal" << State::Unknown << silent;
    QTest::newRow("junk") << "junk" << State::Unknown
                          << "the printer answered \"\\x1B]0;owned\\x07<b>hi</b>\", which is not a status";
    QTest::newRow("endless stream") << "endless" << State::Unknown
                                    << "the printer answered \"ABCABCABCABCABCABCABCABCABCABCAB...\" (256 "
                                       "characters), which is not a status";
    QTest::newRow("file") << "file" << State::Unknown << "a file cannot report a printer's status";
    QTest::newRow("FIFO") << "fifo" << State::Unknown << "a pipe carries no answer from a printer";
    QTest::newRow("missing device") << "missing" << State::Failed << qt_error_string(ENOENT);
    QTest::newRow("refused") << "refused" << State::Failed << "";
}

void TestStatusQuery::destinations()
{
    QFETCH(QString, kind);
    QFETCH(State, state);
    QFETCH(QString, text);

    QTemporaryDir dir;
    std::unique_ptr<AnsweringPrinter> answering;
    std::unique_ptr<LoopbackPrinter> network;
    PseudoTerminal terminal;
    QString address;
    if (kind == QLatin1String("answers 07")) {
        answering = std::make_unique<AnsweringPrinter>("07\r\n", false);
    } else if (kind == QLatin1String("junk")) {
        answering = std::make_unique<AnsweringPrinter>("\x1b]0;owned\x07<b>hi</b>\r\n", false);
    } else if (kind == QLatin1String("endless")) {
        answering = std::make_unique<AnsweringPrinter>("ABC", true);
    } else if (kind == QLatin1String("silent network")) {
        network = std::make_unique<LoopbackPrinter>();
        address = network->address();
    } else if (kind == QLatin1String("silent terminal")) {
        address = terminal.slavePath();
    } else if (kind == QLatin1String("file")) {
        address = dir.filePath(QStringLiteral("printer.txt"));
        QVERIFY(writeFile(address, "kept"));
    } else if (kind == QLatin1String("fifo")) {
        address = dir.filePath(QStringLiteral("printer.fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(address).constData(), 0600), 0);
    } else if (kind == QLatin1String("missing")) {
        address = dir.filePath(QStringLiteral("lp9"));
    } else {
        const quint16 port = refusedLoopbackPort();
        address = QStringLiteral("socket://127.0.0.1:%1").arg(port);
        text = QStringLiteral("127.0.0.1:%1 refused the connection").arg(port) +
               operatorHint(OperatorHint::RawPrinterPort);
    }
    if (answering)
        address = answering->address();

    const PrinterStatus status = queryPrinterStatus(address, {});
    QCOMPARE(status.state, state);
    QCOMPARE(status.text, text);
    // What was sent: the query alone, and nothing at all to a file.
    if (answering)
        QCOMPARE(answering->received(5), QByteArray(kStatusQuery));
    if (network)
        QCOMPARE(network->received(5), QByteArray(kStatusQuery));
    if (kind == QLatin1String("silent terminal"))
        QCOMPARE(terminal.read(), QByteArray(kStatusQuery));
    if (kind == QLatin1String("file"))
        QCOMPARE(readFile(address), QByteArray("kept"));
}

void TestStatusQuery::stopRequestEndsTheWait_data()
{
    QTest::addColumn<bool>("byName"); // the printer named as localhost, so that opening waits for the lookup
    QTest::addColumn<int>("asks");    // how many times the stop is asked about before it is requested
    QTest::addRow("while the printer is silent") << false << 3;
    QTest::addRow("while the host is looked up") << true << 0;
}

void TestStatusQuery::stopRequestEndsTheWait()
{
    QFETCH(bool, byName);
    QFETCH(int, asks);
    LoopbackPrinter silent;
    QString address = silent.address();
    if (byName)
        address.replace(QStringLiteral("127.0.0.1"), QStringLiteral("localhost"));
    int asked = 0;
    const PrinterStatus status =
        queryPrinterStatus(address, {{}, [&asked, asks] { return ++asked > asks; }}, std::chrono::hours(1));
    QCOMPARE(status.state, State::Failed);
    QCOMPARE(status.text, QStringLiteral("stopped before the printer answered"));
    // Stopped during the lookup itself: the printer was never reached (given the time a connection would
    // take its listening thread to count).
    if (byName) {
        QTest::qWait(200);
        QCOMPARE(silent.connections(), 0);
    }
}

void TestStatusQuery::askedOnTheLinkTheJobWentOn_data()
{
    QTest::addColumn<QByteArray>("answer"); // what the printer says once it has the query; nothing when empty
    QTest::addColumn<State>("state");
    QTest::addColumn<QString>("text");
    QTest::newRow("ready") << QByteArray("00\r\n") << State::Ready << "00: no error";
    QTest::newRow("two faults") << QByteArray("11,07\r\n") << State::Fault
                                << "07: paper or ribbon empty; 11: print head up";
    QTest::newRow("a notice before the answer") << QByteArray("\x15"
                                                              "07\x13"
                                                              "07\r\n")
                                                << State::Fault << "07: paper or ribbon empty";
    QTest::newRow("silent") << QByteArray() << State::Unknown << silentPrinterReason();
}

void TestStatusQuery::askedOnTheLinkTheJobWentOn()
{
    QFETCH(QByteArray, answer);
    QFETCH(State, state);
    QFETCH(QString, text);
    PseudoTerminal line;
    QVERIFY(line.isValid());
    QString error;
    const std::unique_ptr<Destination> link = createDestination(line.slavePath(), QStringLiteral("COM1"), &error);
    QVERIFY2(link, qPrintable(error));
    QByteArray arrived;
    bool answered = false;
    link->setWaitControl({[&] {
                              arrived += line.read();
                              if (!answered && !answer.isEmpty() && arrived.endsWith(kStatusQuery))
                                  answered = line.write(answer);
                          },
                          {}});
    const QByteArray job = "\r\nN\r\nP1\r\n";
    QVERIFY2(link->open() && link->send(job) && link->confirm(), qPrintable(link->errorString()));
    const PrinterStatus status = askOnLink(*link, std::chrono::milliseconds(500));
    QVERIFY(link->close());
    arrived += line.read();
    QCOMPARE(status.state, state);
    QCOMPARE(status.text, text);
    // One line carried the job and the query after it, and nothing else.
    QCOMPARE(arrived, job + kStatusQuery);
}

QTEST_GUILESS_MAIN(TestStatusQuery)
#include "tst_status_query.moc"
