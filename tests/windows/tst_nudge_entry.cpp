#include "printing/presets.h"
#include "windows/frm_main.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <functional>

namespace {

// Reads the position a nudge button moves, as a number (ItemY is text).
double positionOf(const QString& panel)
{
    if (panel == QLatin1String("SSP_ItemX"))
        return Module1::ItemX;
    if (panel == QLatin1String("SSP_ItemY"))
        return Module1::ItemY.toDouble();
    if (panel == QLatin1String("SSP_VerX"))
        return Module1::VerX;
    if (panel == QLatin1String("SSP_VerY"))
        return Module1::VerY;
    if (panel == QLatin1String("SSP_DataX"))
        return Module1::DataX;
    if (panel == QLatin1String("SSP_DataY"))
        return Module1::DataY;
    if (panel == QLatin1String("SSP_ChksumX"))
        return Module1::ChksumX;
    return Module1::ChksumY;
}

} // namespace

class TestNudgeEntry : public QObject
{
    Q_OBJECT

private slots:
    void nudgeStopsAtItsBound_data();
    void nudgeStopsAtItsBound();
    void upAndDownReturnsToThePreset();
    void itemYGoesNegativeAsText();
    void captionIsTheStore();
    void clickChangesOnlyTheCaption();
    void dataAndChecksumRowsDisabledUnderOneMAndTwoM_data();
    void dataAndChecksumRowsDisabledUnderOneMAndTwoM();
    void stepThatWouldOverflowChangesNothing();

    void typedTextMovesFocus_data();
    void typedTextMovesFocus();
    void oneMJumpsAtThreeAndOnDeleteBackToThree();
    void pasteFillsDataAndJumps();
    void oneMPresetCutsAndWalksFocusToQuantity();
    void enterWalksTheChain_data();
    void enterWalksTheChain();
    void otherKeysReachTheBoxUnchanged();
    void previewKeepsBlanksAndCase();
    void previewShowsMarkupAsTyped_data();
    void previewShowsMarkupAsTyped();

private:
    void showAndActivate(Frm_Main& w);
};

void TestNudgeEntry::showAndActivate(Frm_Main& w)
{
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

void TestNudgeEntry::nudgeStopsAtItsBound_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("bound");

    struct Row
    {
        const char* button;
        const char* panel;
        int step;
        int bound;
    };
    const Row rows[] = {
        {"SSCmd_ItemXM", "SSP_ItemX", -1, -8},      {"SSCmd_ItemXP", "SSP_ItemX", +1, 8},
        {"SSCmd_ItemYM", "SSP_ItemY", -1, -16},     {"SSCmd_ItemYP", "SSP_ItemY", +1, 30},
        {"SSCmd_VerXM", "SSP_VerX", -1, -8},        {"SSCmd_VerXP", "SSP_VerX", +1, 8},
        {"SSCmd_VerYM", "SSP_VerY", -1, -16},       {"SSCmd_VerYP", "SSP_VerY", +1, 30},
        {"SSCmd_DataXM", "SSP_DataX", -1, -8},      {"SSCmd_DataXP", "SSP_DataX", +1, 8},
        {"SSCmd_DataYM", "SSP_DataY", -1, -16},     {"SSCmd_DataYP", "SSP_DataY", +1, 16},
        {"SSCmd_ChksumXM", "SSP_ChksumX", -1, -8},  {"SSCmd_ChksumXP", "SSP_ChksumX", +1, 8},
        {"SSCmd_ChksumYM", "SSP_ChksumY", -1, -16}, {"SSCmd_ChksumYP", "SSP_ChksumY", +1, 16},
    };
    for (const Row& row : rows)
        QTest::addRow("%s", row.button) << row.button << row.panel << row.step << row.bound;
}

void TestNudgeEntry::nudgeStopsAtItsBound()
{
    QFETCH(QString, button);
    QFETCH(QString, panel);
    QFETCH(int, step);
    QFETCH(int, bound);

    for (const char* size : {"SSOpt_3M", "SSOpt_6M"}) {
        Frm_Main w;
        QTest::mouseClick(w.findChild<SSOption*>(QString::fromLatin1(size)), Qt::LeftButton);
        auto* minusOrPlus = w.findChild<SSCommand*>(button);
        auto* offset = w.findChild<SSPanel*>(panel);
        QVERIFY(minusOrPlus && offset);
        const double start = positionOf(panel);

        int clicks = 0;
        while (offset->Caption() != QString::number(bound) && clicks < 100) {
            QTest::mouseClick(minusOrPlus, Qt::LeftButton);
            ++clicks;
            QCOMPARE(offset->Caption(), QString::number(clicks * step));
            QCOMPARE(positionOf(panel), start + clicks * step);
        }
        QCOMPARE(clicks, std::abs(bound));
        // At the bound a click changes neither the panel nor the position.
        QTest::mouseClick(minusOrPlus, Qt::LeftButton);
        QCOMPARE(offset->Caption(), QString::number(bound));
        QCOMPARE(positionOf(panel), start + bound);
    }
}

void TestNudgeEntry::upAndDownReturnsToThePreset()
{
    Frm_Main w;
    const LabelPositions preset = Module1::currentPositions();
    for (int i = 0; i < 3; ++i) {
        w.SSCmd_VerYP_Click();
        w.SSCmd_ItemYP_Click();
        w.SSCmd_ChksumXM_Click();
    }
    QCOMPARE(w.SSP_VerY->Caption(), QStringLiteral("3"));
    QCOMPARE(w.SSP_ChksumX->Caption(), QStringLiteral("-3"));
    for (int i = 0; i < 3; ++i) {
        w.SSCmd_VerYM_Click();
        w.SSCmd_ItemYM_Click();
        w.SSCmd_ChksumXP_Click();
    }
    QCOMPARE(w.SSP_VerY->Caption(), QStringLiteral("0"));
    QCOMPARE(w.SSP_ItemY->Caption(), QStringLiteral("0"));
    QCOMPARE(w.SSP_ChksumX->Caption(), QStringLiteral("0"));
    QVERIFY(Module1::currentPositions() == preset);
}

void TestNudgeEntry::itemYGoesNegativeAsText()
{
    Frm_Main w; // 3M: ItemY "0"
    w.SSCmd_ItemYM_Click();
    QCOMPARE(Module1::ItemY, QStringLiteral("-1"));
    for (int i = 0; i < 20; ++i)
        w.SSCmd_ItemYM_Click();
    QCOMPARE(Module1::ItemY, QStringLiteral("-16"));
    QCOMPARE(w.SSP_ItemY->Caption(), QStringLiteral("-16"));
    w.SSOpt_1M_Click(1); // ItemY "10"
    w.SSCmd_ItemYM_Click();
    QCOMPARE(Module1::ItemY, QStringLiteral("9"));
}

void TestNudgeEntry::captionIsTheStore()
{
    Frm_Main w;
    w.SSP_ItemX->setCaption(QStringLiteral("7"));
    w.SSCmd_ItemXP_Click();
    QCOMPARE(w.SSP_ItemX->Caption(), QStringLiteral("8"));
    QCOMPARE(Module1::ItemX, qint16(101));
    w.SSCmd_ItemXP_Click();
    QCOMPARE(w.SSP_ItemX->Caption(), QStringLiteral("8"));
    QCOMPARE(Module1::ItemX, qint16(101));
}

void TestNudgeEntry::clickChangesOnlyTheCaption()
{
    Frm_Main w;
    w.Txt_Item->setText(QStringLiteral("AB"));
    const QRect outline = w.Shp_Lbl->geometry();
    const QRect preview = w.Lbl_Itm->geometry();
    w.SSCmd_ItemXP_Click();
    w.SSCmd_ItemYM_Click();
    QCOMPARE(w.Shp_Lbl->geometry(), outline);
    QCOMPARE(w.Lbl_Itm->geometry(), preview);
    QCOMPARE(w.Lbl_Itm->text(), QStringLiteral("AB"));
}

void TestNudgeEntry::dataAndChecksumRowsDisabledUnderOneMAndTwoM_data()
{
    QTest::addColumn<QString>("size");
    QTest::newRow("1M") << "SSOpt_1M";
    QTest::newRow("2M") << "SSOpt_2M";
}

void TestNudgeEntry::dataAndChecksumRowsDisabledUnderOneMAndTwoM()
{
    QFETCH(QString, size);
    Frm_Main w;
    QTest::mouseClick(w.findChild<SSOption*>(size), Qt::LeftButton);
    const LabelPositions before = Module1::currentPositions();
    for (SSCommand* button : {w.SSCmd_DataXM, w.SSCmd_DataXP, w.SSCmd_DataYM, w.SSCmd_DataYP, w.SSCmd_ChksumXM,
                              w.SSCmd_ChksumXP, w.SSCmd_ChksumYM, w.SSCmd_ChksumYP}) {
        QVERIFY(!button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QVERIFY(Module1::currentPositions() == before);
    QCOMPARE(w.SSP_DataX->Caption(), QStringLiteral("0"));
    // Item and Version still move.
    QTest::mouseClick(w.SSCmd_VerXP, Qt::LeftButton);
    QCOMPARE(w.SSP_VerX->Caption(), QStringLiteral("1"));
}

void TestNudgeEntry::stepThatWouldOverflowChangesNothing()
{
    Frm_Main w;
    Module1::VerY = 32767;
    w.SSCmd_VerYP_Click();
    QCOMPARE(Module1::VerY, qint16(32767));
    QCOMPARE(w.SSP_VerY->Caption(), QStringLiteral("0"));
    w.SSCmd_VerYM_Click();
    QCOMPARE(Module1::VerY, qint16(32766));
    QCOMPARE(w.SSP_VerY->Caption(), QStringLiteral("-1"));
}

void TestNudgeEntry::typedTextMovesFocus_data()
{
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedFocus");

    QTest::newRow("3M item six") << "SSOpt_3M"
                                 << "Txt_Item"
                                 << "AB1234"
                                 << "Txt_Version";
    QTest::newRow("3M item five") << "SSOpt_3M"
                                  << "Txt_Item"
                                  << "AB123"
                                  << "Txt_Item";
    QTest::newRow("3M version six") << "SSOpt_3M"
                                    << "Txt_Version"
                                    << "V12345"
                                    << "Txt_Data";
    QTest::newRow("6M data six") << "SSOpt_9M"
                                 << "Txt_Data"
                                 << "062345"
                                 << "Txt_Chksum";
    QTest::newRow("9M checksum six") << "SSOpt_6M"
                                     << "Txt_Chksum"
                                     << "ABCDEF"
                                     << "Txt_Qty";
    QTest::newRow("1M item three") << "SSOpt_1M"
                                   << "Txt_Item"
                                   << "AB1"
                                   << "Txt_Version";
    QTest::newRow("1M version three") << "SSOpt_1M"
                                      << "Txt_Version"
                                      << "V12"
                                      << "Txt_Qty";
    QTest::newRow("2M item three stays") << "SSOpt_2M"
                                         << "Txt_Item"
                                         << "AB1"
                                         << "Txt_Item";
    QTest::newRow("2M version six") << "SSOpt_2M"
                                    << "Txt_Version"
                                    << "V12345"
                                    << "Txt_Qty";
}

void TestNudgeEntry::typedTextMovesFocus()
{
    QFETCH(QString, size);
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QString, expectedFocus);

    Frm_Main w;
    showAndActivate(w);
    QTest::mouseClick(w.findChild<SSOption*>(size), Qt::LeftButton);
    auto* target = w.findChild<TextBox*>(box);
    target->setFocus();
    QTest::keyClicks(target, text);
    QCOMPARE(target->text(), text);
    QCOMPARE(QApplication::focusWidget()->objectName(), expectedFocus);
}

void TestNudgeEntry::oneMJumpsAtThreeAndOnDeleteBackToThree()
{
    Frm_Main w;
    showAndActivate(w);
    w.SSOpt_1M_Click(1);
    w.Txt_Item->setFocus();
    QTest::keyClicks(w.Txt_Item, QStringLiteral("AB1"));
    QCOMPARE(QApplication::focusWidget(), w.Txt_Version);
    QTest::keyClicks(w.Txt_Version, QStringLiteral("V12"));
    QCOMPARE(QApplication::focusWidget(), w.Txt_Qty);

    w.Txt_Item->setFocus();
    w.Txt_Item->end(false);
    QTest::keyClick(w.Txt_Item, Qt::Key_4);
    QCOMPARE(w.Txt_Item->text(), QStringLiteral("AB14"));
    QCOMPARE(QApplication::focusWidget(), w.Txt_Item);
    QTest::keyClick(w.Txt_Item, Qt::Key_Backspace);
    QCOMPARE(QApplication::focusWidget(), w.Txt_Version);
    // The box still takes six characters under 1M; only the jump is at three.
    w.Txt_Item->setFocus();
    QTest::keyClicks(w.Txt_Item, QStringLiteral("XYZW"));
    QCOMPARE(w.Txt_Item->text().size(), 6);
}

void TestNudgeEntry::pasteFillsDataAndJumps()
{
    Frm_Main w;
    showAndActivate(w);
    QGuiApplication::clipboard()->setText(QStringLiteral("062345"));
    w.Txt_Data->setFocus();
    w.Txt_Data->paste();
    QCOMPARE(w.Txt_Data->text(), QStringLiteral("062345"));
    QCOMPARE(w.Lbl_Dte->text(), QStringLiteral("062345"));
    QCOMPARE(QApplication::focusWidget(), w.Txt_Chksum);
}

void TestNudgeEntry::oneMPresetCutsAndWalksFocusToQuantity()
{
    Frm_Main w;
    showAndActivate(w);
    w.Txt_Item->setText(QStringLiteral("AB12"));
    w.Txt_Version->setText(QStringLiteral("V12345"));
    w.Txt_Item->setFocus();
    QTest::mouseClick(w.SSOpt_1M, Qt::LeftButton);
    QCOMPARE(w.Txt_Item->text(), QStringLiteral("AB1"));
    QCOMPARE(w.Txt_Version->text(), QStringLiteral("V12"));
    QCOMPARE(QApplication::focusWidget(), w.Txt_Qty);
}

void TestNudgeEntry::enterWalksTheChain_data()
{
    QTest::addColumn<QString>("size");
    QTest::addColumn<QStringList>("chain");
    const QStringList full = {"Txt_Item", "Txt_Version", "Txt_Data", "Txt_Chksum", "Txt_Qty"};
    const QStringList short_ = {"Txt_Item", "Txt_Version", "Txt_Qty"};
    QTest::newRow("1M") << "SSOpt_1M" << short_;
    QTest::newRow("2M") << "SSOpt_2M" << short_;
    QTest::newRow("3M") << "SSOpt_3M" << full;
    QTest::newRow("6M") << "SSOpt_9M" << full;
    QTest::newRow("9M") << "SSOpt_6M" << full;
}

void TestNudgeEntry::enterWalksTheChain()
{
    QFETCH(QString, size);
    QFETCH(QStringList, chain);
    Frm_Main w;
    showAndActivate(w);
    QTest::mouseClick(w.findChild<SSOption*>(size), Qt::LeftButton);
    w.Txt_Version->setText(QStringLiteral("V1")); // Enter moves on whatever the length
    w.Txt_Item->setFocus();
    for (qsizetype i = 0; i + 1 < chain.size(); ++i) {
        QCOMPARE(QApplication::focusWidget()->objectName(), chain.at(i));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }
    QCOMPARE(QApplication::focusWidget()->objectName(), chain.last());
    QCOMPARE(w.Txt_Item->text(), QString()); // Enter adds nothing to an empty box
}

void TestNudgeEntry::otherKeysReachTheBoxUnchanged()
{
    Frm_Main w;
    showAndActivate(w);
    QList<qint16> seen;
    connect(w.Txt_Item, &TextBox::KeyPress, this, [&](qint16 code) { seen << code; });
    w.Txt_Item->setFocus();
    QTest::keyClicks(w.Txt_Item, QStringLiteral("aZ9 "));
    QCOMPARE(w.Txt_Item->text(), QStringLiteral("aZ9 "));
    QCOMPARE(seen, (QList<qint16>{'a', 'Z', '9', ' '}));
    QCOMPARE(QApplication::focusWidget(), w.Txt_Item);
}

void TestNudgeEntry::previewKeepsBlanksAndCase()
{
    Frm_Main w;
    w.Txt_Version->setText(QStringLiteral(" ab "));
    QCOMPARE(w.Lbl_Ver->text(), QStringLiteral(" ab "));
    w.Txt_Chksum->setText(QStringLiteral("x"));
    QCOMPARE(w.Lbl_ChkSum->text(), QStringLiteral("x"));
    w.Txt_Chksum->setText(QString());
    QCOMPARE(w.Lbl_ChkSum->text(), QString());
}

void TestNudgeEntry::previewShowsMarkupAsTyped_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<QString>("typed");
    const std::pair<const char*, const char*> pairs[] = {
        {"Txt_Item", "Lbl_Itm"}, {"Txt_Version", "Lbl_Ver"}, {"Txt_Data", "Lbl_Dte"}, {"Txt_Chksum", "Lbl_ChkSum"}};
    for (const auto& [box, preview] : pairs) {
        QTest::addRow("%s italic tag", box) << box << preview << "<i>AB<";
        QTest::addRow("%s bold tag", box) << box << preview << "<b>AB";
        QTest::addRow("%s entity", box) << box << preview << "&lt;A";
    }
}

// Text that looks like markup is shown character for character, at the width of its own characters.
void TestNudgeEntry::previewShowsMarkupAsTyped()
{
    QFETCH(QString, box);
    QFETCH(QString, preview);
    QFETCH(QString, typed);
    Frm_Main w;
    w.findChild<TextBox*>(box)->setText(typed);
    const auto* label = w.findChild<QLabel*>(preview);
    QVERIFY(label);
    QCOMPARE(label->text(), typed);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    const int typedWidth = QFontMetrics(label->font()).horizontalAdvance(typed);
    QVERIFY2(label->sizeHint().width() >= typedWidth,
             qPrintable(QStringLiteral("%1 < %2").arg(label->sizeHint().width()).arg(typedWidth)));
}

QTEST_MAIN(TestNudgeEntry)
#include "tst_nudge_entry.moc"
