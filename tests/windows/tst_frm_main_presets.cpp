#include "printing/composed_job.h"
#include "printing/presets.h"
#include "windows/app_version.h"
#include "windows/frm_main.h"

#include <QMenuBar>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(LabelPositions)
Q_DECLARE_METATYPE(LabelSize)

namespace QTest {
template <> char* toString(const LabelPositions& p)
{
    return qstrdup(QStringLiteral("{%1, \"%2\", %3, %4, %5, %6, %7, %8, len %9}")
                       .arg(p.ItemX)
                       .arg(p.ItemY)
                       .arg(p.VerX)
                       .arg(p.VerY)
                       .arg(p.DataX)
                       .arg(p.DataY)
                       .arg(p.ChksumX)
                       .arg(p.ChksumY)
                       .arg(p.LabelLength)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

namespace {

QList<QWidget*> dataAndChecksumControls(const Frm_Main& w)
{
    return {w.SSP_DataX,      w.SSP_DataY,      w.SSP_ChksumX,  w.SSP_ChksumY,  w.SSCmd_ChksumXM, w.SSCmd_ChksumXP,
            w.SSCmd_ChksumYM, w.SSCmd_ChksumYP, w.SSCmd_DataXM, w.SSCmd_DataXP, w.SSCmd_DataYM,   w.SSCmd_DataYP};
}

QStringList panelCaptions(const Frm_Main& w)
{
    QStringList captions;
    for (const SSPanel* panel : w.offsetPanels())
        captions << panel->Caption();
    return captions;
}

const QStringList kAllZero(8, QStringLiteral("0"));

} // namespace

class TestFrmMainPresets : public QObject
{
    Q_OBJECT

private slots:
    void startUpState();
    void titleComesFromTheBuildVersion();
    void everyControlIsInItsPlace_data();
    void everyControlIsInItsPlace();
    void presetColumns_data();
    void presetColumns();
    void oneMCutsItemAndVersion_data();
    void oneMCutsItemAndVersion();
    void twoMEmptiesAndDisablesDataAndChecksum();
    void backToStoredFormSizes_data();
    void backToStoredFormSizes();
    void textsKeptBetweenStoredFormSizes();
    void presetDiscardsNudges();
    void clickOnTheSizeAlreadyOnAppliesItAgain();
    void optionSetFromCodeStartsNoPreset();
    void dataPositionsKeptUnderOneMAndTwoM();
    void startingTwiceGivesTheSameState();
    void resetPositionPanelsLeavesPositions();
    void headingsNameTheFieldAsCausesDo_data();
    void headingsNameTheFieldAsCausesDo();
};

void TestFrmMainPresets::startUpState()
{
    Frm_Main w;
    QCOMPARE(w.selectedSize(), LabelSize::M3);
    QVERIFY(w.SSOpt_3M->Value());
    for (SSOption* other : {w.SSOpt_1M, w.SSOpt_2M, w.SSOpt_6M, w.SSOpt_9M})
        QVERIFY2(!other->Value(), qPrintable(other->objectName()));
    QVERIFY(w.Mnu_Com1->isChecked());
    QVERIFY(!w.Mnu_Lpt->isChecked());
    QVERIFY(w.SSOpt_Com1->Value());
    QVERIFY(!w.SSOpt_Lpt->Value());
    QCOMPARE(w.PortName, QStringLiteral("COM1"));
    QVERIFY(!w.SSCmd_Qty->isEnabled());
    QCOMPARE(w.Txt_Gap->text(), QStringLiteral("12"));
    QCOMPARE(w.Txt_DarkNess->text(), QStringLiteral("8"));
    QCOMPARE(w.Txt_Qty->text(), QStringLiteral("1"));
    QCOMPARE(w.Chk_Print5->Value(), 0);
    for (TextBox* box : {w.Txt_Item, w.Txt_Version, w.Txt_Data, w.Txt_Chksum}) {
        QVERIFY(box->text().isEmpty());
        QCOMPARE(box->maxLength(), 6);
    }
    QVERIFY(w.Txt_Data->isEnabled());
    QVERIFY(w.Txt_Chksum->isEnabled());
    for (QWidget* control : dataAndChecksumControls(w))
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    QCOMPARE(panelCaptions(w), kAllZero);
    const LabelPositions expected{100, QStringLiteral("0"), 85, 0, 70, 0, 55, 0, 86};
    QCOMPARE(Module1::currentPositions(), expected);
    QCOMPARE(w.Shp_Lbl->geometry(), QRect(64, 83, 113, 91));
}

void TestFrmMainPresets::titleComesFromTheBuildVersion()
{
    Frm_Main w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Quorlex Co., Ltd.  Ver1.0.9"));
    // Each number in plain decimal: a two-digit minor stands between the points as it is.
    QCOMPARE(versionText(1, 10, 9), QStringLiteral("Ver1.10.9"));
    // No application display name: Qt would append it to every title bar.
    QVERIFY(QGuiApplication::applicationDisplayName() == QCoreApplication::applicationName());
}

void TestFrmMainPresets::everyControlIsInItsPlace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");

    struct Row
    {
        const char* name;
        const char* parent;
        QRect place;
        const char* caption;
        bool enabled;
    };
    const Row rows[] = {
        {"SSFra_Label", "", {16, 2, 605, 269}, "", true},
        {"SSPanel1", "", {634, 12, 241, 257}, "", true},
        {"SSFra_Position", "", {16, 286, 323, 203}, "", true},
        {"SSFra_Print", "", {348, 286, 239, 203}, "", true},
        {"SSFrame1", "", {600, 288, 275, 201}, "", true},
        {"SSCmd_Item", "SSFra_Label", {16, 32, 123, 49}, "Item", false},
        {"Txt_Item", "SSFra_Label", {146, 32, 183, 49}, "", true},
        {"SSCmd_Version", "SSFra_Label", {16, 88, 123, 49}, "Version", false},
        {"Txt_Version", "SSFra_Label", {146, 88, 183, 49}, "", true},
        {"SSCmd_Data", "SSFra_Label", {16, 144, 123, 49}, "Date", false},
        {"Txt_Data", "SSFra_Label", {144, 144, 183, 49}, "", true},
        {"SSCmd_Checksum", "SSFra_Label", {16, 200, 123, 49}, "Checksum", false},
        {"Txt_Chksum", "SSFra_Label", {144, 200, 183, 49}, "", true},
        {"SSFra_Size", "SSFra_Label", {336, 24, 259, 225}, "", true},
        {"SSOpt_1M", "SSFra_Size", {24, 28, 193, 25}, " 1M :  5 * 7 M/M", true},
        {"SSOpt_2M", "SSFra_Size", {24, 66, 193, 25}, " 2M :  5 * 15 M/M", true},
        {"SSOpt_3M", "SSFra_Size", {24, 104, 193, 25}, " 3M :  8 * 10 M/M", true},
        {"SSOpt_9M", "SSFra_Size", {24, 140, 193, 25}, " 6M : 12 * 12 M/M ", true},
        {"SSOpt_6M", "SSFra_Size", {24, 178, 193, 25}, " 9M : 10 * 18 M/M", true},
        {"Chk_Print5", "SSFra_Size", {222, 72, 15, 17}, "Check1", true},
        {"SSCommand2", "SSPanel1", {72, 24, 97, 33}, "", false},
        {"Lbl_Itm", "SSPanel1", {80, 90, 81, 17}, "", true},
        {"Lbl_Ver", "SSPanel1", {80, 110, 81, 17}, "", true},
        {"Lbl_Dte", "SSPanel1", {80, 130, 81, 17}, "", true},
        {"Lbl_ChkSum", "SSPanel1", {80, 150, 81, 17}, "", true},
        {"Label1", "SSPanel1", {50, 212, 66, 27}, "GAP", true},
        {"Txt_Gap", "SSPanel1", {126, 210, 69, 32}, "12", true},
        {"SSCmd_X", "SSFra_Position", {136, 32, 89, 25}, "X", false},
        {"SSCmd_Y", "SSFra_Position", {224, 32, 89, 25}, "Y", false},
        {"SSCmd_Pos_Item", "SSFra_Position", {24, 56, 113, 33}, "Item", false},
        {"SSCmd_Pos_Version", "SSFra_Position", {24, 88, 113, 33}, "Version", false},
        {"SSCmd_Pos_Data", "SSFra_Position", {24, 120, 113, 33}, "Date", false},
        {"SSCmd_Pos_Checksum", "SSFra_Position", {24, 152, 113, 33}, "Checksum", false},
        {"SSCmd_ItemXM", "SSFra_Position", {136, 56, 17, 33}, "-", true},
        {"SSP_ItemX", "SSFra_Position", {152, 57, 57, 32}, "0", true},
        {"SSCmd_ItemXP", "SSFra_Position", {208, 56, 17, 33}, "+", true},
        {"SSCmd_ItemYM", "SSFra_Position", {224, 56, 17, 33}, "-", true},
        {"SSP_ItemY", "SSFra_Position", {240, 57, 57, 32}, "0", true},
        {"SSCmd_ItemYP", "SSFra_Position", {296, 56, 17, 33}, "+", true},
        {"SSCmd_VerXM", "SSFra_Position", {136, 88, 17, 33}, "-", true},
        {"SSP_VerY", "SSFra_Position", {240, 89, 57, 32}, "0", true},
        {"SSCmd_DataYP", "SSFra_Position", {296, 120, 17, 33}, "+", true},
        {"SSP_DataX", "SSFra_Position", {152, 121, 57, 32}, "0", true},
        {"SSCmd_ChksumXM", "SSFra_Position", {136, 152, 17, 33}, "-", true},
        {"SSP_ChksumY", "SSFra_Position", {240, 153, 57, 32}, "0", true},
        {"SSCmd_ChksumYP", "SSFra_Position", {296, 152, 17, 33}, "+", true},
        {"SSFra_Port", "SSFra_Print", {24, 32, 193, 49}, "", true},
        {"SSOpt_Com1", "SSFra_Port", {24, 24, 65, 17}, "Com1", true},
        {"SSOpt_Lpt", "SSFra_Port", {120, 24, 49, 17}, "LPT", true},
        {"SSCmd_Qty", "SSFra_Print", {24, 96, 97, 33}, "", false},
        {"Txt_Qty", "SSFra_Print", {128, 96, 65, 31}, "1", true},
        {"Lbl_Ea", "SSFra_Print", {200, 104, 25, 25}, "EA", true},
        {"SSCmd_Print", "SSFra_Print", {22, 142, 193, 41}, "", true},
        {"Label2", "SSFrame1", {24, 22, 112, 27}, "인쇄농도", true},
        {"Txt_DarkNess", "SSFrame1", {146, 18, 71, 32}, "8", true},
        {"SSCommand1", "SSFrame1", {14, 56, 247, 79}, "", true},
        {"SSCmd_End", "SSFrame1", {51, 144, 189, 41}, "", true},
    };
    for (const Row& row : rows) {
        QTest::addRow("%s", row.name) << QString::fromLatin1(row.name) << QString::fromLatin1(row.parent) << row.place
                                      << QString::fromUtf8(row.caption) << row.enabled;
    }
}

void TestFrmMainPresets::everyControlIsInItsPlace()
{
    QFETCH(QString, name);
    QFETCH(QString, parentName);
    QFETCH(QRect, place);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);

    Frm_Main w;
    auto* control = w.findChild<QWidget*>(name);
    QVERIFY(control);
    if (parentName.isEmpty())
        QCOMPARE(control->parentWidget(), w.centralWidget());
    else
        QCOMPARE(control->parentWidget()->objectName(), parentName);
    QCOMPARE(control->geometry(), place);
    QCOMPARE(control->isEnabled(), enabled);
    if (!caption.isEmpty()) {
        QString text;
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            text = button->text();
        else if (auto* label = qobject_cast<QLabel*>(control))
            text = label->text();
        else if (auto* box = qobject_cast<QLineEdit*>(control))
            text = box->text();
        QCOMPARE(text, caption);
    }
}

void TestFrmMainPresets::presetColumns_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<LabelSize>("size");
    QTest::addColumn<bool>("dataUsed");
    QTest::addColumn<QRect>("outline");
    QTest::addColumn<QList<float>>("outlineTwips");
    QTest::addColumn<QString>("gap");
    QTest::addColumn<LabelPositions>("positions");

    // Data and Checksum positions under 1M and 2M are those left by the start-up 3M preset.
    QTest::newRow("1M") << "SSOpt_1M" << LabelSize::M1 << false << QRect(73, 83, 93, 71)
                        << QList<float>{1401, 1061, 1100, 1247} << "20.8"
                        << LabelPositions{32, QStringLiteral("10"), 17, 10, 70, 0, 55, 0, 41};
    QTest::newRow("2M") << "SSOpt_2M" << LabelSize::M2 << false << QRect(64, 83, 113, 71)
                        << QList<float>{1701, 1061, 957, 1247} << "8"
                        << LabelPositions{30, QStringLiteral("16"), 15, 16, 70, 0, 55, 0, 86};
    QTest::newRow("3M") << "SSOpt_3M" << LabelSize::M3 << true << QRect(64, 83, 113, 91)
                        << QList<float>{1701, 1361, 957, 1247} << "12"
                        << LabelPositions{100, QStringLiteral("0"), 85, 0, 70, 0, 55, 0, 86};
    QTest::newRow("6M on SSOpt_9M") << "SSOpt_9M" << LabelSize::M6 << true << QRect(52, 60, 136, 136)
                                    << QList<float>{2041, 2041, 787, 907} << "18"
                                    << LabelPositions{113, QStringLiteral("0"), 93, 0, 73, 0, 53, 0, 100};
    QTest::newRow("9M on SSOpt_6M") << "SSOpt_6M" << LabelSize::M9 << true << QRect(18, 72, 204, 113)
                                    << QList<float>{3062, 1701, 276, 1077} << "18"
                                    << LabelPositions{110, QStringLiteral("20"), 95, 20, 80, 20, 65, 20, 144};
}

void TestFrmMainPresets::presetColumns()
{
    QFETCH(QString, button);
    QFETCH(LabelSize, size);
    QFETCH(bool, dataUsed);
    QFETCH(QRect, outline);
    QFETCH(QList<float>, outlineTwips);
    QFETCH(QString, gap);
    QFETCH(LabelPositions, positions);

    Frm_Main w;
    w.Txt_DarkNess->setText(QStringLiteral("11"));
    w.Txt_Qty->setText(QStringLiteral("3"));
    w.Chk_Print5->setChecked(true);
    w.Mnu_Lpt->trigger(); // whatever it does to the port, a preset must not touch it
    const QString portBefore = w.PortName;

    auto* option = w.findChild<SSOption*>(button);
    QVERIFY(option);
    QTest::mouseClick(option, Qt::LeftButton);

    QCOMPARE(w.selectedSize(), size);
    for (SSOption* each : {w.SSOpt_1M, w.SSOpt_2M, w.SSOpt_3M, w.SSOpt_6M, w.SSOpt_9M})
        QCOMPARE(each->Value(), each == option);
    QCOMPARE(w.Txt_Data->isEnabled(), dataUsed);
    QCOMPARE(w.Txt_Chksum->isEnabled(), dataUsed);
    for (QWidget* control : dataAndChecksumControls(w))
        QCOMPARE(control->isEnabled(), dataUsed);
    for (QWidget* control : {static_cast<QWidget*>(w.SSP_ItemX), static_cast<QWidget*>(w.SSCmd_VerYP)})
        QVERIFY(control->isEnabled());
    QCOMPARE(w.Shp_Lbl->geometry(), outline);
    QCOMPARE((QList<float>{w.Shp_Lbl->Width(), w.Shp_Lbl->Height(), w.Shp_Lbl->Left(), w.Shp_Lbl->Top()}),
             outlineTwips);
    QCOMPARE(w.Txt_Gap->text(), gap);
    QCOMPARE(Module1::currentPositions(), positions);
    QCOMPARE(panelCaptions(w), kAllZero);
    // Left as they were.
    QCOMPARE(w.Txt_DarkNess->text(), QStringLiteral("11"));
    QCOMPARE(w.Txt_Qty->text(), QStringLiteral("3"));
    QCOMPARE(w.Chk_Print5->Value(), 1);
    QCOMPARE(w.PortName, portBefore);
}

void TestFrmMainPresets::oneMCutsItemAndVersion_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("cutItem");
    QTest::addColumn<QString>("cutVersion");
    QTest::newRow("six and four") << "AB1234"
                                  << "V123"
                                  << "AB1"
                                  << "V12";
    QTest::newRow("two stays") << "AB"
                               << "V1"
                               << "AB"
                               << "V1";
    QTest::newRow("empty") << ""
                           << ""
                           << ""
                           << "";
    QTest::newRow("blanks kept") << " A B"
                                 << "  1 "
                                 << " A "
                                 << "  1";
}

void TestFrmMainPresets::oneMCutsItemAndVersion()
{
    QFETCH(QString, item);
    QFETCH(QString, version);
    QFETCH(QString, cutItem);
    QFETCH(QString, cutVersion);

    Frm_Main w;
    w.Txt_Item->setText(item);
    w.Txt_Version->setText(version);
    w.Txt_Data->setText(QStringLiteral("0623"));
    w.Txt_Chksum->setText(QStringLiteral("57"));
    w.SSOpt_1M_Click(1);
    QCOMPARE(w.Txt_Item->text(), cutItem);
    QCOMPARE(w.Txt_Version->text(), cutVersion);
    QCOMPARE(w.Lbl_Itm->text(), cutItem);
    QCOMPARE(w.Lbl_Ver->text(), cutVersion);
    QVERIFY(w.Txt_Data->text().isEmpty());
    QVERIFY(w.Txt_Chksum->text().isEmpty());
    QVERIFY(w.Lbl_Dte->text().isEmpty());
    QVERIFY(w.Lbl_ChkSum->text().isEmpty());
    QVERIFY(!w.Txt_Data->isEnabled());
    QVERIFY(!w.Txt_Chksum->isEnabled());
}

void TestFrmMainPresets::twoMEmptiesAndDisablesDataAndChecksum()
{
    Frm_Main w;
    w.Txt_Item->setText(QStringLiteral("AB1234"));
    w.Txt_Version->setText(QStringLiteral("V1"));
    w.Txt_Data->setText(QStringLiteral("0623"));
    w.Txt_Chksum->setText(QStringLiteral("57"));
    w.SSOpt_2M_Click(1);
    QCOMPARE(w.Txt_Item->text(), QStringLiteral("AB1234"));
    QCOMPARE(w.Txt_Version->text(), QStringLiteral("V1"));
    QVERIFY(w.Txt_Data->text().isEmpty());
    QVERIFY(w.Txt_Chksum->text().isEmpty());
    QVERIFY(w.Lbl_Dte->text().isEmpty());
    QVERIFY(!w.Txt_Data->isEnabled());
    QVERIFY(!w.Txt_Chksum->isEnabled());
}

void TestFrmMainPresets::backToStoredFormSizes_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    for (const char* from : {"SSOpt_1M", "SSOpt_2M"}) {
        for (const char* to : {"SSOpt_3M", "SSOpt_9M", "SSOpt_6M"})
            QTest::addRow("%s to %s", from, to) << QString::fromLatin1(from) << QString::fromLatin1(to);
    }
}

void TestFrmMainPresets::backToStoredFormSizes()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    Frm_Main w;
    w.Txt_Data->setText(QStringLiteral("0623"));
    QTest::mouseClick(w.findChild<SSOption*>(from), Qt::LeftButton);
    QTest::mouseClick(w.findChild<SSOption*>(to), Qt::LeftButton);
    QVERIFY(w.Txt_Data->isEnabled());
    QVERIFY(w.Txt_Chksum->isEnabled());
    QVERIFY(w.Txt_Data->text().isEmpty());
    QVERIFY(w.Txt_Chksum->text().isEmpty());
    for (QWidget* control : dataAndChecksumControls(w))
        QVERIFY(control->isEnabled());
}

void TestFrmMainPresets::textsKeptBetweenStoredFormSizes()
{
    Frm_Main w;
    w.Txt_Item->setText(QStringLiteral("AB1234"));
    w.Txt_Data->setText(QStringLiteral("0623"));
    w.Txt_Chksum->setText(QStringLiteral("57"));
    w.SSOpt_9M_Click(1);
    w.SSOpt_6M_Click(1);
    QCOMPARE(w.Txt_Item->text(), QStringLiteral("AB1234"));
    QCOMPARE(w.Txt_Data->text(), QStringLiteral("0623"));
    QCOMPARE(w.Txt_Chksum->text(), QStringLiteral("57"));
}

void TestFrmMainPresets::presetDiscardsNudges()
{
    Frm_Main w;
    w.SSCmd_ItemXP_Click();
    w.SSCmd_ItemXP_Click();
    w.SSCmd_DataYM_Click();
    QCOMPARE(Module1::ItemX, qint16(102));
    QCOMPARE(w.SSP_ItemX->Caption(), QStringLiteral("2"));
    w.SSOpt_9M_Click(1);
    QCOMPARE(panelCaptions(w), kAllZero);
    QCOMPARE(Module1::ItemX, qint16(113));
    QCOMPARE(Module1::DataY, qint16(0));
}

void TestFrmMainPresets::clickOnTheSizeAlreadyOnAppliesItAgain()
{
    Frm_Main w;
    // A position and its panel set by hand, as nudges would leave them.
    w.SSP_VerX->setCaption(QStringLiteral("5"));
    Module1::VerX = 90;
    Module1::ItemY = QStringLiteral("7");
    QTest::mouseClick(w.SSOpt_3M, Qt::LeftButton);
    QVERIFY(w.SSOpt_3M->Value());
    QCOMPARE(w.SSP_VerX->Caption(), QStringLiteral("0"));
    QCOMPARE(Module1::VerX, qint16(85));
    QCOMPARE(Module1::ItemY, QStringLiteral("0"));
}

void TestFrmMainPresets::optionSetFromCodeStartsNoPreset()
{
    Frm_Main w;
    w.SSP_ItemX->setCaption(QStringLiteral("3"));
    Module1::ItemX = 103;
    w.SSOpt_1M->setValue(true);
    w.SSOpt_6M->setChecked(true);
    QCOMPARE(w.Txt_Gap->text(), QStringLiteral("12"));
    QCOMPARE(Module1::ItemX, qint16(103));
    QCOMPARE(w.SSP_ItemX->Caption(), QStringLiteral("3"));
    QVERIFY(w.Txt_Data->isEnabled());
}

void TestFrmMainPresets::dataPositionsKeptUnderOneMAndTwoM()
{
    Frm_Main w;
    w.SSCmd_DataXP_Click();
    QCOMPARE(Module1::DataX, qint16(71));
    w.SSOpt_1M_Click(1);
    QCOMPARE(Module1::DataX, qint16(71));
    QCOMPARE(w.SSP_DataX->Caption(), QStringLiteral("0"));
    w.SSOpt_2M_Click(1);
    QCOMPARE(Module1::DataX, qint16(71));
    w.SSOpt_3M_Click(1);
    QCOMPARE(Module1::DataX, qint16(70));
}

void TestFrmMainPresets::startingTwiceGivesTheSameState()
{
    LabelSettings first;
    QString firstTitle;
    {
        Frm_Main w;
        first = w.labelSettings();
        firstTitle = w.windowTitle();
        w.SSOpt_6M_Click(1);
        w.SSCmd_ItemXP_Click();
        w.Txt_Item->setText(QStringLiteral("XYZ"));
    }
    Frm_Main again;
    const LabelSettings second = again.labelSettings();
    QCOMPARE(second.size, first.size);
    QCOMPARE(second.positions, first.positions);
    QCOMPARE(second.item, first.item);
    QCOMPARE(second.gap, first.gap);
    QCOMPARE(panelCaptions(again), kAllZero);
    QCOMPARE(again.windowTitle(), firstTitle);
    QCOMPARE(Frm_Main::instance(), &again);
}

void TestFrmMainPresets::resetPositionPanelsLeavesPositions()
{
    Frm_Main w;
    w.SSCmd_ItemYM_Click();
    w.SSCmd_ChksumXP_Click();
    const LabelPositions nudged = Module1::currentPositions();
    Module1::ResetPositionPanels();
    QCOMPARE(panelCaptions(w), kAllZero);
    QCOMPARE(Module1::currentPositions(), nudged);
    QCOMPARE(Module1::ItemY, QStringLiteral("-1"));
}

void TestFrmMainPresets::headingsNameTheFieldAsCausesDo_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("word"); // what the operator reads on the headings
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QString>("positionHeading");
    QTest::addRow("Item") << int(LabelField::Item) << "Item"
                          << "SSCmd_Item"
                          << "SSCmd_Pos_Item";
    QTest::addRow("Version") << int(LabelField::Version) << "Version"
                             << "SSCmd_Version"
                             << "SSCmd_Pos_Version";
    QTest::addRow("Data") << int(LabelField::Data) << "Date"
                          << "SSCmd_Data"
                          << "SSCmd_Pos_Data";
    QTest::addRow("Checksum") << int(LabelField::Checksum) << "Checksum"
                              << "SSCmd_Checksum"
                              << "SSCmd_Pos_Checksum";
}

// A composition failure starts with the word on the headings of the box at fault, as the window shows it.
void TestFrmMainPresets::headingsNameTheFieldAsCausesDo()
{
    QFETCH(int, field);
    QFETCH(QString, word);
    QFETCH(QString, heading);
    QFETCH(QString, positionHeading);
    Frm_Main w;
    JobFault fault;
    fault.field = LabelField(field);
    fault.problem = JobProblem::LineBreak;
    QVERIFY2(describeFault(fault).startsWith(word + QStringLiteral(": ")), qPrintable(describeFault(fault)));
    for (const QString& name : {heading, positionHeading}) {
        const auto* button = w.findChild<SSCommand*>(name);
        QVERIFY(button);
        QCOMPARE(button->text(), word);
    }
}

QTEST_MAIN(TestFrmMainPresets)
#include "tst_frm_main_presets.moc"
