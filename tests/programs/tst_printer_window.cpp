// The virtual printer's window (in this process, on the printer's own session and TCP port): labels appear
// newest first with their numbers, the picture shown is the PNG written, the newest is followed until the
// person picks another, the list keeps the newest thousand, the Printer menu and standard input set the same
// fault, 200 connections at once lose nothing. The PDF beside each picture is the label's size with the
// label's pixels. The printer without --window loads no widgets.
#include "printer/label_pdf.h"
#include "printer/label_printer.h"
#include "printer/printer_control.h"
#include "printer/printer_ports.h"
#include "printer/printer_window_library.h"
#include "printer_window/frm_printer.h"
#include "support/printer_process.h"
#include "support/test_files.h"
#include "windows/label_picture_view.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#ifdef QUORLEX_HAVE_QTPDF
#include <QPdfDocument>
#endif

#include <memory>
#include <unistd.h>

namespace {

const QString kPrinter = QStringLiteral(QUORLEX_PRINTER_EXE);

// A label of 240 by 88 dots whose first field names it.
QByteArray labelJob(const QByteArray& name, int copies = 1)
{
    return "N\r\nq240\r\nQ88,24\r\nA10,20,0,3,1,1,N,\"" + name + "\"\r\nLO10,60,200,4\r\nP" +
           QByteArray::number(copies) + "\r\n";
}

// The printer and its window, as quorlex-label-printer --window makes them, on a free loopback port.
struct WindowedPrinter
{
    explicit WindowedPrinter(int scale = 1, int maxLabels = 1000, bool pdf = false)
    {
        options.outDir = dir.filePath(QStringLiteral("out"));
        options.pdf = pdf;
        options.scale = scale;
        options.maxLabels = maxLabels;
        log = std::make_unique<PrinterLog>(false, quiet);
        printer = std::make_unique<LabelPrinter>(options, *log);
        failure = printer->start();
        tcp = std::make_unique<TcpPort>(*printer, 60);
        if (failure.isEmpty())
            failure = tcp->listen(QHostAddress(QHostAddress::LocalHost), 0);
        host = std::make_unique<PrinterHost>(*printer);
        host->setListeningOn({tcp->address()});
        window = std::make_unique<Frm_Printer>(*host);
        window->resize(1000, 700);
        window->show();
    }
    ~WindowedPrinter()
    {
        window.reset();
        tcp->close(QStringLiteral("the test ended"));
        host.reset();
        printer->shutdown();
        std::fclose(quiet);
    }

    quint16 port() const { return quint16(tcp->address().section(QLatin1Char(':'), -1).toUInt()); }
    // Sends each job on a connection of its own, one after the other, and waits until the window lists
    // `labels` labels in all.
    bool send(const QList<QByteArray>& jobs, int labels)
    {
        for (const QByteArray& job : jobs) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port());
            if (!socket.waitForConnected(5000))
                return false;
            socket.write(job);
            socket.disconnectFromHost();
            if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 10000))
                return false;
        }
        return QTest::qWaitFor([&] { return window->labels().rowCount() == std::min(labels, 1000); }, 60000);
    }
    // The printer's answer to `query` on a connection of its own.
    QByteArray ask(const QByteArray& query)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port());
        if (!socket.waitForConnected(5000))
            return "<no connection>";
        socket.write(query);
        QByteArray answer;
        const bool whole = QTest::qWaitFor(
            [&] {
                answer += socket.readAll();
                return answer.endsWith("\r\n");
            },
            5000);
        socket.disconnectFromHost();
        if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 5000))
            return "<not closed>";
        return whole ? answer : "<no whole answer> " + answer;
    }

    QTemporaryDir dir;
    PrinterOptions options;
    FILE* quiet = std::fopen("/dev/null", "w");
    std::unique_ptr<PrinterLog> log;
    std::unique_ptr<LabelPrinter> printer;
    std::unique_ptr<TcpPort> tcp;
    std::unique_ptr<PrinterHost> host;
    std::unique_ptr<Frm_Printer> window;
    QString failure;
};

QList<quint64> listedNumbers(const Frm_Printer& window)
{
    QList<quint64> numbers;
    for (int row = 0; row < window.labels().rowCount(); ++row)
        numbers << window.labels().at(row).number;
    return numbers;
}

QList<quint64> countingDown(quint64 from, quint64 to)
{
    QList<quint64> numbers;
    for (quint64 n = from; n >= to; --n)
        numbers << n;
    return numbers;
}

// The label as the view shows it on screen: the colour at the centre of each dot's square, black or white.
QImage dotsOnScreen(LabelPictureView* view)
{
    const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect label = view->labelPixels();
    const int zoom = view->zoom();
    QImage dots(label.width() / zoom, label.height() / zoom, QImage::Format_Grayscale8);
    for (int y = 0; y < dots.height(); ++y) {
        for (int x = 0; x < dots.width(); ++x) {
            const QRgb pixel = shown.pixel(label.left() + x * zoom + zoom / 2, label.top() + y * zoom + zoom / 2);
            dots.scanLine(y)[x] = qGray(pixel) < 128 ? 0 : 255;
        }
    }
    return dots;
}

// Pixels of the red that frames a field past an edge, in the view as shown.
int redPixels(LabelPictureView* view)
{
    const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < shown.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
        count += int(std::count(line, line + shown.width(), QRgb(0xFFE00000)));
    }
    return count;
}

// A PNG at `scale` pixels per dot brought to one pixel per dot.
QImage pngDots(const QString& path, int scale)
{
    const QImage png(path);
    return png.scaled(png.size() / scale).convertToFormat(QImage::Format_Grayscale8);
}

// The page size in points and the embedded image's size that a PDF written by Qt declares.
struct PdfFacts
{
    QSizeF page;
    QSize image;
    bool smoothed = false;
};
PdfFacts pdfFacts(const QByteArray& pdf)
{
    PdfFacts facts;
    static const QRegularExpression box(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
    static const QRegularExpression image(QStringLiteral("/Subtype /Image\\s*/Width (\\d+)\\s*/Height (\\d+)"));
    const QString text = QString::fromLatin1(pdf);
    const QRegularExpressionMatch page = box.match(text);
    if (page.hasMatch())
        facts.page = QSizeF(page.captured(1).toDouble(), page.captured(2).toDouble());
    const QRegularExpressionMatch picture = image.match(text);
    if (picture.hasMatch())
        facts.image = QSize(picture.captured(1).toInt(), picture.captured(2).toInt());
    facts.smoothed = text.contains(QLatin1String("/Interpolate true"));
    return facts;
}

} // namespace

class PrinterWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void labelsListedNewestFirst_data();
    void labelsListedNewestFirst();
    void pictureIsThePng_data();
    void pictureIsThePng();
    void followsTheNewestUntilAnotherIsPicked();
    void keepsTheNewestThousand();
    void problemsBesideTheirLabel();
    void faultFromMenuAndStandardInput_data();
    void faultFromMenuAndStandardInput();
    void statusLineAndForgetting();
    void twoHundredConnectionsAtOnce();
    void saveLabelAs_data();
    void saveLabelAs();
    void accessibleAndKeyboard();
    void pdfBesideEachPicture_data();
    void pdfBesideEachPicture();
    void pdfThatCannotBeWritten();
    void widgetsOnlyWithWindow();
};

void PrinterWindowTest::labelsListedNewestFirst_data()
{
    QTest::addColumn<QList<QByteArray>>("jobs");
    QTest::addColumn<QStringList>("streams"); // of the rows, newest first

    QTest::addRow("one label") << QList<QByteArray>{labelJob("ONE")} << QStringList{"1"};
    QTest::addRow("three connections") << QList<QByteArray>{labelJob("A"), labelJob("B"), labelJob("C")}
                                       << QStringList{"3", "2", "1"};
    QTest::addRow("three copies, then one")
        << QList<QByteArray>{labelJob("A", 3), labelJob("B")} << QStringList{"2", "1", "1", "1"};
}

void PrinterWindowTest::labelsListedNewestFirst()
{
    QFETCH(QList<QByteArray>, jobs);
    QFETCH(QStringList, streams);
    WindowedPrinter printer;
    QVERIFY2(printer.failure.isEmpty(), qPrintable(printer.failure));
    QVERIFY(printer.send(jobs, int(streams.size())));

    const ReceivedLabels& labels = printer.window->labels();
    QCOMPARE(listedNumbers(*printer.window), countingDown(quint64(streams.size()), 1));
    for (int row = 0; row < labels.rowCount(); ++row) {
        QCOMPARE(labels.data(labels.index(row, ReceivedLabels::Number), Qt::DisplayRole).toString(),
                 QString::number(streams.size() - row));
        QCOMPARE(labels.data(labels.index(row, ReceivedLabels::Size), Qt::DisplayRole).toString(),
                 QStringLiteral("240 × 88"));
        QCOMPARE(labels.data(labels.index(row, ReceivedLabels::Stream), Qt::DisplayRole).toString(), streams.at(row));
        QVERIFY(QFile::exists(QDir(printer.options.outDir).filePath(labels.at(row).file)));
    }
    QCOMPARE(printer.window->shownNumber(), quint64(streams.size()));
}

void PrinterWindowTest::pictureIsThePng_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<QSize>("windowSize");
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<QSize>("dots");
    QTest::addColumn<bool>("grid");

    const QByteArray wide = labelJob("PICTURE") + "LE5,5,20,20\r\nP1\r\n";
    const QByteArray small = "N\r\nq40\r\nQ16,8\r\nLO2,2,30,3\r\nLE10,8,12,6\r\nP1\r\nN\r\nLO0,0,40,16\r\nP1\r\n";
    QTest::addRow("one pixel per dot, small window") << 1 << QSize(700, 400) << wide << QSize(240, 88) << false;
    QTest::addRow("pictures at 3 pixels per dot") << 3 << QSize(1000, 700) << wide << QSize(240, 88) << false;
    QTest::addRow("small label, dots large enough for the grid")
        << 1 << QSize(1000, 700) << small << QSize(40, 16) << true;
}

void PrinterWindowTest::pictureIsThePng()
{
    QFETCH(int, scale);
    QFETCH(QSize, windowSize);
    QFETCH(QByteArray, job);
    QFETCH(QSize, dots);
    QFETCH(bool, grid);
    WindowedPrinter printer(scale);
    printer.window->resize(windowSize);
    QVERIFY(printer.send({job}, 2));
    // The older label, so that the picture shown is read again rather than kept.
    QTest::keyClick(printer.window->Lst_Labels, Qt::Key_Down);
    QCOMPARE(printer.window->shownNumber(), quint64(1));

    const QImage png = pngDots(QDir(printer.options.outDir).filePath(QStringLiteral("label-000001.png")), scale);
    QCOMPARE(png.size(), dots);
    LabelPictureView* view = printer.window->Pic_Label;
    QVERIFY(view->isVisible());
    QCOMPARE(view->dots(), png);
    QCOMPARE(view->zoom() >= LabelPictureView::kGridZoom, grid);
    QCOMPARE(dotsOnScreen(view), png);
}

void PrinterWindowTest::followsTheNewestUntilAnotherIsPicked()
{
    WindowedPrinter printer;
    QVERIFY(printer.send({labelJob("A"), labelJob("B"), labelJob("C")}, 3));
    QTreeView* list = printer.window->Lst_Labels;
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(printer.window->shownNumber(), quint64(2));
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(printer.window->shownNumber(), quint64(1));

    QVERIFY(printer.send({labelJob("D")}, 4));
    QCOMPARE(printer.window->shownNumber(), quint64(1)); // the person's choice stays
    QCOMPARE(list->currentIndex().row(), 3);

    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(printer.window->shownNumber(), quint64(4));
    QVERIFY(printer.send({labelJob("E")}, 5));
    QCOMPARE(printer.window->shownNumber(), quint64(5)); // back at the top, it follows again
}

void PrinterWindowTest::keepsTheNewestThousand()
{
    WindowedPrinter printer(1, 2000);
    QVERIFY(printer.send({labelJob("MANY", 1003)}, 1003));
    QCOMPARE(printer.window->labels().rowCount(), 1000);
    QCOMPARE(listedNumbers(*printer.window), countingDown(1003, 4));
    // The older ones stay on disk.
    QVERIFY(QFile::exists(QDir(printer.options.outDir).filePath(QStringLiteral("label-000001.png"))));
    QCOMPARE(printer.window->shownNumber(), quint64(1003));
}

void PrinterWindowTest::problemsBesideTheirLabel()
{
    WindowedPrinter printer;
    const QByteArray job = "N\r\nq240\r\nQ88,24\r\nA10,20,0,3,1,1,N,\"FIRST\"\r\nP1\r\n"
                           "N\r\nA200,20,0,3,1,1,N,\"PAST\"\r\nXYZZY\r\nP1\r\n"
                           "N\r\nA10,20,0,3,1,1,N,\"CLEAN\"\r\nP1\r\nQQQQ\r\n";
    QVERIFY(printer.send({job}, 3));
    // Problems go beside the label printed after them; those after the last label go to it.
    const ReceivedLabels& labels = printer.window->labels();
    QCOMPARE(labels.at(2).problems, QStringList());
    QCOMPARE(labels.at(1).problems.size(), 2);
    QVERIFY2(labels.at(1).problems.at(0).startsWith(QLatin1String("line 8: ")),
             qPrintable(labels.at(1).problems.at(0)));
    QVERIFY(labels.at(1).problems.join(QLatin1Char('\n')).contains(QLatin1String("runs")));
    QTRY_COMPARE(labels.at(0).problems.size(), 1);
    QVERIFY(labels.at(0).problems.at(0).startsWith(QLatin1String("line 13: ")));

    QTreeView* list = printer.window->Lst_Labels;
    QCOMPARE(redPixels(printer.window->Pic_Label), 0);
    QTest::keyClick(list, Qt::Key_Down);
    QVERIFY(redPixels(printer.window->Pic_Label) > 0); // the field past the edge is framed
    QCOMPARE(printer.window->Lst_Problems->count(), 2);
    QCOMPARE(printer.window->Lst_Problems->item(0)->text(), labels.at(1).problems.at(0));
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(printer.window->Lst_Problems->count(), 1);
    QCOMPARE(printer.window->Lst_Problems->item(0)->text(), QStringLiteral("No problem was logged for this label."));
}

void PrinterWindowTest::faultFromMenuAndStandardInput_data()
{
    QTest::addColumn<QString>("menuItem");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("inputLine");

    QTest::addRow("head open") << "Head Open" << QByteArray("11\r\n") << QByteArray("head-open\n");
    QTest::addRow("paper out") << "Paper Out" << QByteArray("07\r\n") << QByteArray("paper-out\n");
    QTest::addRow("paused") << "Paused" << QByteArray("12\r\n") << QByteArray("paused\n");
    QTest::addRow("ready") << "Ready" << QByteArray("00\r\n") << QByteArray("ok\n");
}

void PrinterWindowTest::faultFromMenuAndStandardInput()
{
    QFETCH(QString, menuItem);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, inputLine);
    WindowedPrinter printer;
    Frm_Printer& w = *printer.window;
    const QList<QAction*> faults{w.Mnu_Ready, w.Mnu_HeadOpen, w.Mnu_PaperOut, w.Mnu_Paused};
    QAction* chosen = nullptr;
    for (QAction* each : faults) {
        if (QString(each->text()).remove(QLatin1Char('&')) == menuItem)
            chosen = each;
    }
    QVERIFY(chosen);

    // From the menu: the answer to ^ee follows, and one item is checked.
    QAction* other = chosen == w.Mnu_Paused ? w.Mnu_HeadOpen : w.Mnu_Paused;
    other->trigger();
    chosen->trigger();
    QCOMPARE(printer.ask("^ee\r\n"), answer);
    for (QAction* each : faults)
        QCOMPARE(each->isChecked(), each == chosen);

    // From standard input: the menu's check follows, and so does the answer.
    other->trigger();
    QVERIFY(other->isChecked());
    int pipe[2];
    QCOMPARE(::pipe(pipe), 0);
    {
        PrinterControl control(*printer.printer, pipe[0]);
        QCOMPARE(::write(pipe[1], inputLine.constData(), size_t(inputLine.size())), ssize_t(inputLine.size()));
        QTRY_VERIFY(chosen->isChecked());
        QCOMPARE(printer.ask("^ee\r\n"), answer);
        QVERIFY(w.Lbl_Status->text().endsWith(menuItem.toLower()));
    }
    ::close(pipe[0]);
    ::close(pipe[1]);
}

void PrinterWindowTest::statusLineAndForgetting()
{
    WindowedPrinter printer(1, 1000, true);
    Frm_Printer& w = *printer.window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Quorlex Label Printer — 127.0.0.1:%1").arg(printer.port()));
    QVERIFY(w.Lbl_Folder->text().contains(printer.options.outDir));
    QCOMPARE(w.Lbl_Status->text(), QStringLiteral("Listening on 127.0.0.1:%1 · idle · 0 labels drawn · 0 forms, 0 "
                                                  "graphics, 0 soft fonts stored · ready")
                                       .arg(printer.port()));

    // Forms and a soft font (one character of one dot) stored, a label held while paused: all in the line.
    w.Mnu_Paused->trigger();
    QVERIFY(printer.send({"FK\"F1\"\r\nFS\"F1\"\r\nA10,10,0,1,1,1,N,\"X\"\r\nFE\r\n"
                          "FK\"F2\"\r\nFS\"F2\"\r\nA10,10,0,1,1,1,N,\"Y\"\r\nFE\r\n"
                          "ES\"q\"" +
                          QByteArray("\x01\x00\x01\x41\x01\x01\x80", 7) + "\r\n" + labelJob("HELD")},
                         0));
    QTRY_VERIFY2(w.Lbl_Status->text().endsWith(QStringLiteral(
                     " · idle · 0 labels drawn · 2 forms, 0 graphics, 1 soft font stored · paused, 1 label held")),
                 qPrintable(w.Lbl_Status->text()));
    QCOMPARE(w.labels().rowCount(), 0);
    const QDir out(printer.options.outDir);
    QVERIFY(QFile::exists(out.filePath(QStringLiteral(".held/label-000001.pdf"))));
    w.Mnu_Ready->trigger();
    QTRY_COMPARE(w.labels().rowCount(), 1);
    // The held label's PDF comes out with its picture.
    QVERIFY(QFile::exists(out.filePath(QStringLiteral("label-000001.pdf"))));
    QVERIFY(!QFile::exists(out.filePath(QStringLiteral(".held/label-000001.pdf"))));
    QTRY_VERIFY2(w.Lbl_Status->text().endsWith(
                     QStringLiteral(" · 1 label drawn · 2 forms, 0 graphics, 1 soft font stored · ready")),
                 qPrintable(w.Lbl_Status->text()));
    w.Mnu_Forget->trigger();
    QCOMPARE(printer.printer->storedForms(), 0);
    QCOMPARE(printer.printer->storedSoftFonts(), 0);
    QVERIFY2(w.Lbl_Status->text().endsWith(QStringLiteral(" · 0 forms, 0 graphics, 0 soft fonts stored · ready")),
             qPrintable(w.Lbl_Status->text()));
}

void PrinterWindowTest::twoHundredConnectionsAtOnce()
{
    constexpr int kSenders = 200;
    WindowedPrinter printer;
    // More than the listen backlog holds: the system retries those it turned away.
    std::vector<std::unique_ptr<QTcpSocket>> senders;
    for (int i = 0; i < kSenders; ++i) {
        senders.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket* sender = senders.back().get();
        QObject::connect(sender, &QTcpSocket::connected, sender, [sender, i] {
            sender->write(labelJob("S" + QByteArray::number(i)));
            sender->disconnectFromHost();
        });
        sender->connectToHost(QHostAddress::LocalHost, printer.port());
    }
    QTRY_COMPARE_WITH_TIMEOUT(printer.window->labels().rowCount(), kSenders, 60000);
    QCOMPARE(listedNumbers(*printer.window), countingDown(kSenders, 1));
    QSet<quint64> streams;
    for (int row = 0; row < kSenders; ++row) {
        const ReceivedLabel& label = printer.window->labels().at(row);
        QCOMPARE(label.problems, QStringList());
        QVERIFY(QFile::exists(QDir(printer.options.outDir).filePath(label.file)));
        streams.insert(label.stream);
    }
    QCOMPARE(streams.size(), kSenders);
    QTRY_VERIFY(printer.window->Lbl_Status->text().contains(QStringLiteral(" · idle · 200 labels drawn · ")));
}

void PrinterWindowTest::saveLabelAs_data()
{
    QTest::addColumn<QString>("name");
    QTest::addRow("PNG") << "saved.png";
    QTest::addRow("PDF") << "saved.pdf";
    QTest::addRow("PDF, upper case") << "SAVED.PDF";
    QTest::addRow("into a missing folder") << "missing/saved.png";
}

void PrinterWindowTest::saveLabelAs()
{
    QFETCH(QString, name);
    WindowedPrinter printer;
    QCOMPARE(printer.window->saveShownLabel(printer.dir.filePath(name)), QStringLiteral("no label is shown"));
    QVERIFY(!printer.window->Mnu_SaveAs->isEnabled());
    QVERIFY(printer.send({labelJob("SAVE")}, 1));
    QVERIFY(printer.window->Mnu_SaveAs->isEnabled());

    const QString path = printer.dir.filePath(name);
    const QString png = QDir(printer.options.outDir).filePath(QStringLiteral("label-000001.png"));
    const QString problem = printer.window->saveShownLabel(path);
    if (name.startsWith(QLatin1String("missing/"))) {
        QVERIFY2(problem.startsWith(QStringLiteral("cannot write %1: ").arg(path)), qPrintable(problem));
        QVERIFY(!QFileInfo::exists(path));
        return;
    }
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    if (name.endsWith(QLatin1String(".png"))) {
        QCOMPARE(readFile(path), readFile(png));
        return;
    }
    // The same file as --pdf writes beside the picture.
    const QString beside = printer.dir.filePath(QStringLiteral("beside.pdf"));
    QCOMPARE(writeLabelPdf(beside, QImage(png), QSize(240, 88), 203), QString());
    const PdfFacts saved = pdfFacts(readFile(path));
    const PdfFacts written = pdfFacts(readFile(beside));
    QCOMPARE(saved.page, written.page);
    QCOMPARE(saved.image, QSize(240, 88));
}

void PrinterWindowTest::accessibleAndKeyboard()
{
    WindowedPrinter printer;
    Frm_Printer& w = *printer.window;
    QCOMPARE(w.Lst_Labels->accessibleName(), QStringLiteral("Labels received"));
    QCOMPARE(w.Pic_Label->accessibleName(), QStringLiteral("Label picture"));
    QCOMPARE(w.Lst_Problems->accessibleName(), QStringLiteral("Problems of the label shown"));
    QCOMPARE(w.Lbl_Status->accessibleName(), QStringLiteral("Printer status"));
    QVERIFY(w.Lst_Labels->hasFocus() || QApplication::focusWidget() == nullptr);

    QVERIFY(
        printer.send({"N\r\nq240\r\nQ88,24\r\nA10,20,0,3,1,1,N,\"SPOKEN\"\r\nA300,40,0,1,1,1,N,\"OUT\"\r\nP1\r\n"}, 1));
    const QString words = w.Pic_Label->accessibleDescription();
    QVERIFY2(words.startsWith(QLatin1String("Label 1: 240 by 88 dots, 30.0 by 11.0 mm at 203 dpi, stream 1 line 6")),
             qPrintable(words));
    QVERIFY2(words.contains(QLatin1String("field 1 \"SPOKEN\" (job line 4) at x 10 to ")), qPrintable(words));
    QVERIFY2(words.contains(QLatin1String("; line 6: label 1: field 2 \"OUT\" (job line 5) runs ")), qPrintable(words));
    QCOMPARE(w.labels().data(w.labels().index(0, ReceivedLabels::Size), Qt::AccessibleTextRole).toString(),
             QStringLiteral("240 by 88 dots"));

    // Every menu item is reached from the keyboard: a mnemonic letter of its own within its menu.
    for (QAction* menu : w.menuBar()->actions()) {
        QVERIFY2(menu->text().contains(QLatin1Char('&')), qPrintable(menu->text()));
        QSet<QChar> letters;
        for (QAction* item : menu->menu()->actions()) {
            if (item->isSeparator())
                continue;
            const qsizetype amp = item->text().indexOf(QLatin1Char('&'));
            QVERIFY2(amp >= 0, qPrintable(item->text()));
            const QChar letter = item->text().at(amp + 1).toLower();
            QVERIFY2(!letters.contains(letter), qPrintable(item->text()));
            letters.insert(letter);
        }
    }
}

void PrinterWindowTest::pdfBesideEachPicture_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("scale");
    QTest::addRow("203 dpi") << QStringList{"--pdf"} << 203 << 1;
    QTest::addRow("300 dpi") << QStringList{"--pdf", "--dpi", "300"} << 300 << 1;
    QTest::addRow("300 dpi, pictures at 2 pixels per dot")
        << QStringList{"--pdf", "--dpi=300", "--scale", "2"} << 300 << 2;
}

void PrinterWindowTest::pdfBesideEachPicture()
{
    QFETCH(QStringList, options);
    QFETCH(int, dpi);
    QFETCH(int, scale);
    QTemporaryDir dir;
    const QString job = dir.filePath(QStringLiteral("job.epl"));
    QVERIFY(writeFile(job, labelJob("PDF") + "N\r\nq406\r\nQ203,24\r\nLE0,0,406,203\r\nLW100,50,200,100\r\nP1\r\n"));
    const QString out = dir.filePath(QStringLiteral("out"));
    QProcess process;
    endsWithTest(process);
    process.start(kPrinter, QStringList{"--render", job, "--out", out} + options);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);

    const QList<QSize> sizes{{240, 88}, {406, 203}};
    for (int i = 0; i < sizes.size(); ++i) {
        const QSize dots = sizes.at(i);
        const QString png = QStringLiteral("%1/label-00000%2.png").arg(out).arg(i + 1);
        const QString pdf = pdfPathBeside(png);
        const QByteArray bytes = readFile(pdf);
        const PdfFacts facts = pdfFacts(bytes);
        // The page is the label's size in points, to the whole point Qt writes it in.
        QVERIFY2(std::abs(facts.page.width() - dots.width() * 72.0 / dpi) <= 0.5, qPrintable(pdf));
        QVERIFY2(std::abs(facts.page.height() - dots.height() * 72.0 / dpi) <= 0.5, qPrintable(pdf));
        QCOMPARE(facts.image, dots * scale);
        QVERIFY(!facts.smoothed);
#ifdef QUORLEX_HAVE_QTPDF
        // Drawn back at four pixels per dot, the centre of every dot on the page is that dot of the picture.
        QPdfDocument document;
        QCOMPARE(document.load(pdf), QPdfDocument::Error::None);
        QCOMPARE(document.pageCount(), 1);
        const QSizeF points = document.pagePointSize(0);
        QCOMPARE(points, facts.page);
        const QSize size(qRound(points.width() * dpi / 72 * 4), qRound(points.height() * dpi / 72 * 4));
        const QImage page = document.render(0, size).convertToFormat(QImage::Format_Grayscale8);
        const QImage expected = pngDots(png, scale);
        const double perDotX = 72.0 / dpi * size.width() / points.width();
        const double perDotY = 72.0 / dpi * size.height() / points.height();
        int compared = 0;
        for (int y = 0; y < dots.height(); ++y) {
            for (int x = 0; x < dots.width(); ++x) {
                const QPoint centre(int((x + 0.5) * perDotX), int((y + 0.5) * perDotY));
                if (!page.rect().contains(centre)) // the page is the label rounded to whole points
                    continue;
                QVERIFY2((page.constScanLine(centre.y())[centre.x()] < 128) == (expected.constScanLine(y)[x] < 128),
                         qPrintable(QStringLiteral("dot %1, %2").arg(x).arg(y)));
                ++compared;
            }
        }
        QVERIFY(compared >= (dots.width() - 1) * (dots.height() - 1));
#endif
    }
}

void PrinterWindowTest::pdfThatCannotBeWritten()
{
    QTemporaryDir dir;
    const QString job = dir.filePath(QStringLiteral("job.epl"));
    QVERIFY(writeFile(job, labelJob("ONE") + labelJob("TWO")));
    const QString out = dir.filePath(QStringLiteral("out"));
    // Where the first PDF goes, a folder stands.
    QVERIFY(QDir().mkpath(out + QStringLiteral("/label-000001.pdf")));
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    endsWithTest(process);
    process.start(kPrinter, {"--render", job, "--out", out, "--pdf"});
    QVERIFY(process.waitForFinished(30000));
    const QString log = QString::fromUtf8(process.readAll());
    QVERIFY2(
        log.contains(QStringLiteral("problem: stream 1 line 6: label 1: cannot write %1/label-000001.pdf: ").arg(out)),
        qPrintable(log));
    // The picture is kept, the next PDF is whole, and nothing is left half written.
    QVERIFY(QFileInfo(out + QStringLiteral("/label-000001.png")).isFile());
    QVERIFY(pdfFacts(readFile(out + QStringLiteral("/label-000002.pdf"))).image == QSize(240, 88));
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList({"label-000001.png", "label-000002.pdf", "label-000002.png", "stream-000001.epl"}));
    // The same cause from the function itself: no temporary file is left beside a failed one either.
    QVERIFY(writeLabelPdf(dir.filePath(QStringLiteral("none/x.pdf")), QImage(8, 8, QImage::Format_Grayscale8),
                          QSize(8, 8), 203)
                .startsWith(QStringLiteral("cannot write %1: ").arg(dir.filePath(QStringLiteral("none/x.pdf")))));
}

void PrinterWindowTest::widgetsOnlyWithWindow()
{
    const auto mapped = [](qint64 pid) { return readFile(QStringLiteral("/proc/%1/maps").arg(pid)); };
    {
        PrinterProcess plain(kPrinter, {"--listen", "127.0.0.1:0", "--out", "OUT"});
        QVERIFY2(plain.isReady(), qPrintable(plain.failure()));
        const QByteArray maps = mapped(plain.processId());
        QVERIFY(maps.contains("libQt6Core"));               // the maps were read
        QVERIFY(!maps.contains("libquorlex-label-output")); // the printer answers; it does not send
        QVERIFY(!maps.contains("libQt6Widgets"));
        QVERIFY(!maps.contains("libquorlex-label-printer-window"));
    }
    {
        PrinterProcess windowed(kPrinter, {"--window", "--listen", "127.0.0.1:0", "--out", "OUT"});
        QVERIFY2(windowed.isReady(), qPrintable(windowed.failure()));
        const QByteArray maps = mapped(windowed.processId());
        QVERIFY(maps.contains("libQt6Widgets"));
        QVERIFY(maps.contains("libquorlex-label-printer-window"));
        QCOMPARE(windowed.exchange("^ee\r\n", 4), QByteArray("00\r\n"));
    }
    // No screen to show it on: said, not a crash.
    QProcess headless;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    headless.setProcessEnvironment(environment);
    endsWithTest(headless);
    headless.start(kPrinter, {"--window", "--listen", "127.0.0.1:0"});
    QVERIFY(headless.waitForFinished(10000));
    QCOMPARE(headless.exitStatus(), QProcess::NormalExit);
    QCOMPARE(headless.exitCode(), 3);
    QCOMPARE(QString::fromUtf8(headless.readAllStandardError()),
             QStringLiteral("quorlex-label-printer: --window: there is no screen to show it on (neither DISPLAY nor "
                            "WAYLAND_DISPLAY is set)\n"));
    // The help needs no screen, --window or not.
    headless.start(kPrinter, {"--window", "--help"});
    QVERIFY(headless.waitForFinished(10000));
    QCOMPARE(headless.exitCode(), 0);
    QVERIFY(headless.readAllStandardOutput().contains("  --window "));
}

QTEST_MAIN(PrinterWindowTest)
#include "tst_printer_window.moc"
