#pragma once

#include "output/port_devices.h"
#include "output/status_query.h"
#include "printing/label_settings.h"
#include "printing/mscomm.h"
#include "printing/nudge.h"
#include "printing/print_press.h"
#include "windows/frm_help.h"
#include "windows/module1.h"
#include "windows/toolkit.h"

#include <QMainWindow>
#include <QPointer>

#include <array>

class Frm_Help;
class Frm_LabelPicture;
class QAction;
class QMenu;

// The main window: the label fields, the size presets, the position nudging, the port choice and Print.
// Controls and handlers are named after what they are on the window, e.g. Txt_Item and Txt_Item_Change.
class Frm_Main : public QMainWindow, private PrintHost
{
    Q_OBJECT
public:
    explicit Frm_Main(QWidget* parent = nullptr);
    ~Frm_Main() override;

    // The one main window of the process (the latest one created), or nullptr.
    static Frm_Main* instance();

    // Shows the window in the centre of the screen with the focus in Txt_Item.
    void showCentred();

    // The label size as the option buttons hold it (SSOpt_9M is the 6M size, SSOpt_6M the 9M size).
    LabelSize selectedSize() const;
    // Everything a job is composed from, read from the controls and Module1 now.
    LabelSettings labelSettings() const;

    // Form-level text naming the selected port: "COM1" or "LPT".
    QString PortName;

    // Load step: brings the window and Module1 to the start-up state.
    void Form_Load();

    void SSOpt_1M_Click(qint16 Value);
    void SSOpt_2M_Click(qint16 Value);
    void SSOpt_3M_Click(qint16 Value);
    void SSOpt_6M_Click(qint16 Value);
    void SSOpt_9M_Click(qint16 Value);

    void SSCmd_ItemXM_Click();
    void SSCmd_ItemXP_Click();
    void SSCmd_ItemYM_Click();
    void SSCmd_ItemYP_Click();
    void SSCmd_VerXM_Click();
    void SSCmd_VerXP_Click();
    void SSCmd_VerYM_Click();
    void SSCmd_VerYP_Click();
    void SSCmd_DataXM_Click();
    void SSCmd_DataXP_Click();
    void SSCmd_DataYM_Click();
    void SSCmd_DataYP_Click();
    void SSCmd_ChksumXM_Click();
    void SSCmd_ChksumXP_Click();
    void SSCmd_ChksumYM_Click();
    void SSCmd_ChksumYP_Click();

    void Txt_Item_Change();
    void Txt_Item_KeyPress(qint16 KeyAscii);
    void Txt_Version_Change();
    void Txt_Version_KeyPress(qint16 KeyAscii);
    void Txt_Data_Change();
    void Txt_Data_KeyPress(qint16 KeyAscii);
    void Txt_Chksum_Change();
    void Txt_Chksum_KeyPress(qint16 KeyAscii);
    void Txt_Qty_KeyPress(qint16 KeyAscii);

    // Composes the job from the window and sends it to the chosen port; every failure shows one message.
    void SSCmd_Print_Click();
    // Whether a Print press is under way (it processes events while it waits for the port).
    bool printing() const { return m_press.isRunning(); }

    void Mnu_Com1_Click();
    void Mnu_Lpt_Click();
    void SSOpt_Com1_Click(qint16 Value);
    void SSOpt_Lpt_Click(qint16 Value);

    void Mnu_End_Click();
    void SSCmd_End_Click();
    void Mnu_Help_Click();
    void SSCommand1_Click();

    // The About window while it is open.
    Frm_Help* helpWindow() const { return m_help; }

    // Opens the picture of the label Print would send now, beside this window, or brings it to the front.
    void Mnu_LabelPicture_Click();
    // The picture window once it has been opened (it stays, hidden, when closed).
    Frm_LabelPicture* pictureWindow() const;
    // Asks the printer of the chosen port and shows its answer.
    void Mnu_PrinterStatus_Click();

    // Menus.
    QMenu* Mnu_File = nullptr;
    QMenu* Mnu_Port = nullptr;
    QAction* Mnu_Com1 = nullptr;
    QAction* Mnu_Lpt = nullptr;
    QAction* Mnu_End = nullptr;
    QAction* Mnu_Help = nullptr;
    // Between File and Help: what goes to the printer.
    QMenu* Mnu_Printer = nullptr;
    QAction* Mnu_LabelPicture = nullptr;
    QAction* Mnu_PrinterStatus = nullptr;
    // Checked: the printer is asked after every job that has gone, and a fault is shown. Off at every start
    // unless QUORLEX_LABEL_VERIFY=1.
    QAction* Mnu_AskAfterPrint = nullptr;

    // Group LABEL.
    SSFrame* SSFra_Label = nullptr;
    SSCommand* SSCmd_Item = nullptr;
    TextBox* Txt_Item = nullptr;
    SSCommand* SSCmd_Version = nullptr;
    TextBox* Txt_Version = nullptr;
    SSCommand* SSCmd_Data = nullptr;
    TextBox* Txt_Data = nullptr;
    SSCommand* SSCmd_Checksum = nullptr;
    TextBox* Txt_Chksum = nullptr;
    SSFrame* SSFra_Size = nullptr;
    SSOption* SSOpt_1M = nullptr;
    SSOption* SSOpt_2M = nullptr;
    SSOption* SSOpt_3M = nullptr;
    SSOption* SSOpt_9M = nullptr;
    SSOption* SSOpt_6M = nullptr;
    CheckBox* Chk_Print5 = nullptr;

    // The preview panel.
    SSPanel* SSPanel1 = nullptr;
    SSCommand* SSCommand2 = nullptr;
    Shape* Shp_Lbl = nullptr;
    QLabel* Lbl_Itm = nullptr;
    QLabel* Lbl_Ver = nullptr;
    QLabel* Lbl_Dte = nullptr;
    QLabel* Lbl_ChkSum = nullptr;
    QLabel* Label1 = nullptr;
    TextBox* Txt_Gap = nullptr;

    // Group POSITION.
    SSFrame* SSFra_Position = nullptr;
    SSCommand* SSCmd_X = nullptr;
    SSCommand* SSCmd_Y = nullptr;
    SSCommand* SSCmd_Pos_Item = nullptr;
    SSCommand* SSCmd_Pos_Version = nullptr;
    SSCommand* SSCmd_Pos_Data = nullptr;
    SSCommand* SSCmd_Pos_Checksum = nullptr;
    SSCommand* SSCmd_ItemXM = nullptr;
    SSPanel* SSP_ItemX = nullptr;
    SSCommand* SSCmd_ItemXP = nullptr;
    SSCommand* SSCmd_ItemYM = nullptr;
    SSPanel* SSP_ItemY = nullptr;
    SSCommand* SSCmd_ItemYP = nullptr;
    SSCommand* SSCmd_VerXM = nullptr;
    SSPanel* SSP_VerX = nullptr;
    SSCommand* SSCmd_VerXP = nullptr;
    SSCommand* SSCmd_VerYM = nullptr;
    SSPanel* SSP_VerY = nullptr;
    SSCommand* SSCmd_VerYP = nullptr;
    SSCommand* SSCmd_DataXM = nullptr;
    SSPanel* SSP_DataX = nullptr;
    SSCommand* SSCmd_DataXP = nullptr;
    SSCommand* SSCmd_DataYM = nullptr;
    SSPanel* SSP_DataY = nullptr;
    SSCommand* SSCmd_DataYP = nullptr;
    SSCommand* SSCmd_ChksumXM = nullptr;
    SSPanel* SSP_ChksumX = nullptr;
    SSCommand* SSCmd_ChksumXP = nullptr;
    SSCommand* SSCmd_ChksumYM = nullptr;
    SSPanel* SSP_ChksumY = nullptr;
    SSCommand* SSCmd_ChksumYP = nullptr;

    // Group PRINTING.
    SSFrame* SSFra_Print = nullptr;
    SSFrame* SSFra_Port = nullptr;
    SSOption* SSOpt_Com1 = nullptr;
    SSOption* SSOpt_Lpt = nullptr;
    SSCommand* SSCmd_Qty = nullptr;
    TextBox* Txt_Qty = nullptr;
    QLabel* Lbl_Ea = nullptr;
    SSCommand* SSCmd_Print = nullptr;

    // Darkness, logo and End.
    SSFrame* SSFrame1 = nullptr;
    QLabel* Label2 = nullptr;
    TextBox* Txt_DarkNess = nullptr;
    SSCommand* SSCommand1 = nullptr;
    SSCommand* SSCmd_End = nullptr;

    // The serial-port control of COM1.
    MSComm* MSC_Com1 = nullptr;

    // The eight offset panels in the order Module1::ResetPositionPanels writes them.
    QList<SSPanel*> offsetPanels() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // What the Print press reads from and does through the window.
    ComposedJob composeJob() override;
    QString portName() override { return PortName; }
    MSComm& serialControl() override { return *MSC_Com1; }
    void processEvents() override;
    void reportFailure(const QString& cause) override;
    bool closeRequested() override { return m_closeAfterPress; }
    void jobGone() override;
    // The printer of the chosen port, asked within the status time-out, events processed meanwhile.
    PrinterStatus askPrinter(QString* name);
    // Carries out an End chosen while the printer was busy; true when it did.
    bool finishDeferredClose();

    void createControls();
    void createLabelGroup();
    void createPreviewPanel();
    void createPositionGroup();
    void createPrintingGroup();
    void createDarknessGroup();
    void setPictures();
    void connectEntryRules();
    void createMenus();
    // Screen-reader names of the buttons that show a picture or a sign instead of a word.
    void nameButtons();
    // Every control a job is read from tells the picture window when it changes.
    void connectLabelPicture();
    // Something a job is composed from has changed: the open picture window draws the label again.
    void labelChanged();
    void applySizePreset(LabelSize size);
    void nudgeClicked(LabelField field, Axis axis, int step);
    // The change and Enter rules every field box follows.
    void fieldChanged(LabelField field);
    void fieldKeyPress(LabelField field, qint16 KeyAscii);
    // The box the focus moves on to from a field's box under the selected size.
    TextBox* boxAfter(LabelField field) const;
    void moveFocusTo(TextBox* box);
    // Both port controls and both menu entries show `port`, whose name ("COM1" or "LPT") becomes PortName.
    void selectPort(PrinterPort port);

    PerField<TextBox*> m_fieldBoxes;
    PerField<QLabel*> m_previews;
    PerField<std::array<SSPanel*, 2>> m_offsetPanels; // by field, then X and Y

    QWidget* m_client = nullptr;
    QPointer<Frm_Help> m_help;
    QPointer<Frm_LabelPicture> m_picture;
    PrintPress m_press;
    bool m_closeAfterPress = false;
    bool m_asking = false;
};

namespace Module1 {
// Sets the eight offset panels of the main window to "0"; the positions stay as they are.
void ResetPositionPanels();
} // namespace Module1

// The size option buttons from the top. Each is named after the caption it had when the window was first
// laid out; SSOpt_9M now carries the 6M size and SSOpt_6M the 9M size.
struct SizeOption
{
    LabelSize size;
    const char* name;
    SSOption* Frm_Main::*button;
    void (Frm_Main::*click)(qint16);
    int y;
};
inline const SizeOption kSizeOptions[] = {
    {LabelSize::M1, "SSOpt_1M", &Frm_Main::SSOpt_1M, &Frm_Main::SSOpt_1M_Click, 28},
    {LabelSize::M2, "SSOpt_2M", &Frm_Main::SSOpt_2M, &Frm_Main::SSOpt_2M_Click, 66},
    {LabelSize::M3, "SSOpt_3M", &Frm_Main::SSOpt_3M, &Frm_Main::SSOpt_3M_Click, 104},
    {LabelSize::M6, "SSOpt_9M", &Frm_Main::SSOpt_9M, &Frm_Main::SSOpt_9M_Click, 140},
    {LabelSize::M9, "SSOpt_6M", &Frm_Main::SSOpt_6M, &Frm_Main::SSOpt_6M_Click, 178},
};
