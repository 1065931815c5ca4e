// The batch composes, for the same settings, exactly the bytes the window's Print sends: both are driven here
// side by side, the window through its handlers with LPT1 mapped to a file, the batch with --dry-run.
#include "batch/batch_run.h"
#include "output/port_devices.h"
#include "support/batch_harness.h"
#include "support/printer_stand_ins.h"
#include "support/test_files.h"
#include "windows/frm_label_picture.h"
#include "windows/frm_main.h"
#include "windows/port_message.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Nudge
{
    const char* name; // as --nudge takes it, e.g. "item-x"
    int offset;
};

// What one Print press is made of, as the operator would set it on the window.
struct Press
{
    QString item;
    QString version;
    QString data;
    QString checksum;
    QString quantity = QStringLiteral("1");
};

using Handler = void (Frm_Main::*)();

// The minus and plus handler of each --nudge name.
std::pair<Handler, Handler> nudgeHandlers(const QString& name)
{
    if (name == QLatin1String("item-x"))
        return {&Frm_Main::SSCmd_ItemXM_Click, &Frm_Main::SSCmd_ItemXP_Click};
    if (name == QLatin1String("item-y"))
        return {&Frm_Main::SSCmd_ItemYM_Click, &Frm_Main::SSCmd_ItemYP_Click};
    if (name == QLatin1String("ver-x"))
        return {&Frm_Main::SSCmd_VerXM_Click, &Frm_Main::SSCmd_VerXP_Click};
    if (name == QLatin1String("ver-y"))
        return {&Frm_Main::SSCmd_VerYM_Click, &Frm_Main::SSCmd_VerYP_Click};
    if (name == QLatin1String("data-x"))
        return {&Frm_Main::SSCmd_DataXM_Click, &Frm_Main::SSCmd_DataXP_Click};
    if (name == QLatin1String("data-y"))
        return {&Frm_Main::SSCmd_DataYM_Click, &Frm_Main::SSCmd_DataYP_Click};
    if (name == QLatin1String("checksum-x"))
        return {&Frm_Main::SSCmd_ChksumXM_Click, &Frm_Main::SSCmd_ChksumXP_Click};
    return {&Frm_Main::SSCmd_ChksumYM_Click, &Frm_Main::SSCmd_ChksumYP_Click};
}

// The option button handler that gives the label a batch size names: the window's SSOpt_9M makes the
// 12 by 12 mm label the batch calls 6M, and SSOpt_6M the 10 by 18 mm label it calls 9M.
void chooseSize(Frm_Main& w, const QString& size)
{
    if (size == QLatin1String("1M"))
        w.SSOpt_1M_Click(1);
    else if (size == QLatin1String("2M"))
        w.SSOpt_2M_Click(1);
    else if (size == QLatin1String("3M"))
        w.SSOpt_3M_Click(1);
    else if (size == QLatin1String("6M"))
        w.SSOpt_9M_Click(1);
    else
        w.SSOpt_6M_Click(1);
}

// The batch in-process, its jobs on standard output or sent to the port.
BatchRun runBatchWith(const QStringList& arguments, const QByteArray& input = {})
{
    return runBatchInProcess(arguments, nullptr, input);
}

} // namespace

Q_DECLARE_METATYPE(QList<Nudge>)

class BatchWindowJobsTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(dir_.isValid());
        printer_ = dir_.filePath(QStringLiteral("lpt1"));
        QFile file(printer_);
        QVERIFY(file.open(QIODevice::WriteOnly)); // LPT1 is never created: it has to exist
        qputenv(kLpt1Variable, QFile::encodeName(printer_));
        failures_.clear();
        setPortErrorSink([this](QWidget*, const QString& cause) { failures_ << cause; });
    }
    void cleanup()
    {
        setPortErrorSink({});
        qunsetenv(kLpt1Variable);
    }

    void oneLabelIsTheWindowsJob_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<bool>("fiveAcross");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("checksum");
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<QString>("darkness"); // empty: the window's and the batch's default
        QTest::addColumn<QString>("gap");      // empty: the preset's gap on both sides
        QTest::addColumn<QList<Nudge>>("nudges");

        // Each size at its own preset, then with its positions moved to the bounds of the buttons.
        QTest::addRow("1M") << "1M" << false << "AB1"
                            << "V1"
                            << ""
                            << ""
                            << "1"
                            << ""
                            << "" << QList<Nudge>{};
        QTest::addRow("1M nudged, quote and backslash")
            << "1M" << false << "A\"B\\12"
            << "V 1"
            << ""
            << ""
            << "7"
            << "15"
            << "" << QList<Nudge>{{"item-x", -8}, {"item-y", 30}, {"ver-x", 8}, {"ver-y", -16}};
        QTest::addRow("2M") << "2M" << false << "AB1234"
                            << "V12"
                            << ""
                            << ""
                            << "3"
                            << "12"
                            << "10" << QList<Nudge>{};
        QTest::addRow("2M nudged") << "2M" << false << "AB1234"
                                   << "V12"
                                   << ""
                                   << ""
                                   << "1"
                                   << ""
                                   << "" << QList<Nudge>{{"item-y", -3}, {"ver-x", 2}};
        QTest::addRow("2M five-across") << "2M" << true << "AB1234"
                                        << "V1"
                                        << ""
                                        << ""
                                        << "2"
                                        << ""
                                        << "" << QList<Nudge>{};
        QTest::addRow("2M five-across nudged")
            << "2M" << true << "AB\"34"
            << "V1"
            << ""
            << ""
            << "1"
            << "0"
            << "" << QList<Nudge>{{"item-x", -3}, {"item-y", 5}, {"ver-x", 8}, {"ver-y", -16}};
        QTest::addRow("3M with checksum") << "3M" << false << "AB1234"
                                          << "V1"
                                          << "0623"
                                          << "57"
                                          << "2"
                                          << ""
                                          << "" << QList<Nudge>{};
        QTest::addRow("3M counter, every position at a bound")
            << "3M" << false << "AB1234"
            << "V1"
            << "0623"
            << ""
            << "1"
            << ""
            << "24" << QList<Nudge>{{"item-x", 8}, {"item-y", -16}, {"ver-x", -8},      {"ver-y", 30},
                                    {"data-x", 8}, {"data-y", 16},  {"checksum-x", -8}, {"checksum-y", -16}};
        QTest::addRow("6M") << "6M" << false << "A\\B\"C"
                            << "V2"
                            << "D"
                            << "C"
                            << "65535"
                            << "0"
                            << "20.8" << QList<Nudge>{};
        QTest::addRow("6M nudged") << "6M" << false << "X"
                                   << ""
                                   << ""
                                   << ""
                                   << "1"
                                   << ""
                                   << "" << QList<Nudge>{{"data-y", -5}, {"checksum-x", 3}};
        QTest::addRow("9M") << "9M" << false << "AB1234"
                            << "V9"
                            << "0623"
                            << ""
                            << "1"
                            << ""
                            << "" << QList<Nudge>{};
        QTest::addRow("9M nudged") << "9M" << false << "AB1234"
                                   << "V9"
                                   << "0623"
                                   << "99"
                                   << "4"
                                   << "3"
                                   << "" << QList<Nudge>{{"item-y", 1}, {"ver-y", -1}, {"checksum-y", 16}};
    }
    void oneLabelIsTheWindowsJob()
    {
        QFETCH(QString, size);
        QFETCH(bool, fiveAcross);
        QFETCH(QString, item);
        QFETCH(QString, version);
        QFETCH(QString, data);
        QFETCH(QString, checksum);
        QFETCH(QString, quantity);
        QFETCH(QString, darkness);
        QFETCH(QString, gap);
        QFETCH(QList<Nudge>, nudges);

        Frm_Main w;
        w.Mnu_Lpt_Click();
        chooseSize(w, size);
        w.Txt_Item->setText(item);
        w.Txt_Version->setText(version);
        w.Txt_Data->setText(data);
        w.Txt_Chksum->setText(checksum);
        w.Txt_Qty->setText(quantity);
        if (!darkness.isEmpty())
            w.Txt_DarkNess->setText(darkness);
        if (!gap.isEmpty())
            w.Txt_Gap->setText(gap);
        w.Chk_Print5->setChecked(fiveAcross);
        for (const Nudge& nudge : nudges) {
            const auto [minus, plus] = nudgeHandlers(QLatin1String(nudge.name));
            for (int click = 0; click < std::abs(nudge.offset); ++click)
                (w.*(nudge.offset < 0 ? minus : plus))();
        }
        w.SSCmd_Print_Click();
        QCOMPARE(failures_, QStringList());
        const QByteArray windowJob = readFile(printer_);
        QVERIFY(!windowJob.isEmpty());

        QStringList arguments{"--size", size, "--item", item, "--version", version, "--qty", quantity, "--dry-run"};
        if (!data.isEmpty())
            arguments << "--data" << data;
        if (!checksum.isEmpty())
            arguments << "--checksum" << checksum;
        if (!darkness.isEmpty())
            arguments << "--darkness" << darkness;
        if (!gap.isEmpty())
            arguments << "--gap" << gap;
        if (fiveAcross)
            arguments << "--five-across";
        QStringList nudgeList;
        for (const Nudge& nudge : nudges)
            nudgeList << QStringLiteral("%1=%2").arg(QLatin1String(nudge.name)).arg(nudge.offset);
        if (!nudgeList.isEmpty())
            arguments << "--nudge" << nudgeList.join(QLatin1Char(','));

        const BatchRun batch = runBatchWith(arguments);
        QVERIFY2(batch.status == kExitOk, qPrintable(batch.err));
        QCOMPARE(batch.out, windowJob);
    }

    // The label picture window, open while the operator works, shows at one pixel per dot the very picture
    // --preview draws of the same settings: at each size's start-up values, after a nudge, a text and a size.
    void pictureIsTheBatchPreview_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<bool>("fiveAcross");
        QTest::addColumn<QStringList>("texts"); // item, version, data, checksum
        QTest::addColumn<QList<Nudge>>("nudges");
        QTest::addColumn<QString>("thenSize"); // a size chosen last; empty for none

        for (const char* size : {"1M", "2M", "3M", "6M", "9M"})
            QTest::addRow("%s at start-up", size) << size << false << QStringList() << QList<Nudge>{} << "";
        QTest::addRow("2M five-across at start-up") << "2M" << true << QStringList() << QList<Nudge>{} << "";
        QTest::addRow("1M nudged past the bottom")
            << "1M" << false << QStringList{"AB1", "V1"} << QList<Nudge>{{"item-y", 30}, {"ver-x", -8}} << "";
        QTest::addRow("five-across nudged off the left")
            << "2M" << true << QStringList{"AB", "V1"} << QList<Nudge>{{"ver-x", -8}, {"item-y", 5}} << "";
        QTest::addRow("3M nudged") << "3M" << false << QStringList{"AB1234", "V1", "0623", "57"}
                                   << QList<Nudge>{{"data-x", -3}, {"checksum-y", 16}} << "";
        QTest::addRow("9M texts with quote and backslash")
            << "9M" << false << QStringList{"A\\B\"C", "V9", "0623", "X"} << QList<Nudge>{} << "";
        QTest::addRow("2M six characters") << "2M" << false << QStringList{"AB1234", "V12"} << QList<Nudge>{} << "";
        QTest::addRow("3M texts, then 1M")
            << "3M" << false << QStringList{"AB1234", "V1234", "0623", "57"} << QList<Nudge>{{"item-x", 4}} << "1M";
        QTest::addRow("five-across, then 6M")
            << "2M" << true << QStringList{"AB", "V1"} << QList<Nudge>{{"ver-y", 3}} << "6M";
    }
    void pictureIsTheBatchPreview()
    {
        QFETCH(QString, size);
        QFETCH(bool, fiveAcross);
        QFETCH(QStringList, texts);
        QFETCH(QList<Nudge>, nudges);
        QFETCH(QString, thenSize);

        Frm_Main w;
        w.Mnu_LabelPicture_Click();
        chooseSize(w, size);
        w.Chk_Print5->setChecked(fiveAcross);
        TextBox* const boxes[] = {w.Txt_Item, w.Txt_Version, w.Txt_Data, w.Txt_Chksum};
        for (int i = 0; i < texts.size(); ++i)
            boxes[i]->setText(texts.at(i));
        for (const Nudge& nudge : nudges) {
            const auto [minus, plus] = nudgeHandlers(QLatin1String(nudge.name));
            for (int click = 0; click < std::abs(nudge.offset); ++click)
                (w.*(nudge.offset < 0 ? minus : plus))();
        }
        if (!thenSize.isEmpty())
            chooseSize(w, thenSize); // cuts or empties texts and puts every nudge back to 0
        QCoreApplication::processEvents();
        const LabelPicture& shown = w.pictureWindow()->picture();
        QVERIFY2(shown.ok(), qPrintable(shown.reason));

        const QString finalSize = thenSize.isEmpty() ? size : thenSize;
        QStringList arguments{"--size", finalSize, "--preview", dir_.path()};
        const char* options[] = {"--item", "--version", "--data", "--checksum"};
        for (int i = 0; i < 4; ++i) {
            if (!boxes[i]->text().isEmpty())
                arguments << QLatin1String(options[i]) << boxes[i]->text();
        }
        if (w.Chk_Print5->isChecked() && finalSize == QLatin1String("2M")) // the box is read only under 2M
            arguments << "--five-across";
        QStringList nudgeList;
        for (const Nudge& nudge : nudges)
            nudgeList << QStringLiteral("%1=%2").arg(QLatin1String(nudge.name)).arg(nudge.offset);
        if (thenSize.isEmpty() && !nudgeList.isEmpty())
            arguments << "--nudge" << nudgeList.join(QLatin1Char(','));
        const BatchRun batch = runBatchWith(arguments);
        QVERIFY2(batch.status == kExitOk, qPrintable(batch.err));

        const QImage preview = QImage(dir_.filePath(QStringLiteral("job-00001.png")));
        QVERIFY(!preview.isNull());
        QCOMPARE(shown.label.image.size(), preview.size());
        QVERIFY(shown.label.image == preview.convertToFormat(QImage::Format_Grayscale8));
        // The window lists what the batch warns about, in the same words.
        QStringList warned;
        for (const QString& line : batch.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            warned << line.section(QStringLiteral(": "), 2);
        QCOMPARE(shown.overruns, warned);
    }

    // Row after row of a CSV file gives the jobs of one Print press per row, in order.
    void csvRowsAreTheWindowsPresses()
    {
        const QList<Press> presses{
            {"AB1234", "V1", "0623", "", "2"},
            {"CD5678", "V2", "", "57", "1"}, // the empty qty cell below takes --qty 1
            {"E\"F", "", "0701", "X\\Y", "12"},
        };
        const QByteArray csv = "item,version,data,checksum,qty\r\n"
                               "AB1234,V1,0623,,2\r\n"
                               "CD5678,V2,,57,\r\n"
                               "\"E\"\"F\",,0701,X\\Y,12\r\n";

        QByteArray windowJobs;
        Frm_Main w;
        w.Mnu_Lpt_Click();
        chooseSize(w, QStringLiteral("9M"));
        w.SSCmd_VerXP_Click();
        w.SSCmd_DataYM_Click();
        for (const Press& press : presses) {
            w.Txt_Item->setText(press.item);
            w.Txt_Version->setText(press.version);
            w.Txt_Data->setText(press.data);
            w.Txt_Chksum->setText(press.checksum);
            w.Txt_Qty->setText(press.quantity);
            w.SSCmd_Print_Click();
            windowJobs += readFile(printer_);
        }
        QCOMPARE(failures_, QStringList());

        const BatchRun batch =
            runBatchWith({"--size", "9M", "--nudge", "ver-x=+1,data-y=-1", "--csv", "-", "--dry-run"}, csv);
        QVERIFY2(batch.status == kExitOk, qPrintable(batch.err));
        QCOMPARE(batch.out, windowJobs);
    }

    // One quantity rule for the window's Print, its label picture and the batch: a whole number from 1 to
    // 65535 goes out as it did (blanks around it trimmed, leading zeros kept); anything else is refused with
    // the box and the value named, and nothing is sent. The batch's --qty takes no blanks, so it gets the
    // text trimmed.
    void quantityIsOneRuleForBoth_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("sent"); // the P command's number; empty when refused

        QTest::addRow("1") << "1"
                           << "1";
        QTest::addRow("65535") << "65535"
                               << "65535";
        QTest::addRow("blanks around") << " 12 "
                                       << "12";
        QTest::addRow("leading zeros") << "0007"
                                       << "0007";
        QTest::addRow("nine digits with zeros") << "000065535"
                                                << "000065535";
        QTest::addRow("empty") << ""
                               << "";
        QTest::addRow("blanks") << "   "
                                << "";
        QTest::addRow("0") << "0"
                           << "";
        QTest::addRow("65536") << "65536"
                               << "";
        QTest::addRow("abc") << "abc"
                             << "";
        QTest::addRow("1a") << "1a"
                            << "";
        QTest::addRow("minus") << "-1"
                               << "";
        QTest::addRow("decimal") << "1.0"
                                 << "";
        QTest::addRow("ten digits with zeros") << "0000000001"
                                               << "";
        QTest::addRow("tab after") << "1\t"
                                   << "";
        QTest::addRow("3,000 nines") << QString(3000, QLatin1Char('9')) << "";
    }
    void quantityIsOneRuleForBoth()
    {
        QFETCH(QString, typed);
        QFETCH(QString, sent);
        const QString rule = QStringLiteral(" is not a whole number from 1 to 65535");

        Frm_Main w;
        w.Mnu_Lpt_Click();
        w.Mnu_LabelPicture_Click();
        w.Txt_Item->setText(QStringLiteral("AB1234"));
        w.SSCmd_Print_Click();
        const QByteArray oneLabel = readFile(printer_);
        QVERIFY(oneLabel.endsWith("\r\nP1\r\n\r\n"));
        QFile(printer_).resize(0);

        w.Txt_Qty->setText(typed);
        w.SSCmd_Print_Click();
        const QByteArray windowJob = readFile(printer_);
        QCoreApplication::processEvents();
        const LabelPicture& shown = w.pictureWindow()->picture();
        const QString trimmed = trimBlanks(typed);
        const BatchRun batch = runBatchWith({"--size", "3M", "--item", "AB1234", "--qty", trimmed, "--dry-run"});
        if (!sent.isEmpty()) {
            QCOMPARE(failures_, QStringList());
            QByteArray expected = oneLabel;
            expected.replace("\r\nP1\r\n\r\n", "\r\nP" + sent.toLatin1() + "\r\n\r\n");
            QCOMPARE(windowJob, expected);
            QVERIFY2(shown.ok(), qPrintable(shown.reason));
            QVERIFY2(batch.status == kExitOk, qPrintable(batch.err));
            QCOMPARE(batch.out, expected);
            return;
        }
        QCOMPARE(windowJob, QByteArray());
        QCOMPARE(failures_.size(), 1);
        const QString& cause = failures_.first();
        QVERIFY2(cause.contains(QStringLiteral("Quantity: \"")) && cause.contains(rule), qPrintable(cause));
        QVERIFY2(cause.size() < 200 && !cause.contains(QLatin1Char('\t')), qPrintable(cause)); // shown safely
        QVERIFY(!shown.ok());
        QVERIFY2(shown.reason.contains(cause.section(QStringLiteral("composing the job: "), 1)),
                 qPrintable(shown.reason));
        QCOMPARE(batch.status, int(kExitUsage));
        QVERIFY2(batch.err.contains(QStringLiteral("--qty: \"")) && batch.err.contains(rule), qPrintable(batch.err));
        QCOMPARE(batch.out, QByteArray());
    }

    // A tab pasted into a box is refused by the window's Print as the batch refuses it.
    void tabIsRefusedByBoth_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("option");
        QTest::addRow("Item") << "Txt_Item"
                              << "--item";
        QTest::addRow("Version") << "Txt_Version"
                                 << "--version";
        QTest::addRow("Data") << "Txt_Data"
                              << "--data";
        QTest::addRow("Checksum") << "Txt_Chksum"
                                  << "--checksum";
    }
    void tabIsRefusedByBoth()
    {
        QFETCH(QString, box);
        QFETCH(QString, option);
        Frm_Main w;
        w.Mnu_Lpt_Click();
        chooseSize(w, QStringLiteral("9M"));
        w.findChild<TextBox*>(box)->setText(QStringLiteral("A\tB"));
        w.SSCmd_Print_Click();
        QCOMPARE(readFile(printer_), QByteArray());
        QCOMPARE(failures_.size(), 1);
        QVERIFY2(failures_.first().contains(QStringLiteral("contains a control character (U+0009)")),
                 qPrintable(failures_.first()));

        const BatchRun batch = runBatchWith({"--size", "9M", option, "A\tB", "--dry-run"});
        QCOMPARE(batch.status, int(kExitUsage));
        QVERIFY2(batch.err.contains(QStringLiteral("contains a tab")), qPrintable(batch.err));
        QCOMPARE(batch.out, QByteArray());
    }

    // Through the one output layer, the window's Print (LPT1 mapped) and the batch (--port) put the same
    // bytes into the same kind of printer.
    void sameBytesAtTheSamePrinter_data()
    {
        QTest::addColumn<PrinterKind>("kind");
        QTest::addRow("file") << PrinterKind::File;
        QTest::addRow("FIFO") << PrinterKind::Fifo;
        QTest::addRow("network printer") << PrinterKind::Network;
        QTest::addRow("pseudo-terminal") << PrinterKind::Terminal;
    }
    void sameBytesAtTheSamePrinter()
    {
        QFETCH(PrinterKind, kind);
        const QStringList settings{"--size", "9M",     "--item", "AB1234", "--version",
                                   "V9",     "--data", "0623",   "--qty",  "3"};
        const BatchRun dryRun = runBatchWith(settings + QStringList{"--dry-run"});
        QCOMPARE(dryRun.status, int(kExitOk));

        StandInPrinter windowPrinter(kind);
        qputenv(kLpt1Variable, QFile::encodeName(windowPrinter.address));
        Frm_Main w;
        w.Mnu_Lpt_Click();
        chooseSize(w, QStringLiteral("9M"));
        w.Txt_Item->setText(QStringLiteral("AB1234"));
        w.Txt_Version->setText(QStringLiteral("V9"));
        w.Txt_Data->setText(QStringLiteral("0623"));
        w.Txt_Qty->setText(QStringLiteral("3"));
        w.SSCmd_Print_Click();
        QCOMPARE(failures_, QStringList());

        StandInPrinter batchPrinter(kind);
        const BatchRun batch = runBatchWith(settings + QStringList{"--port", batchPrinter.address});
        QVERIFY2(batch.status == kExitOk, qPrintable(batch.err));

        QCOMPARE(windowPrinter.received(dryRun.out.size()), dryRun.out);
        QCOMPARE(batchPrinter.received(dryRun.out.size()), dryRun.out);
    }

private:
    QTemporaryDir dir_;
    QString printer_;
    QStringList failures_;
};

QTEST_MAIN(BatchWindowJobsTest)
#include "tst_batch_window_jobs.moc"
