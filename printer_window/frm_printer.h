#pragma once

#include "printer/printer_window_host.h"
#include "printer_window/received_labels.h"

#include <QMainWindow>
#include <QTimer>

class LabelPictureView;
class QAction;
class QLabel;
class QListWidget;
class QStackedWidget;
class QTreeView;

// The virtual printer's window: the labels received, newest first; the one chosen, large, with the problems
// logged for it; the printer's state in a line; its faults in the Printer menu. It looks at the printer at
// most kLookMs apart and reads a picture only when it shows it, so that a printer taking a thousand labels a
// second is never kept waiting by it.
class Frm_Printer : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kLookMs = 100;

    explicit Frm_Printer(PrinterWindowHost& host);
    ~Frm_Printer() override;

    const ReceivedLabels& labels() const { return m_labels; }
    // The number of the label shown; 0 with none.
    quint64 shownNumber() const { return m_shownNumber; }
    // Writes the label shown to `path`: a PDF when it ends in .pdf, else a copy of its PNG picture. The cause
    // when it cannot.
    QString saveShownLabel(const QString& path) const;
    // Looks at what the printer did now, rather than at the next look.
    void lookNow();

    QTreeView* Lst_Labels = nullptr;
    LabelPictureView* Pic_Label = nullptr;
    QLabel* Lbl_Title = nullptr;
    QLabel* Lbl_Reason = nullptr;
    QListWidget* Lst_Problems = nullptr;
    QLabel* Lbl_Folder = nullptr;
    QLabel* Lbl_Status = nullptr;
    QAction* Mnu_SaveAs = nullptr;
    QAction* Mnu_Quit = nullptr;
    QAction* Mnu_Ready = nullptr;
    QAction* Mnu_HeadOpen = nullptr;
    QAction* Mnu_PaperOut = nullptr;
    QAction* Mnu_Paused = nullptr;
    QAction* Mnu_Forget = nullptr;
    QAction* Mnu_OpenFolder = nullptr;

private:
    void buildMenus();
    void scheduleLook();
    void look();
    void currentChanged(const QModelIndex& current);
    void showLabel(int row);
    void showStatus();
    void checkFault();
    void saveAs();
    void openFolder();

    PrinterWindowHost& m_host;
    PrinterActivity m_activity;
    ReceivedLabels m_labels;
    QTimer m_look;
    QStackedWidget* m_stack = nullptr;
    bool m_followNewest = true; // until the person picks an older label
    bool m_selecting = false;   // the window itself is moving the selection
    quint64 m_shownNumber = 0;
};
