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

Frm_Main* g_mainWindow = nullptr;

constexpr qint16 kEnter = 13; // the key code Enter gives in a KeyPress handler

bool otherWindowOpen(const QWidget* except)
{
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (window != except && window->isVisible() &&
            (window->windowType() == Qt::Window || window->windowType() == Qt::Dialog))
            return true;
    }
    return false;
}

void centreOnScreen(QWidget* window)
{
    window->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

} // namespace

Frm_Main::Frm_Main(QWidget* parent) : QMainWindow(parent)
{
    installFontSubstitutes();
    setObjectName(QStringLiteral("Frm_Main"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Quorlex Label"));
    setWindowIcon(appIcon());
    g_mainWindow = this;

    createControls();
    createMenus();
    Form_Load();
}

Frm_Main::~Frm_Main()
{
    if (g_mainWindow == this)
        g_mainWindow = nullptr;
}

Frm_Main* Frm_Main::instance()
{
    return g_mainWindow;
}

void Frm_Main::showCentred()
{
    centreOnScreen(this);
    show();
    raise();
    activateWindow();
    Txt_Item->setFocus(Qt::ActiveWindowFocusReason);
}

QList<SSPanel*> Frm_Main::offsetPanels() const
{
    QList<SSPanel*> panels;
    for (const auto& xAndY : m_offsetPanels)
        panels << xAndY[0] << xAndY[1];
    return panels;
}

LabelSize Frm_Main::selectedSize() const
{
    for (const SizeOption& row : kSizeOptions) {
        if ((this->*row.button)->Value())
            return row.size;
    }
    return LabelSize::None;
}

LabelSettings Frm_Main::labelSettings() const
{
    LabelSettings settings;
    settings.size = selectedSize();
    settings.fiveAcross = Chk_Print5->Value();
    settings.darkness = Txt_DarkNess->text();
    settings.gap = Txt_Gap->text();
    settings.quantity = Txt_Qty->text();
    settings.item = Txt_Item->text();
    settings.version = Txt_Version->text();
    settings.data = Txt_Data->text();
    settings.checksum = Txt_Chksum->text();
    settings.positions = Module1::currentPositions();
    settings.ItemXOffset = SSP_ItemX->Caption();
    settings.ItemYOffset = SSP_ItemY->Caption();
    settings.VerXOffset = SSP_VerX->Caption();
    settings.VerYOffset = SSP_VerY->Caption();
    return settings;
}

void Frm_Main::Form_Load()
{
    SSOpt_3M->setValue(true);
    SSOpt_6M->setValue(false);
    SSOpt_9M->setValue(false);
    selectPort(PrinterPort::Com1);
    SSCmd_Qty->setEnabled(false);
    setWindowTitle(QStringLiteral("Quorlex Co., Ltd.  ") + applicationVersionText());
    SSOpt_3M_Click(1);
    for (SSPanel* panel : offsetPanels())
        panel->setCaption(QStringLiteral("0"));
}

void Frm_Main::SSOpt_1M_Click(qint16)
{
    applySizePreset(LabelSize::M1);
}

void Frm_Main::SSOpt_2M_Click(qint16)
{
    applySizePreset(LabelSize::M2);
}

void Frm_Main::SSOpt_3M_Click(qint16)
{
    applySizePreset(LabelSize::M3);
}

// SSOpt_6M carries the 9M caption and applies the 9M preset; SSOpt_9M the 6M one.
void Frm_Main::SSOpt_6M_Click(qint16)
{
    applySizePreset(LabelSize::M9);
}

void Frm_Main::SSOpt_9M_Click(qint16)
{
    applySizePreset(LabelSize::M6);
}

void Frm_Main::applySizePreset(LabelSize size)
{
    const SizePreset& preset = presetFor(size);

    // Its own option button on, the other four off; turning them from code starts no preset.
    for (const SizeOption& row : kSizeOptions)
        (this->*row.button)->setValue(row.size == size);

    // Each text set here runs its box's change rule, which moves the focus when the box becomes full, and
    // disabling the box that has the focus moves the focus on. A size that cuts Item and Version empties
    // Data and Checksum, cuts, and disables last, so that the focus follows the cut boxes along the chain;
    // one that cuts nothing disables Data and Checksum before emptying them.
    TextBox* const unused[] = {Txt_Data, Txt_Chksum};
    if (preset.dataAndChecksumUsed) {
        for (TextBox* box : unused)
            box->setEnabled(true);
    } else if (preset.cutItemAndVersionTo > 0) {
        for (TextBox* box : unused)
            box->setText(QString());
        for (TextBox* box : {Txt_Item, Txt_Version})
            box->setText(box->text().left(preset.cutItemAndVersionTo));
        for (TextBox* box : unused)
            box->setEnabled(false);
    } else {
        for (TextBox* box : unused)
            box->setEnabled(false);
        for (TextBox* box : unused)
            box->setText(QString());
    }

    // The Data and Checksum offset panels and nudge buttons.
    for (QWidget* control : std::initializer_list<QWidget*>{
             SSP_DataX, SSP_DataY, SSP_ChksumX, SSP_ChksumY, SSCmd_ChksumXM, SSCmd_ChksumXP, SSCmd_ChksumYM,
             SSCmd_ChksumYP, SSCmd_DataXM, SSCmd_DataXP, SSCmd_DataYM, SSCmd_DataYP})
        control->setEnabled(preset.dataAndChecksumUsed);

    const OutlineTwips& outline = labelOutline(preset.size);
    Shp_Lbl->setWidth(outline.width);
    Shp_Lbl->setHeight(outline.height);
    Shp_Lbl->setLeft(outline.left);
    Shp_Lbl->setTop(outline.top);
    Txt_Gap->setText(QString::fromLatin1(preset.gap));
    Module1::setPositions(applyPresetPositions(preset, Module1::currentPositions()));
    Module1::ResetPositionPanels();
    labelChanged();
}

void Module1::ResetPositionPanels()
{
    Frm_Main* window = Frm_Main::instance();
    if (!window)
        return;
    for (SSPanel* panel : window->offsetPanels())
        panel->setCaption(QStringLiteral("0"));
}

void Frm_Main::nudgeClicked(LabelField field, Axis axis, int step)
{
    SSPanel* panel = m_offsetPanels[field][int(axis)];
    const std::optional<NudgeResult> result = nudge(field, axis, step, panel->Caption(), Module1::currentPositions());
    if (!result)
        return;
    panel->setCaption(result->caption);
    Module1::setPositions(result->positions);
    labelChanged();
}

void Frm_Main::SSCmd_ItemXM_Click()
{
    nudgeClicked(LabelField::Item, Axis::X, -1);
}
void Frm_Main::SSCmd_ItemXP_Click()
{
    nudgeClicked(LabelField::Item, Axis::X, +1);
}
void Frm_Main::SSCmd_ItemYM_Click()
{
    nudgeClicked(LabelField::Item, Axis::Y, -1);
}
void Frm_Main::SSCmd_ItemYP_Click()
{
    nudgeClicked(LabelField::Item, Axis::Y, +1);
}
void Frm_Main::SSCmd_VerXM_Click()
{
    nudgeClicked(LabelField::Version, Axis::X, -1);
}
void Frm_Main::SSCmd_VerXP_Click()
{
    nudgeClicked(LabelField::Version, Axis::X, +1);
}
void Frm_Main::SSCmd_VerYM_Click()
{
    nudgeClicked(LabelField::Version, Axis::Y, -1);
}
void Frm_Main::SSCmd_VerYP_Click()
{
    nudgeClicked(LabelField::Version, Axis::Y, +1);
}
void Frm_Main::SSCmd_DataXM_Click()
{
    nudgeClicked(LabelField::Data, Axis::X, -1);
}
void Frm_Main::SSCmd_DataXP_Click()
{
    nudgeClicked(LabelField::Data, Axis::X, +1);
}
void Frm_Main::SSCmd_DataYM_Click()
{
    nudgeClicked(LabelField::Data, Axis::Y, -1);
}
void Frm_Main::SSCmd_DataYP_Click()
{
    nudgeClicked(LabelField::Data, Axis::Y, +1);
}
void Frm_Main::SSCmd_ChksumXM_Click()
{
    nudgeClicked(LabelField::Checksum, Axis::X, -1);
}
void Frm_Main::SSCmd_ChksumXP_Click()
{
    nudgeClicked(LabelField::Checksum, Axis::X, +1);
}
void Frm_Main::SSCmd_ChksumYM_Click()
{
    nudgeClicked(LabelField::Checksum, Axis::Y, -1);
}
void Frm_Main::SSCmd_ChksumYP_Click()
{
    nudgeClicked(LabelField::Checksum, Axis::Y, +1);
}

void Frm_Main::moveFocusTo(TextBox* box)
{
    // The rules only ever move the focus to a box that is enabled under the selected size.
    if (box->isEnabled())
        box->setFocus(Qt::OtherFocusReason);
}

TextBox* Frm_Main::boxAfter(LabelField field) const
{
    const std::optional<LabelField> next = nextField(field, selectedSize());
    return next ? m_fieldBoxes[*next] : Txt_Qty;
}

// The preview shows the box's text as it stands; a box that has just become full hands the focus on.
void Frm_Main::fieldChanged(LabelField field)
{
    const QString text = m_fieldBoxes[field]->text();
    m_previews[field]->setText(text);
    if (text.size() == fullLength(field, selectedSize()))
        moveFocusTo(boxAfter(field));
}

void Frm_Main::fieldKeyPress(LabelField field, qint16 KeyAscii)
{
    if (KeyAscii == kEnter)
        moveFocusTo(boxAfter(field));
}

void Frm_Main::Txt_Item_Change()
{
    fieldChanged(LabelField::Item);
}

void Frm_Main::Txt_Item_KeyPress(qint16 KeyAscii)
{
    fieldKeyPress(LabelField::Item, KeyAscii);
}

void Frm_Main::Txt_Version_Change()
{
    fieldChanged(LabelField::Version);
}

void Frm_Main::Txt_Version_KeyPress(qint16 KeyAscii)
{
    fieldKeyPress(LabelField::Version, KeyAscii);
}

void Frm_Main::Txt_Data_Change()
{
    fieldChanged(LabelField::Data);
}

void Frm_Main::Txt_Data_KeyPress(qint16 KeyAscii)
{
    fieldKeyPress(LabelField::Data, KeyAscii);
}

void Frm_Main::Txt_Chksum_Change()
{
    fieldChanged(LabelField::Checksum);
}

void Frm_Main::Txt_Chksum_KeyPress(qint16 KeyAscii)
{
    fieldKeyPress(LabelField::Checksum, KeyAscii);
}

void Frm_Main::Txt_Qty_KeyPress(qint16 KeyAscii)
{
    if (KeyAscii == kEnter)
        SSCmd_Print_Click();
}

void Frm_Main::SSCmd_Print_Click()
{
    // While the printer is being asked, a press would share the port with the query: it is dropped.
    if (m_asking)
        return;
    m_press.run(*this); // a press while one is under way is dropped
    if (!m_press.isRunning())
        finishDeferredClose();
}

bool Frm_Main::finishDeferredClose()
{
    if (!m_closeAfterPress)
        return false;
    m_closeAfterPress = false;
    close();
    // The window was already hidden when End was chosen, so closing it now does not count as the last window
    // closing; end the process here when no other window of it is open.
    if (QGuiApplication::quitOnLastWindowClosed() && !otherWindowOpen(this))
        QCoreApplication::quit();
    return true;
}

ComposedJob Frm_Main::composeJob()
{
    return ::composeJob(labelSettings());
}

void Frm_Main::processEvents()
{
    QCoreApplication::processEvents();
}

void Frm_Main::reportFailure(const QString& cause)
{
    showPortError(this, cause);
}

void Frm_Main::selectPort(PrinterPort port)
{
    const bool com1 = port == PrinterPort::Com1;
    Mnu_Com1->setChecked(com1);
    Mnu_Lpt->setChecked(!com1);
    SSOpt_Com1->setValue(com1);
    SSOpt_Lpt->setValue(!com1);
    PortName = printerPortName(port);
}

void Frm_Main::Mnu_Com1_Click()
{
    selectPort(PrinterPort::Com1);
}

void Frm_Main::Mnu_Lpt_Click()
{
    selectPort(PrinterPort::Lpt);
}

void Frm_Main::SSOpt_Com1_Click(qint16)
{
    selectPort(PrinterPort::Com1);
    MSC_Com1->setCommPort(1);
}

void Frm_Main::SSOpt_Lpt_Click(qint16)
{
    selectPort(PrinterPort::Lpt);
}

void Frm_Main::closeEvent(QCloseEvent* event)
{
    // The picture belongs to this window and goes with it, also when a press under way keeps this one alive.
    if (m_picture)
        m_picture->close();
    if (m_press.isRunning() || m_asking) {
        // End during a press or a status query: the window goes at once, and is closed and destroyed when its press has
        // ended (job drained, port closed); the serial control must outlive the press.
        hide();
        m_closeAfterPress = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void Frm_Main::Mnu_End_Click()
{
    close();
}

void Frm_Main::SSCmd_End_Click()
{
    Mnu_End_Click();
}

void Frm_Main::Mnu_Help_Click()
{
    if (!m_help) {
        m_help = new Frm_Help; // its load step runs as it is created
        centreOnScreen(m_help);
    }
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

Frm_LabelPicture* Frm_Main::pictureWindow() const
{
    return m_picture;
}

void Frm_Main::Mnu_LabelPicture_Click()
{
    if (!m_picture) {
        m_picture = new Frm_LabelPicture(this, [this] { return labelSettings(); });
        m_picture->placeBeside(frameGeometry());
    }
    m_picture->show();
    m_picture->raise();
    m_picture->activateWindow();
}

PrinterStatus Frm_Main::askPrinter(QString* name)
{
    const PrinterPort port = printerPortNamed(PortName).value_or(PrinterPort::Lpt);
    const QString address = printerPortAddress(port);
    *name = destinationName(printerPortDevice(port), address);
    // As a press does first: a port a failed press left open is closed, so that the query can open the line.
    if (MSC_Com1->PortOpen())
        MSC_Com1->setPortOpen(false);
    m_asking = true;
    const PrinterStatus status =
        queryPrinterStatus(address, {[] { QCoreApplication::processEvents(); }, [this] { return m_closeAfterPress; }});
    m_asking = false;
    return status;
}

void Frm_Main::Mnu_PrinterStatus_Click()
{
    // One conversation with the printer at a time: a query during a press or another query is dropped.
    if (printing() || m_asking)
        return;
    QString name;
    const PrinterStatus status = askPrinter(&name);
    if (finishDeferredClose())
        return;
    showPrinterStatus(this, statusLine(name, status), status.fault());
}

void Frm_Main::jobGone()
{
    if (!Mnu_AskAfterPrint->isChecked())
        return;
    QString name;
    const PrinterStatus status = askPrinter(&name);
    if (status.fault() && !m_closeAfterPress)
        showPrinterStatus(
            this, QStringLiteral("The job has gone, but the printer then reported %1.\n\n%2").arg(status.text, name),
            true);
}

void Frm_Main::SSCommand1_Click()
{
    openWebSite(companyWebSite()); // a browser that cannot be started changes nothing here
}
