// The construction of the main window's controls: their names, places, pictures and connections. The
// handlers are in frm_main.cpp.
#include "windows/frm_main.h"
#include "windows/label_outline.h"
#include "windows/pictures.h"

#include "output/port_devices.h"
#include "printing/entry_rules.h"
#include "printing/epl2_job.h"
#include "printing/presets.h"
#include "windows/app_version.h"
#include "windows/frm_help.h"
#include "windows/frm_label_picture.h"
#include "windows/port_message.h"
#include "windows/status_message.h"
#include "windows/web_opener.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>

#include <tuple>
namespace {

const QColor kCaptionRed(0xFF, 0x00, 0x00);
const QColor kSubCaptionPink(0xFF, 0x80, 0x80);
const QColor kLightBlue(0x80, 0x80, 0xFF);

void setTextColor(QWidget* widget, const QColor& color, QPalette::ColorRole role = QPalette::WindowText)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Active, role, color);
    pal.setColor(QPalette::Inactive, role, color);
    widget->setPalette(pal);
}

void setBackground(QWidget* widget, const QColor& color)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, color);
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
}

// Names a child control and places it at x, y, width, height (in pixels).
template <typename Control> Control* named(Control* control, const char* name, int x, int y, int w, int h)
{
    control->setObjectName(QString::fromLatin1(name));
    place(control, x, y, w, h);
    return control;
}

// A picture button that heads a row or a column: it shows, but takes neither clicks nor the focus.
SSCommand* heading(QWidget* parent, const char* name, const QString& word, int x, int y, int w, int h)
{
    auto* button = named(new SSCommand(parent, word), name, x, y, w, h);
    button->setTabStop(false);
    button->setEnabled(false);
    return button;
}

// The controls of one label field: its heading and box in LABEL, its preview line, its POSITION heading.
struct FieldControls
{
    LabelField field;
    const char* headingName;
    SSCommand* Frm_Main::*heading;
    int headingY;
    const char* headingPicture;
    const char* boxName;
    TextBox* Frm_Main::*box;
    int boxX;
    const char* previewName;
    QLabel* Frm_Main::*preview;
    int previewY;
    const char* positionName;
    SSCommand* Frm_Main::*position;
    int positionY;
    const char* positionPicture;
    void (Frm_Main::*change)();
    void (Frm_Main::*keyPress)(qint16);
};
// clang-format off
const FieldControls kFieldControls[] = {
    {LabelField::Item, "SSCmd_Item", &Frm_Main::SSCmd_Item, 32, ":/button-item.svg",
     "Txt_Item", &Frm_Main::Txt_Item, 146, "Lbl_Itm", &Frm_Main::Lbl_Itm, 90,
     "SSCmd_Pos_Item", &Frm_Main::SSCmd_Pos_Item, 56, ":/heading-item.svg",
     &Frm_Main::Txt_Item_Change, &Frm_Main::Txt_Item_KeyPress},
    {LabelField::Version, "SSCmd_Version", &Frm_Main::SSCmd_Version, 88, ":/button-version.svg",
     "Txt_Version", &Frm_Main::Txt_Version, 146, "Lbl_Ver", &Frm_Main::Lbl_Ver, 110,
     "SSCmd_Pos_Version", &Frm_Main::SSCmd_Pos_Version, 88, ":/heading-version.svg",
     &Frm_Main::Txt_Version_Change, &Frm_Main::Txt_Version_KeyPress},
    {LabelField::Data, "SSCmd_Data", &Frm_Main::SSCmd_Data, 144, ":/button-date.svg",
     "Txt_Data", &Frm_Main::Txt_Data, 144, "Lbl_Dte", &Frm_Main::Lbl_Dte, 130,
     "SSCmd_Pos_Data", &Frm_Main::SSCmd_Pos_Data, 120, ":/heading-date.svg",
     &Frm_Main::Txt_Data_Change, &Frm_Main::Txt_Data_KeyPress},
    {LabelField::Checksum, "SSCmd_Checksum", &Frm_Main::SSCmd_Checksum, 200, ":/button-checksum.svg",
     "Txt_Chksum", &Frm_Main::Txt_Chksum, 144, "Lbl_ChkSum", &Frm_Main::Lbl_ChkSum, 150,
     "SSCmd_Pos_Checksum", &Frm_Main::SSCmd_Pos_Checksum, 152, ":/heading-checksum.svg",
     &Frm_Main::Txt_Chksum_Change, &Frm_Main::Txt_Chksum_KeyPress},
};
// clang-format on

} // namespace

void Frm_Main::createControls()
{
    m_client = new QWidget(this);
    m_client->setFixedSize(884, 507);
    setCentralWidget(m_client);

    createLabelGroup();
    createPreviewPanel();
    createPositionGroup();
    createPrintingGroup();
    createDarknessGroup();
    setPictures();
    nameButtons();
    connectEntryRules();
    connectLabelPicture();
}

void Frm_Main::createLabelGroup()
{
    auto fieldBox = [&](QWidget* parent, const char* name, int x, int y) {
        auto* box = named(new TextBox(parent), name, x, y, 183, 49);
        box->setMaxLength(kFieldBoxMaxLength);
        box->setAlignment(Qt::AlignCenter);
        box->setFont(uiFont(27.75, true));
        return box;
    };

    // LABEL
    SSFra_Label = named(new SSFrame(m_client), "SSFra_Label", 16, 2, 605, 269);
    SSFra_Label->setCaption(QStringLiteral("LABEL"), kCaptionRed, 14.25);
    for (const FieldControls& row : kFieldControls) {
        SSCommand* button = heading(SSFra_Label, row.headingName, fieldHeading(row.field), 16, row.headingY, 123, 49);
        button->setFont(uiFont(12, true));
        setTextColor(button, kLightBlue, QPalette::ButtonText);
        this->*row.heading = button;
        this->*row.box = m_fieldBoxes[row.field] = fieldBox(SSFra_Label, row.boxName, row.boxX, row.headingY);
    }

    SSFra_Size = named(new SSFrame(SSFra_Label), "SSFra_Size", 336, 24, 259, 225);
    SSFra_Size->setCaption(QStringLiteral("SIZE"), kSubCaptionPink, 11.25);
    for (const SizeOption& row : kSizeOptions) {
        auto* option = named(new SSOption(SSFra_Size, QString::fromLatin1(presetFor(row.size).caption)), row.name, 24,
                             row.y, 193, 25);
        option->setFont(uiFont(14.25, true));
        this->*row.button = option;
        connect(option, &QAbstractButton::clicked, this, [this, click = row.click] { (this->*click)(1); });
    }
    Chk_Print5 = named(new CheckBox(SSFra_Size, QStringLiteral("Check1")), "Chk_Print5", 222, 72, 15, 17);
    MSC_Com1 = new MSComm(this); // port 1, 9600 baud, no parity, 8 data bits, 1 stop bit
    MSC_Com1->setObjectName(QStringLiteral("MSC_Com1"));
}

void Frm_Main::createPreviewPanel()
{
    SSPanel1 = named(new SSPanel(m_client), "SSPanel1", 634, 12, 241, 257);
    SSPanel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    setBackground(SSPanel1, QColor(0xDD, 0xDD, 0xDD));
    SSCommand2 = heading(SSPanel1, "SSCommand2", QString(), 72, 24, 97, 33);
    SSCommand2->setTabStop(true);
    Shp_Lbl = named(new Shape(SSPanel1), "Shp_Lbl", 16, 72, 204, 113);
    auto previewLabel = [&](const char* name, int y) {
        auto* label = named(new QLabel(SSPanel1), name, 80, y, 81, 17);
        label->setTextFormat(Qt::PlainText); // the field as typed, character for character, never markup
        label->setAlignment(Qt::AlignCenter);
        label->setFont(uiFont(11.25, true));
        return label;
    };
    for (const FieldControls& row : kFieldControls)
        this->*row.preview = m_previews[row.field] = previewLabel(row.previewName, row.previewY);
    Label1 = named(new QLabel(QStringLiteral("GAP"), SSPanel1), "Label1", 50, 212, 66, 27);
    Label1->setFont(uiFont(20.25, true));
    Txt_Gap = named(new TextBox(SSPanel1, QStringLiteral("0")), "Txt_Gap", 126, 210, 69, 32);
    Txt_Gap->setAlignment(Qt::AlignCenter);
    Txt_Gap->setFont(uiFont(18, true));
}

void Frm_Main::createPositionGroup()
{
    SSFra_Position = named(new SSFrame(m_client), "SSFra_Position", 16, 286, 323, 203);
    SSFra_Position->setCaption(QStringLiteral("POSITION"), kCaptionRed, 14.25);
    SSCmd_X = heading(SSFra_Position, "SSCmd_X", QStringLiteral("X"), 136, 32, 89, 25);
    SSCmd_Y = heading(SSFra_Position, "SSCmd_Y", QStringLiteral("Y"), 224, 32, 89, 25);
    for (const FieldControls& row : kFieldControls) {
        this->*row.position =
            heading(SSFra_Position, row.positionName, fieldHeading(row.field), 24, row.positionY, 113, 33);
    }

    struct NudgeRow
    {
        LabelField field;
        int y;
        const char* names[6]; // X minus, X panel, X plus, Y minus, Y panel, Y plus
        SSCommand** xMinus;
        SSPanel** xPanel;
        SSCommand** xPlus;
        SSCommand** yMinus;
        SSPanel** yPanel;
        SSCommand** yPlus;
    };
    const NudgeRow rows[] = {
        {LabelField::Item,
         56,
         {"SSCmd_ItemXM", "SSP_ItemX", "SSCmd_ItemXP", "SSCmd_ItemYM", "SSP_ItemY", "SSCmd_ItemYP"},
         &SSCmd_ItemXM,
         &SSP_ItemX,
         &SSCmd_ItemXP,
         &SSCmd_ItemYM,
         &SSP_ItemY,
         &SSCmd_ItemYP},
        {LabelField::Version,
         88,
         {"SSCmd_VerXM", "SSP_VerX", "SSCmd_VerXP", "SSCmd_VerYM", "SSP_VerY", "SSCmd_VerYP"},
         &SSCmd_VerXM,
         &SSP_VerX,
         &SSCmd_VerXP,
         &SSCmd_VerYM,
         &SSP_VerY,
         &SSCmd_VerYP},
        {LabelField::Data,
         120,
         {"SSCmd_DataXM", "SSP_DataX", "SSCmd_DataXP", "SSCmd_DataYM", "SSP_DataY", "SSCmd_DataYP"},
         &SSCmd_DataXM,
         &SSP_DataX,
         &SSCmd_DataXP,
         &SSCmd_DataYM,
         &SSP_DataY,
         &SSCmd_DataYP},
        {LabelField::Checksum,
         152,
         {"SSCmd_ChksumXM", "SSP_ChksumX", "SSCmd_ChksumXP", "SSCmd_ChksumYM", "SSP_ChksumY", "SSCmd_ChksumYP"},
         &SSCmd_ChksumXM,
         &SSP_ChksumX,
         &SSCmd_ChksumXP,
         &SSCmd_ChksumYM,
         &SSP_ChksumY,
         &SSCmd_ChksumYP},
    };
    auto nudgeButton = [&](const char* name, const QString& caption, int x, int y) {
        auto* button = named(new SSCommand(SSFra_Position, caption), name, x, y, 17, 33);
        button->setTabStop(false);
        button->setFont(uiFont(12, false));
        setTextColor(button, kCaptionRed, QPalette::ButtonText);
        return button;
    };
    auto offsetPanel = [&](const char* name, int x, int y) {
        auto* panel = named(new SSPanel(SSFra_Position, QStringLiteral("0")), name, x, y + 1, 57, 32);
        panel->setFont(uiFont(12, true));
        setBackground(panel, QColor(0xE0, 0xE0, 0xE0));
        setTextColor(panel, kLightBlue);
        return panel;
    };
    for (const NudgeRow& row : rows) {
        *row.xMinus = nudgeButton(row.names[0], QStringLiteral("-"), 136, row.y);
        *row.xPanel = offsetPanel(row.names[1], 152, row.y);
        *row.xPlus = nudgeButton(row.names[2], QStringLiteral("+"), 208, row.y);
        *row.yMinus = nudgeButton(row.names[3], QStringLiteral("-"), 224, row.y);
        *row.yPanel = offsetPanel(row.names[4], 240, row.y);
        *row.yPlus = nudgeButton(row.names[5], QStringLiteral("+"), 296, row.y);
        m_offsetPanels[row.field] = {*row.xPanel, *row.yPanel};
        const QString field = fieldName(row.field);
        const std::pair<SSCommand*, const char*> signs[] = {
            {*row.xMinus, " X minus"}, {*row.xPlus, " X plus"}, {*row.yMinus, " Y minus"}, {*row.yPlus, " Y plus"}};
        for (const auto& [button, words] : signs)
            button->setAccessibleName(field + QLatin1String(words));
    }
    // Each button runs its own handler; the handlers share one nudge step.
    const std::pair<SSCommand*, void (Frm_Main::*)()> nudgeHandlers[] = {
        {SSCmd_ItemXM, &Frm_Main::SSCmd_ItemXM_Click},     {SSCmd_ItemXP, &Frm_Main::SSCmd_ItemXP_Click},
        {SSCmd_ItemYM, &Frm_Main::SSCmd_ItemYM_Click},     {SSCmd_ItemYP, &Frm_Main::SSCmd_ItemYP_Click},
        {SSCmd_VerXM, &Frm_Main::SSCmd_VerXM_Click},       {SSCmd_VerXP, &Frm_Main::SSCmd_VerXP_Click},
        {SSCmd_VerYM, &Frm_Main::SSCmd_VerYM_Click},       {SSCmd_VerYP, &Frm_Main::SSCmd_VerYP_Click},
        {SSCmd_DataXM, &Frm_Main::SSCmd_DataXM_Click},     {SSCmd_DataXP, &Frm_Main::SSCmd_DataXP_Click},
        {SSCmd_DataYM, &Frm_Main::SSCmd_DataYM_Click},     {SSCmd_DataYP, &Frm_Main::SSCmd_DataYP_Click},
        {SSCmd_ChksumXM, &Frm_Main::SSCmd_ChksumXM_Click}, {SSCmd_ChksumXP, &Frm_Main::SSCmd_ChksumXP_Click},
        {SSCmd_ChksumYM, &Frm_Main::SSCmd_ChksumYM_Click}, {SSCmd_ChksumYP, &Frm_Main::SSCmd_ChksumYP_Click},
    };
    for (const auto& [button, handler] : nudgeHandlers)
        connect(button, &QAbstractButton::clicked, this, handler);
}

void Frm_Main::createPrintingGroup()
{
    SSFra_Print = named(new SSFrame(m_client), "SSFra_Print", 348, 286, 239, 203);
    SSFra_Print->setCaption(QStringLiteral("PRINTING"), kCaptionRed, 14.25);
    SSFra_Port = named(new SSFrame(SSFra_Print), "SSFra_Port", 24, 32, 193, 49);
    SSFra_Port->setCaption(QStringLiteral("PORT"), kSubCaptionPink, 11.25);
    SSOpt_Com1 = named(new SSOption(SSFra_Port, QStringLiteral("Com1")), "SSOpt_Com1", 24, 24, 65, 17);
    SSOpt_Lpt = named(new SSOption(SSFra_Port, QStringLiteral("LPT")), "SSOpt_Lpt", 120, 24, 49, 17);
    SSOpt_Com1->setFont(uiFont(12, true));
    SSOpt_Lpt->setFont(uiFont(12, true));
    SSCmd_Qty = named(new SSCommand(SSFra_Print), "SSCmd_Qty", 24, 96, 97, 33);
    Txt_Qty = named(new TextBox(SSFra_Print, QStringLiteral("1")), "Txt_Qty", 128, 96, 65, 31);
    Txt_Qty->setAlignment(Qt::AlignCenter);
    Txt_Qty->setFont(uiFont(18, true));
    Lbl_Ea = named(new QLabel(QStringLiteral("EA"), SSFra_Print), "Lbl_Ea", 200, 104, 25, 25);
    Lbl_Ea->setFont(uiFont(12, true));
    SSCmd_Print = named(new SSCommand(SSFra_Print, QStringLiteral("Print")), "SSCmd_Print", 22, 142, 193, 41);
    connect(SSCmd_Print, &QAbstractButton::clicked, this, &Frm_Main::SSCmd_Print_Click);
    connect(SSOpt_Com1, &QAbstractButton::clicked, this, [this] { SSOpt_Com1_Click(1); });
    connect(SSOpt_Lpt, &QAbstractButton::clicked, this, [this] { SSOpt_Lpt_Click(1); });
}

void Frm_Main::createDarknessGroup()
{
    SSFrame1 = named(new SSFrame(m_client), "SSFrame1", 600, 288, 275, 201);
    Label2 = named(new QLabel(QStringLiteral("인쇄농도"), SSFrame1), "Label2", 24, 22, 112, 27);
    Label2->setFont(uiFont(20.25, true));
    Txt_DarkNess = named(new TextBox(SSFrame1, QStringLiteral("8")), "Txt_DarkNess", 146, 18, 71, 32);
    Txt_DarkNess->setAlignment(Qt::AlignCenter);
    Txt_DarkNess->setFont(uiFont(18, true));
    Txt_DarkNess->setToolTip(QStringLiteral("범위: 0 ~ 15"));
    SSCommand1 = named(new SSCommand(SSFrame1), "SSCommand1", 14, 56, 247, 79);
    SSCommand1->setTabStop(false);
    SSCmd_End = named(new SSCommand(SSFrame1, QStringLiteral("End")), "SSCmd_End", 51, 144, 189, 41);
    connect(SSCommand1, &QAbstractButton::clicked, this, &Frm_Main::SSCommand1_Click);
    connect(SSCmd_End, &QAbstractButton::clicked, this, &Frm_Main::SSCmd_End_Click);
}

// Pictures of the picture buttons, at their own sizes.
void Frm_Main::setPictures()
{
    struct Picture
    {
        SSCommand* button;
        const char* resource;
        QSize size;
    };
    for (const FieldControls& row : kFieldControls) {
        (this->*row.heading)->setPicture(QString::fromLatin1(row.headingPicture), {113, 39});
        (this->*row.position)->setPicture(QString::fromLatin1(row.positionPicture), {90, 20});
    }
    const Picture pictures[] = {
        {SSCommand2, ":/button-preview.svg", {90, 31}},
        {SSCmd_X, ":/heading-x.svg", {90, 20}},
        {SSCmd_Y, ":/heading-y.svg", {90, 20}},
        {SSCmd_Qty, ":/button-qty.svg", {90, 20}},
        {SSCmd_Print, ":/button-print.svg", {180, 31}},
        {SSCmd_End, ":/button-end.svg", {170, 28}},
        // The 658 by 138 logo, scaled to the button with its proportions kept.
        {SSCommand1, ":/company-logo.svg", QSize(658, 138).scaled(239, 71, Qt::KeepAspectRatio)},
    };
    for (const Picture& each : pictures)
        each.button->setPicture(QString::fromLatin1(each.resource), each.size);
}

void Frm_Main::nameButtons()
{
    // The heading, Print and End buttons keep their words as their text under the picture; these have none.
    SSCommand2->setAccessibleName(QStringLiteral("Preview"));
    SSCmd_Qty->setAccessibleName(QStringLiteral("Quantity"));
    SSCommand1->setAccessibleName(QStringLiteral("Company web site"));
}

void Frm_Main::connectLabelPicture()
{
    for (TextBox* box : {Txt_Item, Txt_Version, Txt_Data, Txt_Chksum, Txt_Gap, Txt_Qty, Txt_DarkNess})
        connect(box, &QLineEdit::textChanged, this, &Frm_Main::labelChanged);
    for (const SizeOption& row : kSizeOptions)
        connect(this->*row.button, &QAbstractButton::toggled, this, &Frm_Main::labelChanged);
    connect(Chk_Print5, &QAbstractButton::toggled, this, &Frm_Main::labelChanged);
    // The positions in Module1 and the offset panels change only by a preset or a nudge, which say so.
}

void Frm_Main::labelChanged()
{
    if (m_picture && m_picture->isVisible())
        m_picture->scheduleRefresh();
}

// The four field boxes and the quantity box follow the entry rules; Tab walks the boxes in their order.
void Frm_Main::connectEntryRules()
{
    for (const FieldControls& row : kFieldControls) {
        connect(this->*row.box, &TextBox::Change, this, row.change);
        connect(this->*row.box, &TextBox::KeyPress, this, row.keyPress);
    }
    connect(Txt_Qty, &TextBox::KeyPress, this, &Frm_Main::Txt_Qty_KeyPress);

    // Controls that never take the focus by Tab are left out.
    QWidget* tabOrder[] = {Txt_Item,  Txt_Version, Txt_Data,   Txt_Chksum, Txt_Qty,    SSCmd_Print,
                           SSCmd_End, SSCmd_Qty,   SSCommand2, Txt_Gap,    Chk_Print5, Txt_DarkNess};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
}

void Frm_Main::createMenus()
{
    Mnu_File = menuBar()->addMenu(QStringLiteral("File"));
    Mnu_File->setObjectName(QStringLiteral("Mnu_File"));
    Mnu_Port = Mnu_File->addMenu(QStringLiteral("Port Select"));
    Mnu_Port->setObjectName(QStringLiteral("Mnu_Port"));
    Mnu_Com1 = Mnu_Port->addAction(QStringLiteral("Com1"));
    Mnu_Com1->setObjectName(QStringLiteral("Mnu_Com1"));
    Mnu_Com1->setCheckable(true);
    Mnu_Lpt = Mnu_Port->addAction(QStringLiteral("LPT"));
    Mnu_Lpt->setObjectName(QStringLiteral("Mnu_Lpt"));
    Mnu_Lpt->setCheckable(true);
    Mnu_End = Mnu_File->addAction(QStringLiteral("End"));
    Mnu_End->setObjectName(QStringLiteral("Mnu_End"));
    Mnu_Help = menuBar()->addAction(QStringLiteral("Help"));
    Mnu_Help->setObjectName(QStringLiteral("Mnu_Help"));
    Mnu_Printer = new QMenu(QStringLiteral("Printer"), this);
    Mnu_Printer->setObjectName(QStringLiteral("Mnu_Printer"));
    menuBar()->insertMenu(Mnu_Help, Mnu_Printer);
    Mnu_LabelPicture = Mnu_Printer->addAction(QStringLiteral("Label Picture"));
    Mnu_LabelPicture->setObjectName(QStringLiteral("Mnu_LabelPicture"));
    Mnu_PrinterStatus = Mnu_Printer->addAction(QStringLiteral("Status"));
    Mnu_PrinterStatus->setObjectName(QStringLiteral("Mnu_PrinterStatus"));
    Mnu_AskAfterPrint = Mnu_Printer->addAction(QStringLiteral("Ask after each Print"));
    Mnu_AskAfterPrint->setObjectName(QStringLiteral("Mnu_AskAfterPrint"));
    Mnu_AskAfterPrint->setCheckable(true);
    Mnu_AskAfterPrint->setChecked(qgetenv(kVerifyVariable) == "1");

    connect(Mnu_Com1, &QAction::triggered, this, &Frm_Main::Mnu_Com1_Click);
    connect(Mnu_Lpt, &QAction::triggered, this, &Frm_Main::Mnu_Lpt_Click);
    connect(Mnu_End, &QAction::triggered, this, &Frm_Main::Mnu_End_Click);
    connect(Mnu_Help, &QAction::triggered, this, &Frm_Main::Mnu_Help_Click);
    connect(Mnu_LabelPicture, &QAction::triggered, this, &Frm_Main::Mnu_LabelPicture_Click);
    connect(Mnu_PrinterStatus, &QAction::triggered, this, &Frm_Main::Mnu_PrinterStatus_Click);
}
