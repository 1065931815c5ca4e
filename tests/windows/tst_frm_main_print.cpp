#include "printing/epl2_job.h"
#include "support/event_loop.h"
#include "support/printer_stand_ins.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"
#include "windows/frm_main.h"
#include "windows/module1.h"
#include "windows/port_message.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// The stored-form job of the 3M size with Item AB1234, Version V1, Data 0623, quantity 2 and gap 24.
const QByteArray kStoredFormJob = "\r\n\r\nO\r\n\r\nN\r\nD8\r\nFK\"FIXEDAT0\"\r\nFS\"FIXEDAT0\"\r\n"
                                  "V00,6,C,\"\"\r\nV01,6,C,\"\"\r\nV02,6,C,\"\"\r\nC0,4,L,+1,\"\"\r\n"
                                  "Q86,24\r\nq150\r\nA100,0,1,1,1,1,N,V00\r\nA85,0,1,1,1,1,N,V01\r\n"
                                  "A70,0,1,1,1,1,N,V02\r\nA55,0,1,1,1,1,N,C0\r\nFE\r\n\r\nFR\"FIXEDAT0\"\r\n"
                                  "?\r\nAB1234\r\nV1\r\n0623\r\n0001\r\nP2\r\n\r\n";

void fillSample(Frm_Main& w)
{
    w.Txt_Item->setText(QStringLiteral("AB1234"));
    w.Txt_Version->setText(QStringLiteral("V1"));
    w.Txt_Data->setText(QStringLiteral("0623"));
    w.Txt_Gap->setText(QStringLiteral("24"));
    w.Txt_Qty->setText(QStringLiteral("2"));
}

// Everything an operator set, to check that a press leaves it as it was.
struct WindowState
{
    LabelSettings settings;
    QString port;
    QStringList captions;
    bool menuCom1;
    bool optionLpt;

    explicit WindowState(Frm_Main& w)
        : settings(w.labelSettings()), port(w.PortName), menuCom1(w.Mnu_Com1->isChecked()),
          optionLpt(w.SSOpt_Lpt->Value())
    {
        for (SSPanel* panel : w.offsetPanels())
            captions << panel->Caption();
    }
    bool operator==(const WindowState& o) const
    {
        const LabelSettings& a = settings;
        const LabelSettings& b = o.settings;
        return a.size == b.size && a.fiveAcross == b.fiveAcross && a.darkness == b.darkness && a.gap == b.gap &&
               a.quantity == b.quantity && a.item == b.item && a.version == b.version && a.data == b.data &&
               a.checksum == b.checksum && a.positions == b.positions && port == o.port && captions == o.captions &&
               menuCom1 == o.menuCom1 && optionLpt == o.optionLpt;
    }
};

} // namespace

class TestFrmMainPrint : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void portHandlers_data();
    void portHandlers();
    void comPressDeliversTheJob();
    void twoPressesEachDeliverOneJob();
    void enterInQuantityPrintsOnce();
    void lptPressWritesTheJobToTheDevice_data();
    void lptPressWritesTheJobToTheDevice();
    void fiveAcrossJobCarriesTheNudges();
    void failuresShowTheMessageAndChangeNothing_data();
    void failuresShowTheMessageAndChangeNothing();
    void theRealMessageBox_data();
    void theRealMessageBox();
    void pressDuringAPressIsDropped();
    void endDuringAPressEndsCleanly();

private:
    QStringList m_causes;
    QTemporaryDir m_dir;
};

void TestFrmMainPrint::init()
{
    m_causes.clear();
    setPortErrorSink([this](QWidget*, const QString& cause) { m_causes << cause; });
}

void TestFrmMainPrint::cleanup()
{
    setPortErrorSink({});
    qunsetenv("QUORLEX_LABEL_COM1");
    qunsetenv("QUORLEX_LABEL_LPT1");
}

void TestFrmMainPrint::portHandlers_data()
{
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QString>("portName");
    QTest::addColumn<qint16>("commPort");
    // Starting from LPT with CommPort 5: only the Com1 option button sets CommPort back to 1.
    QTest::newRow("Mnu_Com1") << "Mnu_Com1"
                              << "COM1" << qint16(5);
    QTest::newRow("Mnu_Lpt") << "Mnu_Lpt"
                             << "LPT" << qint16(5);
    QTest::newRow("SSOpt_Com1") << "SSOpt_Com1"
                                << "COM1" << qint16(1);
    QTest::newRow("SSOpt_Lpt") << "SSOpt_Lpt"
                               << "LPT" << qint16(5);
}

void TestFrmMainPrint::portHandlers()
{
    QFETCH(QString, handler);
    QFETCH(QString, portName);
    QFETCH(qint16, commPort);

    for (const char* start : {"Mnu_Lpt", "Mnu_Com1"}) {
        Frm_Main w;
        w.findChild<QAction*>(QString::fromLatin1(start))->trigger();
        w.MSC_Com1->setCommPort(5);
        if (auto* action = w.findChild<QAction*>(handler))
            action->trigger();
        else
            QTest::mouseClick(w.findChild<SSOption*>(handler), Qt::LeftButton);
        const bool com1 = portName == QLatin1String("COM1");
        QCOMPARE(w.PortName, portName);
        QCOMPARE(w.Mnu_Com1->isChecked(), com1);
        QCOMPARE(w.Mnu_Lpt->isChecked(), !com1);
        QCOMPARE(w.SSOpt_Com1->Value(), com1);
        QCOMPARE(w.SSOpt_Lpt->Value(), !com1);
        QCOMPARE(w.MSC_Com1->CommPort(), commPort);
        QVERIFY(!w.MSC_Com1->PortOpen());
    }
}

void TestFrmMainPrint::comPressDeliversTheJob()
{
    PseudoTerminal printer;
    QVERIFY(printer.isValid());
    qputenv("QUORLEX_LABEL_COM1", printer.slavePath().toLocal8Bit());
    Frm_Main w;
    fillSample(w);
    const WindowState before(w);
    QTest::mouseClick(w.SSCmd_Print, Qt::LeftButton);
    QCOMPARE(m_causes, QStringList());
    QCOMPARE(printer.read(), kStoredFormJob);
    QVERIFY(!w.MSC_Com1->PortOpen());
    QVERIFY(WindowState(w) == before);
}

void TestFrmMainPrint::twoPressesEachDeliverOneJob()
{
    PseudoTerminal printer;
    qputenv("QUORLEX_LABEL_COM1", printer.slavePath().toLocal8Bit());
    Frm_Main w;
    fillSample(w);
    w.SSCmd_Print_Click();
    QCOMPARE(printer.read(), kStoredFormJob);
    w.SSOpt_1M_Click(1);
    w.SSCmd_Print_Click();
    QCOMPARE(printer.read(), composeJob(w.labelSettings()).bytes);
    QVERIFY(printer.read().isEmpty());
    QCOMPARE(m_causes, QStringList());
}

void TestFrmMainPrint::enterInQuantityPrintsOnce()
{
    PseudoTerminal printer;
    qputenv("QUORLEX_LABEL_COM1", printer.slavePath().toLocal8Bit());
    Frm_Main w;
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    fillSample(w);
    w.Txt_Qty->setFocus();
    QTest::keyClick(w.Txt_Qty, Qt::Key_Return);
    QCOMPARE(printer.read(), kStoredFormJob);
    QCOMPARE(w.Txt_Qty->text(), QStringLiteral("2"));
    QCOMPARE(m_causes, QStringList());
}

void TestFrmMainPrint::lptPressWritesTheJobToTheDevice_data()
{
    QTest::addColumn<PrinterKind>("kind");
    QTest::addRow("file") << PrinterKind::File;
    QTest::addRow("network printer") << PrinterKind::Network;
    QTest::addRow("FIFO") << PrinterKind::Fifo;
}

void TestFrmMainPrint::lptPressWritesTheJobToTheDevice()
{
    QFETCH(PrinterKind, kind);
    StandInPrinter printer(kind);
    if (kind == PrinterKind::File)
        QVERIFY(writeFile(printer.address, "old contents that must go"));
    qputenv("QUORLEX_LABEL_LPT1", printer.address.toLocal8Bit());
    Frm_Main w;
    fillSample(w);
    w.Mnu_Lpt_Click();
    w.SSCmd_Print_Click();
    QCOMPARE(m_causes, QStringList());
    QCOMPARE(printer.received(kStoredFormJob.size()), kStoredFormJob);
}

void TestFrmMainPrint::fiveAcrossJobCarriesTheNudges()
{
    const QString device = m_dir.filePath(QStringLiteral("five"));
    QFile file(device);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("QUORLEX_LABEL_LPT1", device.toLocal8Bit());
    Frm_Main w;
    w.SSOpt_Lpt_Click(1);
    QTest::mouseClick(w.SSOpt_2M, Qt::LeftButton);
    w.Chk_Print5->setChecked(true);
    w.Txt_Item->setText(QStringLiteral("AB1234"));
    w.Txt_Version->setText(QStringLiteral("V1"));
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(w.SSCmd_VerXM, Qt::LeftButton);
    w.SSCmd_Print_Click();
    QCOMPARE(m_causes, QStringList());
    const QList<QByteArray> lines = readFile(device).split('\n');
    QCOMPARE(lines.size(), 17);
    QCOMPARE(lines.at(4), QByteArray("A13,30,1,1,1,1,N,\"V1\"\r"));
    QCOMPARE(lines.at(5), QByteArray("A31,30,1,1,1,1,N,\"AB1234\"\r"));
    QCOMPARE(lines.at(6), QByteArray("A76,30,1,1,1,1,N,\"V1\"\r"));
}

void TestFrmMainPrint::failuresShowTheMessageAndChangeNothing_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("itemY");
    QTest::addColumn<QString>("causeHas");

    QTest::newRow("LPT in a missing folder") << "LPT"
                                             << "/nonexistent-folder/lp0"
                                             << ""
                                             << "/nonexistent-folder/lp0";
    QTest::newRow("LPT cannot be written") << "LPT"
                                           << "/dev/full"
                                           << ""
                                           << "/dev/full";
    QTest::newRow("FIFO nobody reads") << "LPT"
                                       << "<fifo>"
                                       << ""
                                       << "nothing is reading the pipe";
    QTest::newRow("network printer refuses") << "LPT"
                                             << "<refused>"
                                             << ""
                                             << "refused the connection";
    QTest::newRow("missing serial device") << "COM1"
                                           << "/dev/ttyQuorlexMissing"
                                           << ""
                                           << "/dev/ttyQuorlexMissing";
    QTest::newRow("composition fails") << "COM1"
                                       << ""
                                       << "x"
                                       << "Item Y position: not a number";
}

void TestFrmMainPrint::failuresShowTheMessageAndChangeNothing()
{
    QFETCH(QString, port);
    QFETCH(QString, device);
    QFETCH(QString, itemY);
    QFETCH(QString, causeHas);

    PseudoTerminal printer; // what a failed composition must not reach
    FifoPrinter fifo(Reading::NoReader);
    if (device == QLatin1String("<fifo>"))
        device = fifo.path();
    if (device == QLatin1String("<refused>"))
        device = QStringLiteral("socket://127.0.0.1:%1").arg(refusedLoopbackPort());
    qputenv("QUORLEX_LABEL_COM1", (device.isEmpty() ? printer.slavePath() : device).toLocal8Bit());
    qputenv("QUORLEX_LABEL_LPT1", device.toLocal8Bit());
    Frm_Main w;
    w.SSOpt_1M_Click(1);
    w.Txt_Item->setText(QStringLiteral("AB"));
    w.SSCmd_ItemXP_Click();
    if (port == QLatin1String("LPT"))
        w.Mnu_Lpt_Click();
    if (!itemY.isEmpty())
        Module1::ItemY = itemY;
    const WindowState before(w);
    w.SSCmd_Print_Click();
    QCOMPARE(m_causes.size(), 1);
    QVERIFY2(m_causes.first().contains(causeHas), qPrintable(m_causes.first()));
    QVERIFY(WindowState(w) == before);
    QVERIFY(printer.read().isEmpty());
}

void TestFrmMainPrint::theRealMessageBox_data()
{
    QTest::addColumn<QByteArray>("lpt1");     // the device the environment names for LPT1
    QTest::addColumn<QString>("detailHas");   // what the detail shows of it
    QTest::addColumn<QString>("detailLacks"); // what must not reach the box raw
    QTest::addRow("missing folder") << QByteArray("/nonexistent-folder/lp0") << "/nonexistent-folder/lp0"
                                    << "\\x";
    QTest::addRow("markup in the name") << QByteArray("/nonexistent-folder/<b>lp0</b>")
                                        << "/nonexistent-folder/<b>lp0</b>"
                                        << "\\x";
    QTest::addRow("terminal escape") << QByteArray("/nonexistent-folder/\x1b[31mlp0")
                                     << "/nonexistent-folder/\\x1B[31mlp0"
                                     << "\x1b";
    QTest::addRow("line break") << QByteArray("/nonexistent-folder/lp0\nrm") << "/nonexistent-folder/lp0\\nrm"
                                << "\n";
}

void TestFrmMainPrint::theRealMessageBox()
{
    QFETCH(QByteArray, lpt1);
    QFETCH(QString, detailHas);
    QFETCH(QString, detailLacks);
    setPortErrorSink({});
    qputenv("QUORLEX_LABEL_LPT1", lpt1);
    Frm_Main w;
    w.Mnu_Lpt_Click();
    QString text, title, informative;
    Qt::TextFormat detailFormat = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        text = box->text();
        title = box->windowTitle();
        informative = box->informativeText();
        for (const QLabel* label : box->findChildren<QLabel*>()) {
            if (label->text() == informative)
                detailFormat = label->textFormat();
        }
        icon = box->icon();
        buttons = int(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    QTimer guard; // never hang: close whatever is still open
    connect(&guard, &QTimer::timeout, this, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    guard.start(3000);
    w.SSCmd_Print_Click();
    QCOMPARE(text, QStringLiteral("ComPort 에러 입니다."));
    QCOMPARE(title, QStringLiteral("Quorlex Label"));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, 1);
    QVERIFY2(informative.contains(detailHas), qPrintable(informative));
    QVERIFY2(!informative.contains(detailLacks), qPrintable(informative));
    QCOMPARE(detailFormat, Qt::PlainText);
}

void TestFrmMainPrint::pressDuringAPressIsDropped()
{
    PseudoTerminal printer;
    qputenv("QUORLEX_LABEL_COM1", printer.slavePath().toLocal8Bit());
    Frm_Main w;
    fillSample(w);
    bool innerRanDuringPress = false;
    QTimer::singleShot(0, this, [&] {
        innerRanDuringPress = w.printing();
        QTest::mouseClick(w.SSCmd_Print, Qt::LeftButton);
        w.Txt_Qty_KeyPress(13);
    });
    w.SSCmd_Print_Click();
    QVERIFY(innerRanDuringPress);
    QCOMPARE(printer.read(), kStoredFormJob); // one job, whole
    QCOMPARE(m_causes, QStringList());
}

void TestFrmMainPrint::endDuringAPressEndsCleanly()
{
    PseudoTerminal printer;
    qputenv("QUORLEX_LABEL_COM1", printer.slavePath().toLocal8Bit());
    QPointer<Frm_Main> w = new Frm_Main;
    fillSample(*w);
    w->showCentred();

    bool hiddenAtOnce = false;
    bool aliveWhilePrinting = false;
    QTimer::singleShot(0, this, [&] {
        QTimer::singleShot(0, this, [&] { // runs inside the press's pause
            QTest::mouseClick(w->SSCmd_End, Qt::LeftButton);
            hiddenAtOnce = !w->isVisible();
            aliveWhilePrinting = w && w->printing() && w->MSC_Com1 != nullptr;
        });
        w->SSCmd_Print_Click();
    });
    QVERIFY2(execUntilProgramEnds(), "the program did not end by itself");
    QVERIFY(hiddenAtOnce);
    QVERIFY(aliveWhilePrinting);
    QTRY_VERIFY(w.isNull());
    QCOMPARE(printer.read(), kStoredFormJob);
}

QTEST_MAIN(TestFrmMainPrint)
#include "tst_frm_main_print.moc"
