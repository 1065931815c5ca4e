// quorlex-label-printer as a real process: the window's Print and the batch deliver jobs over its TCP port
// and its serial line, and the pictures it draws equal the batch's --preview pixel for pixel; stored forms
// and settings last across connections and, with --memory, across restarts; --render draws job files.
#include "support/label_pictures.h"
#include "support/printer_process.h"
#include "support/test_files.h"
#include "windows/frm_main.h"
#include "windows/port_message.h"

#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

const QString kPrinter = QStringLiteral(QUORLEX_PRINTER_EXE);
const QString kBatch = QStringLiteral(QUORLEX_BATCH_EXE);

QImage picture(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_Grayscale8);
}

// The batch's --preview of `arguments`: the picture of the first job.
QImage previewOf(const QStringList& arguments, QString* failure)
{
    QTemporaryDir dir;
    QProcess batch;
    endsWithTest(batch);
    batch.start(kBatch, arguments + QStringList{QStringLiteral("--preview"), dir.path()});
    if (!batch.waitForFinished(20000) || batch.exitCode() != 0) {
        *failure = QString::fromLocal8Bit(batch.readAllStandardError());
        return {};
    }
    return picture(dir.filePath(QStringLiteral("job-00001.png")));
}

int runBatch(const QStringList& arguments, const QString& com1)
{
    QProcess batch;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUORLEX_LABEL_COM1"), com1);
    batch.setProcessEnvironment(env);
    endsWithTest(batch);
    batch.start(kBatch, arguments);
    return batch.waitForFinished(30000) ? batch.exitCode() : -1;
}

const QByteArray kForm = "FK\"SHELF\"\r\nFS\"SHELF\"\r\nV00,8,L,\"item\"\r\nq200\r\nQ100,24\r\n"
                         "A10,10,0,3,1,1,N,V00\r\nFE\r\n";
const QByteArray kRecall = "N\r\nFR\"SHELF\"\r\n?\r\nAB-1234\r\nP1\r\n";

QByteArray named(QByteArray job, const QByteArray& name)
{
    return job.replace("\"SHELF\"", "\"" + name + "\"");
}

} // namespace

class PrinterJobsTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void deliveredPicturesEqualThePreview_data();
    void deliveredPicturesEqualThePreview();
    void storedFormLastsAcrossConnectionsAndRestarts_data();
    void storedFormLastsAcrossConnectionsAndRestarts();
    void settingsLastUntilChanged();
    void graphicAndSoftFontLastAcrossRestarts();
    void renderDrawsFiles();
    void jsonLogAndWireSpeed();
    void usageAndStartErrors_data();
    void usageAndStartErrors();
};

void PrinterJobsTest::cleanup()
{
    setPortErrorSink({});
    qunsetenv("QUORLEX_LABEL_COM1");
    qunsetenv("QUORLEX_LABEL_LPT1");
}

void PrinterJobsTest::deliveredPicturesEqualThePreview_data()
{
    QTest::addColumn<bool>("window");
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("size");

    QTest::addRow("window, LPT1 to the TCP port, 3M") << true << false << "3M";
    QTest::addRow("window, COM1 to the serial link, 1M") << true << true << "1M";
    QTest::addRow("batch, socket:// , 9M") << false << false << "9M";
    QTest::addRow("batch, COM1 to the serial link, 2M") << false << true << "2M";
}

void PrinterJobsTest::deliveredPicturesEqualThePreview()
{
    QFETCH(bool, window);
    QFETCH(bool, serial);
    QFETCH(QString, size);
    PrinterProcess printer(kPrinter, serial ? QStringList{"--serial", "LINK", "--out", "OUT"}
                                            : QStringList{"--listen", "127.0.0.1:0", "--out", "OUT"});
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));

    // 1M and 2M labels print only Item and Version.
    const bool data = size != QLatin1String("1M") && size != QLatin1String("2M");
    QStringList settings{"--size", size, "--item", "AB1234", "--version", "V1", "--gap", "24"};
    if (data)
        settings << "--data"
                 << "0623";
    if (window) {
        QStringList causes;
        setPortErrorSink([&causes](QWidget*, const QString& cause) { causes << cause; });
        qputenv(serial ? "QUORLEX_LABEL_COM1" : "QUORLEX_LABEL_LPT1",
                (serial ? printer.link() : printer.socketAddress()).toLocal8Bit());
        Frm_Main w;
        if (size == QLatin1String("1M"))
            w.SSOpt_1M_Click(1);
        w.Txt_Item->setText(QStringLiteral("AB1234"));
        w.Txt_Version->setText(QStringLiteral("V1"));
        if (data)
            w.Txt_Data->setText(QStringLiteral("0623"));
        w.Txt_Gap->setText(QStringLiteral("24"));
        if (!serial)
            w.Mnu_Lpt_Click();
        w.SSCmd_Print_Click();
        QCOMPARE(causes, QStringList());
    } else {
        const QString port = serial ? QStringLiteral("com1") : printer.socketAddress();
        QCOMPARE(runBatch(settings + QStringList{"--port", port}, printer.link()), 0);
    }
    QVERIFY2(printer.waitForLog(QStringLiteral("label 1: ")), qPrintable(printer.log().join('\n')));

    QString failure;
    const QImage preview = previewOf(settings, &failure);
    QVERIFY2(!preview.isNull(), qPrintable(failure));
    const QImage printed = picture(printer.labelPath(1));
    QCOMPARE(printed.size(), preview.size());
    QVERIFY(printed == preview);
}

void PrinterJobsTest::storedFormLastsAcrossConnectionsAndRestarts_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("file");
    QTest::addRow("plain name") << QByteArray("SHELF") << "SHELF.form";
    QTest::addRow("a path with control bytes") << QByteArray("../x/\x01\xff") << "%2E%2E%2Fx%2F%01%FF.form";
}

void PrinterJobsTest::storedFormLastsAcrossConnectionsAndRestarts()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, file);
    const QByteArray form = named(kForm, name);
    const QByteArray recall = named(kRecall, name);
    QTemporaryDir memory;
    QImage first;
    {
        PrinterProcess printer(kPrinter, {"--listen", "127.0.0.1:0", "--out", "OUT", "--memory", memory.path()});
        QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
        printer.exchange(form);
        QVERIFY(printer.waitForLog(QStringLiteral("stream 1: closed")));
        printer.exchange(recall);
        QVERIFY2(printer.waitForLog(QStringLiteral("label 1: 200x100 dots, stream 2 line 5")),
                 qPrintable(printer.log().join('\n')));
        first = picture(printer.labelPath(1));
        QVERIFY(!first.isNull());
        QCOMPARE(printer.stop(SIGTERM), 0);
    }
    QCOMPARE(QDir(QDir(memory.path()).filePath("forms")).entryList(QDir::Files), QStringList{file});
    {
        PrinterProcess printer(kPrinter, {"--listen", "127.0.0.1:0", "--out", "OUT", "--memory", memory.path()});
        QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
        QVERIFY2(printer.waitForLog(QStringLiteral("memory: 1 stored form, 0 graphics and 0 soft fonts from")),
                 qPrintable(printer.log().join(QLatin1Char('\n'))));
        printer.exchange(recall);
        QVERIFY2(printer.waitForLog(QStringLiteral("label 1: 200x100 dots")), qPrintable(printer.log().join('\n')));
        QVERIFY(picture(printer.labelPath(1)) == first);
        // FK"*" deletes every form, on disk too.
        printer.exchange("FK\"*\"\r\n");
        QVERIFY(printer.waitForLog(QStringLiteral("stream 2: closed")));
        QCOMPARE(QDir(QDir(memory.path()).filePath("forms")).entryList(QDir::Files), QStringList());
        printer.exchange(recall);
        QVERIFY(printer.waitForLog(QStringLiteral(": no such form was stored")));
    }
}

void PrinterJobsTest::settingsLastUntilChanged()
{
    QTemporaryDir memory;
    const QByteArray settings = "q300\r\nQ120,B24,5\r\nD12\r\nS2\r\nI8,A\r\nR8,4\r\nZB\r\nJB\r\nOD\r\n";
    const QByteArray label = "N\r\nA5,5,0,1,1,1,N,\"X\"\r\nP1\r\n";
    QImage first;
    {
        PrinterProcess printer(kPrinter, {"--listen", "127.0.0.1:0", "--out", "OUT", "--memory", memory.path()});
        QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
        printer.exchange(settings);
        printer.exchange(label);
        QVERIFY2(printer.waitForLog(QStringLiteral("label 1: 300x120 dots, stream 2")),
                 qPrintable(printer.log().join('\n')));
        first = picture(printer.labelPath(1));
    }
    QCOMPARE(readFile(QDir(memory.path()).filePath("settings.epl")), settings);
    PrinterProcess printer(kPrinter, {"--listen", "127.0.0.1:0", "--out", "OUT", "--memory", memory.path()});
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    const QByteArray configuration = printer.exchange("UQ\r\n", QByteArray("Option:D\r\n"));
    for (const QByteArray line :
         {"\r\nI8,A,001 rY JB WY\r\n", "\r\nS2 D12 R008,004 ZB UN\r\n", "\r\nq300 Q120,B24,5\r\n"})
        QVERIFY2(configuration.contains(line), configuration.constData());
    // The same label after the restart: the reference point and the direction were kept too.
    printer.exchange(label);
    QVERIFY(printer.waitForLog(QStringLiteral("label 1: 300x120 dots")));
    QVERIFY(picture(printer.labelPath(1)) == first);
    printer.exchange("q100\r\n" + label);
    QVERIFY(printer.waitForLog(QStringLiteral("label 2: 100x120 dots")));
}

void PrinterJobsTest::graphicAndSoftFontLastAcrossRestarts()
{
    QTemporaryDir memory;
    const QStringList logo = {"#........#", ".##....##.", "...####..."};
    const QByteArray pcx = pcxFile(logo);
    const QByteArray label = "N\r\nq12\r\nQ8,24\r\nGG1,1,\"LOGO\"\r\nA0,5,0,f,1,1,N,\"B\"\r\nP1\r\n";
    {
        PrinterProcess printer(kPrinter, {"--listen", "127.0.0.1:0", "--out", "OUT", "--memory", memory.path()});
        QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
        printer.exchange("GM\"LOGO\"" + QByteArray::number(pcx.size()) + "\r\n" + pcx + "\r\n" + softFontF());
        QVERIFY(printer.waitForLog(QStringLiteral("stream 1: closed")));
    }
    QVERIFY(QFile::exists(QDir(memory.path()).filePath("graphics/LOGO.png")));
    QVERIFY(QFile::exists(QDir(memory.path()).filePath("fonts/f.font")));
    PrinterProcess printer(kPrinter, {"--listen", "127.0.0.1:0", "--out", "OUT", "--memory", memory.path()});
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    printer.exchange(label);
    QVERIFY2(printer.waitForLog(QStringLiteral("label 1: 12x8 dots")), qPrintable(printer.log().join('\n')));
    QCOMPARE(artOf(picture(printer.labelPath(1))),
             (QStringList{"............", ".#........#.", "..##....##..", "....####....", "............",
                          "##..........", "............", ".#.........."}));
    printer.exchange("GK\"LOGO\"\r\nEK\"f\"\r\n");
    QVERIFY(printer.waitForLog(QStringLiteral("stream 2: closed")));
    QCOMPARE(QDir(QDir(memory.path()).filePath("graphics")).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(QDir(memory.path()).filePath("fonts")).entryList(QDir::Files), QStringList());
}

void PrinterJobsTest::renderDrawsFiles()
{
    QTemporaryDir dir;
    const QString job = dir.filePath(QStringLiteral("job.epl"));
    QVERIFY(writeFile(job, kForm + kRecall + "P2\r\n"));
    QProcess printer;
    endsWithTest(printer);
    printer.start(kPrinter, {"--render", job, dir.filePath("missing.epl"), "--out", dir.filePath("out")});
    QVERIFY(printer.waitForFinished(20000));
    const QString log = QString::fromUtf8(printer.readAllStandardOutput());
    QCOMPARE(printer.exitCode(), 3); // the missing file
    QVERIFY2(log.contains("label 3: 200x100 dots, stream 1 line 13") && log.contains("cannot read"), qPrintable(log));
    QVERIFY2(log.endsWith("finished: 3 labels\n"), qPrintable(log));
    QCOMPARE(readFile(dir.filePath("out/stream-000001.epl")), kForm + kRecall + "P2\r\n");
    // Copies of the same label are the same picture; none is left half written.
    QVERIFY(picture(dir.filePath("out/label-000002.png")) == picture(dir.filePath("out/label-000003.png")));
    QCOMPARE(QDir(dir.filePath("out")).entryList({"*.part"}, QDir::Files), QStringList());

    // A second run on the same folder goes on from the numbers already there; --scale 2 draws 2 by 2 pixels
    // a dot; --asian japanese prints font 9 as Shift JIS (93FA 967B) as the drawing does on such a printer.
    const QString asian = dir.filePath(QStringLiteral("asian.epl"));
    const QByteArray asianJob = "N\r\nq100\r\nQ40,24\r\nA10,10,0,9,1,1,N,\"\x93\xFA\x96\x7B\"\r\nP1\r\n";
    QVERIFY(writeFile(asian, asianJob));
    printer.start(kPrinter,
                  {"--render", job, asian, "--out", dir.filePath("out"), "--scale", "2", "--asian", "japanese"});
    QVERIFY(printer.waitForFinished(20000));
    QCOMPARE(printer.exitCode(), 0);
    QCOMPARE(picture(dir.filePath("out/label-000006.png")).size(), QSize(400, 200));
    QVERIFY(QFile::exists(dir.filePath("out/stream-000002.epl")));
    RenderOptions japanese{2, 1};
    japanese.asian = AsianLanguage::Japanese;
    const RenderResult expected = renderJob(asianJob, japanese);
    QVERIFY(expected.notUnderstood.isEmpty() && blackPixels(expected.labels.first().image, QRect(20, 20, 96, 48)) > 0);
    QCOMPARE(picture(dir.filePath("out/label-000007.png")), expected.labels.first().image);
}

void PrinterJobsTest::jsonLogAndWireSpeed()
{
    PrinterProcess printer(kPrinter, {"--serial", "LINK", "--wire-speed", "--out", "OUT", "--log", "json"});
    QVERIFY2(printer.isReady(), qPrintable(printer.failure()));
    QFile line(printer.link());
    QVERIFY(line.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QCOMPARE(line.write(kForm + kRecall + "#YZ\x01\r\n"), qint64(kForm.size() + kRecall.size() + 6));
    line.close();
    QVERIFY2(printer.waitForLog(QStringLiteral("\"event\":\"end\"")), qPrintable(printer.log().join('\n')));
    QJsonObject label;
    QJsonObject problem;
    for (const QString& each : printer.log()) {
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(each.toUtf8(), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(each));
        if (object.value("event") == QLatin1String("label"))
            label = object;
        if (object.value("event") == QLatin1String("problem"))
            problem = object;
    }
    QCOMPARE(label.value("label").toInt(), 1);
    QCOMPARE(label.value("width").toInt(), 200);
    QCOMPARE(label.value("length").toInt(), 100);
    QCOMPARE(label.value("line").toInt(), 12);
    QCOMPARE(label.value("file").toString(), QStringLiteral("label-000001.png"));
    QCOMPARE(problem.value("line").toInt(), 13);
    QCOMPARE(problem.value("text").toString(), QStringLiteral("#YZ\\x01: unknown command"));
}

void PrinterJobsTest::usageAndStartErrors_data()
{
    QTest::addColumn<QStringList>("arguments"); // DIR stands for a folder of the test's own
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    QTest::addRow("no --out") << QStringList{"--listen", "9100"} << 2
                              << "quorlex-label-printer: --out needs the folder to write the pictures into\n";
    QTest::addRow("a host name") << QStringList{"--out", "DIR", "--listen", "localhost:9100"} << 2
                                 << "quorlex-label-printer: --listen: \"localhost\" is not a numeric IPv4 or IPv6 "
                                    "address\n";
    QTest::addRow("port out of range") << QStringList{"--out", "DIR", "--listen", "70000"} << 2
                                       << "quorlex-label-printer: --listen: \"70000\" is not [ADDRESS:]PORT with a "
                                          "port from 0 to 65535\n";
    QTest::addRow("unknown fault") << QStringList{"--out", "DIR", "--fault", "on\x1b[31mfire"} << 2
                                   << "quorlex-label-printer: --fault: \"on\\x1B[31mfire\" is not head-open, "
                                      "paper-out or paused\n";
    QTest::addRow("unknown Asian language")
        << QStringList{"--out", "DIR", "--asian", "thai"} << 2
        << "quorlex-label-printer: --asian: \"thai\" is not korean, japanese, simplified-chinese or "
           "traditional-chinese\n";
    QTest::addRow("--render with --listen") << QStringList{"--out", "DIR", "--render", "a.epl", "--listen", "9100"} << 2
                                            << "quorlex-label-printer: --render draws files and does not listen: leave "
                                               "out --listen and --serial\n";
    QTest::addRow("the link is a file") << QStringList{"--out", "DIR", "--serial", "DIR/file"} << 3
                                        << "quorlex-label-printer: DIR/file already exists and is not a symbolic "
                                           "link\n";
    QTest::addRow("the out folder is a file")
        << QStringList{"--out", "DIR/file", "--listen", "0"} << 3
        << "quorlex-label-printer: cannot make the folder DIR/file: it is not a folder\n";
    QTest::addRow("the memory folder is in a file")
        << QStringList{"--out", "DIR/out", "--memory", "DIR/file/memory"} << 3
        << "quorlex-label-printer: cannot make the folder DIR/file/memory/forms: Not a directory\n";
}

void PrinterJobsTest::usageAndStartErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("file"), "not a link"));
    arguments.replaceInStrings(QStringLiteral("DIR"), dir.path());
    QProcess printer;
    endsWithTest(printer);
    printer.start(kPrinter, arguments);
    QVERIFY(printer.waitForFinished(20000));
    QCOMPARE(printer.exitCode(), status);
    QCOMPARE(QString::fromLocal8Bit(printer.readAllStandardError()),
             message.replace(QStringLiteral("DIR"), dir.path()));
    QCOMPARE(readFile(dir.filePath("file")), QByteArray("not a link"));
}

QTEST_MAIN(PrinterJobsTest)
#include "tst_printer_jobs.moc"
