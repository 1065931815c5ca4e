#include "printer_window/frm_printer.h"

#include "common/safe_text.h"
#include "common/whole_file.h"
#include "printer/label_pdf.h"
#include "windows/label_picture_view.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QString millimetres(int dots, int dpi)
{
    return QString::number(dots * 25.4 / dpi, 'f', 1);
}

QLabel* plainLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

Frm_Printer::Frm_Printer(PrinterWindowHost& host) : m_host(host), m_labels(this)
{
    setObjectName(QStringLiteral("Frm_Printer"));
    const QStringList where = host.listeningOn();
    setWindowTitle(QStringLiteral("Quorlex Label Printer — %1")
                       .arg(where.isEmpty() ? QStringLiteral("job files") : where.join(QStringLiteral(", "))));
    resize(960, 600);

    auto* left = new QWidget(this);
    Lbl_Folder = plainLabel(left);
    Lbl_Folder->setText(QStringLiteral("Pictures in %1").arg(visibleForMessage(host.outFolder())));
    Lbl_Folder->setWordWrap(true);
    Lbl_Folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Lst_Labels = new QTreeView(left);
    Lst_Labels->setModel(&m_labels);
    Lst_Labels->setRootIsDecorated(false);
    Lst_Labels->setUniformRowHeights(true); // thousands of rows are laid out without measuring each
    Lst_Labels->setSelectionMode(QAbstractItemView::SingleSelection);
    Lst_Labels->setSelectionBehavior(QAbstractItemView::SelectRows);
    Lst_Labels->setAllColumnsShowFocus(true);
    Lst_Labels->setAccessibleName(QStringLiteral("Labels received"));
    Lst_Labels->setAccessibleDescription(
        QStringLiteral("Newest first: label number, size in dots, time and stream. Arrow keys step through them."));
    // Widths from the widest text a column holds, so that a thousand rows arriving are never measured.
    const QFontMetrics metrics = Lst_Labels->fontMetrics();
    const int padding = 3 * metrics.averageCharWidth();
    Lst_Labels->header()->setStretchLastSection(false);
    Lst_Labels->header()->setSectionResizeMode(QHeaderView::Interactive);
    Lst_Labels->header()->resizeSection(ReceivedLabels::Number,
                                        metrics.horizontalAdvance(QStringLiteral("000000")) + padding);
    Lst_Labels->header()->resizeSection(ReceivedLabels::Size,
                                        metrics.horizontalAdvance(QStringLiteral("0000 × 0000")) + padding);
    Lst_Labels->header()->resizeSection(ReceivedLabels::Time,
                                        metrics.horizontalAdvance(QStringLiteral("00:00:00")) + padding);
    Lst_Labels->header()->resizeSection(ReceivedLabels::Stream,
                                        metrics.horizontalAdvance(QStringLiteral("Stream")) + padding);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(Lbl_Folder);
    leftLayout->addWidget(Lst_Labels, 1);

    auto* right = new QWidget(this);
    Lbl_Title = plainLabel(right);
    Lbl_Title->setWordWrap(true);
    QFont bold = Lbl_Title->font();
    bold.setBold(true);
    Lbl_Title->setFont(bold);
    m_stack = new QStackedWidget(right);
    Pic_Label = new LabelPictureView(m_stack);
    Pic_Label->setAccessibleName(QStringLiteral("Label picture"));
    Lbl_Reason = plainLabel(m_stack);
    Lbl_Reason->setWordWrap(true);
    Lbl_Reason->setAlignment(Qt::AlignCenter);
    m_stack->addWidget(Pic_Label);
    m_stack->addWidget(Lbl_Reason);
    Lst_Problems = new QListWidget(right);
    Lst_Problems->setAccessibleName(QStringLiteral("Problems of the label shown"));
    Lst_Problems->setWordWrap(true);
    Lst_Problems->setMaximumHeight(6 * Lst_Problems->fontMetrics().lineSpacing());
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(Lbl_Title);
    rightLayout->addWidget(m_stack, 1);
    rightLayout->addWidget(Lst_Problems);

    auto* split = new QSplitter(this);
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    split->setSizes({300, 660});
    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->addWidget(split);
    setCentralWidget(central);

    Lbl_Status = plainLabel(statusBar());
    Lbl_Status->setAccessibleName(QStringLiteral("Printer status"));
    statusBar()->addWidget(Lbl_Status, 1);

    buildMenus();
    setTabOrder(Lst_Labels, Lst_Problems);
    Lst_Labels->setFocus();

    connect(Lst_Labels->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { currentChanged(current); });
    m_look.setSingleShot(true);
    m_look.setInterval(kLookMs);
    connect(&m_look, &QTimer::timeout, this, &Frm_Printer::look);
    m_host.setEventListener([this](const QString& kind, const PrinterLog::Fields& fields) {
        m_activity.event(kind, fields);
        scheduleLook();
    });
    m_host.setLabelListener([this](quint64 number, const QString& words, const QList<QRect>& pastEdges) {
        m_activity.labelDrawn(number, words, pastEdges);
    });
    look();
}

Frm_Printer::~Frm_Printer()
{
    m_host.setEventListener(nullptr);
    m_host.setLabelListener(nullptr);
}

void Frm_Printer::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    Mnu_SaveAs = file->addAction(QStringLiteral("&Save Label As…"), this, &Frm_Printer::saveAs);
    Mnu_SaveAs->setShortcut(QKeySequence::SaveAs);
    Mnu_SaveAs->setStatusTip(QStringLiteral("Save the label shown as a PNG picture or a PDF the label's size"));
    file->addSeparator();
    Mnu_Quit = file->addAction(QStringLiteral("&Quit"), qApp, &QApplication::quit);
    Mnu_Quit->setShortcut(QKeySequence::Quit);
    Mnu_Quit->setStatusTip(QStringLiteral("Stop the printer and close the window"));

    QMenu* printer = menuBar()->addMenu(QStringLiteral("&Printer"));
    auto* faults = new QActionGroup(this);
    faults->setExclusive(true);
    const auto faultAction = [&](const QString& text, PrinterFault fault, const QString& tip) {
        QAction* action = printer->addAction(text);
        action->setCheckable(true);
        action->setStatusTip(tip);
        faults->addAction(action);
        // Triggered only by the person: a fault set on standard input moves the check without coming back.
        connect(action, &QAction::triggered, this, [this, fault] {
            m_host.setFault(fault);
            lookNow();
        });
        return action;
    };
    Mnu_Ready = faultAction(QStringLiteral("&Ready"), PrinterFault::None,
                            QStringLiteral("Print: clear the fault and print the labels held"));
    Mnu_HeadOpen = faultAction(QStringLiteral("&Head Open"), PrinterFault::HeadOpen,
                               QStringLiteral("Hold the labels as with the print head open"));
    Mnu_PaperOut = faultAction(QStringLiteral("Paper &Out"), PrinterFault::PaperOut,
                               QStringLiteral("Hold the labels as with the paper or ribbon out"));
    Mnu_Paused = faultAction(QStringLiteral("P&aused"), PrinterFault::Paused,
                             QStringLiteral("Hold the labels as a paused printer does"));
    printer->addSeparator();
    Mnu_Forget = printer->addAction(QStringLiteral("&Forget Stored Forms and Graphics"), this, [this] {
        m_host.forgetStored();
        lookNow();
    });
    Mnu_Forget->setStatusTip(
        QStringLiteral("Clear the forms (FS), graphics (GM) and soft fonts (ES) the printer keeps"));
    Mnu_OpenFolder = printer->addAction(QStringLiteral("Open Fol&der"), this, &Frm_Printer::openFolder);
    Mnu_OpenFolder->setStatusTip(QStringLiteral("Open the folder the pictures are written into"));
    checkFault();
}

void Frm_Printer::scheduleLook()
{
    if (!m_look.isActive())
        m_look.start();
}

void Frm_Printer::lookNow()
{
    m_look.stop();
    look();
}

void Frm_Printer::look()
{
    const QList<ReceivedLabel> arrived = m_activity.takeArrived();
    const QHash<quint64, QStringList> late = m_activity.takeLateProblems();
    const QModelIndex before = Lst_Labels->currentIndex();
    m_selecting = true;
    m_labels.add(arrived);
    m_selecting = false;
    const QModelIndex current = Lst_Labels->currentIndex();
    // The person's label went past the newest thousand: back to following.
    if (before.isValid() && (!current.isValid() || m_labels.at(current.row()).number != m_shownNumber))
        m_followNewest = true;
    if (m_labels.rowCount() > 0 && (m_followNewest || !current.isValid())) {
        m_selecting = true;
        Lst_Labels->setCurrentIndex(m_labels.index(0, 0));
        Lst_Labels->scrollToTop();
        m_selecting = false;
    }
    const int row = Lst_Labels->currentIndex().isValid() ? Lst_Labels->currentIndex().row() : -1;
    const bool moreProblems = m_labels.addProblems(late, row);
    if (row < 0 || m_labels.at(row).number != m_shownNumber || moreProblems)
        showLabel(row);
    checkFault();
    showStatus();
}

void Frm_Printer::currentChanged(const QModelIndex& current)
{
    if (m_selecting)
        return;
    // Stepping back to the newest follows the newest again.
    m_followNewest = !current.isValid() || current.row() == 0;
    showLabel(current.isValid() ? current.row() : -1);
}

void Frm_Printer::showLabel(int row)
{
    Lst_Problems->clear();
    if (row < 0) {
        m_shownNumber = 0;
        const QStringList where = m_host.listeningOn();
        Lbl_Title->setText(QStringLiteral("No label yet"));
        Lbl_Reason->setText(where.isEmpty() ? QStringLiteral("No label has been printed.")
                                            : QStringLiteral("Labels sent to %1 appear here as they are printed.")
                                                  .arg(where.join(QStringLiteral(" or "))));
        Pic_Label->setPicture(QImage(), {}, QString());
        m_stack->setCurrentWidget(Lbl_Reason);
        Mnu_SaveAs->setEnabled(false);
        return;
    }
    const ReceivedLabel& label = m_labels.at(row);
    m_shownNumber = label.number;
    const int dpi = m_host.dpi();
    const QString title = QStringLiteral("Label %1: %2 by %3 dots, %4 by %5 mm at %6 dpi, stream %7 line %8, %9")
                              .arg(label.number)
                              .arg(label.dots.width())
                              .arg(label.dots.height())
                              .arg(millimetres(label.dots.width(), dpi), millimetres(label.dots.height(), dpi))
                              .arg(dpi)
                              .arg(label.stream)
                              .arg(label.line)
                              .arg(label.time.toString(QStringLiteral("HH:mm:ss")));
    Lbl_Title->setText(title);
    for (const QString& problem : label.problems)
        Lst_Problems->addItem(problem);
    if (label.problems.isEmpty())
        Lst_Problems->addItem(QStringLiteral("No problem was logged for this label."));

    // Read only now that it is shown: the list holds no pictures.
    const QString path = QDir(m_host.outFolder()).filePath(label.file);
    QImage picture(path);
    if (picture.isNull()) {
        Lbl_Reason->setText(QFileInfo::exists(path)
                                ? QStringLiteral("%1 cannot be read as a picture.").arg(visibleForMessage(path))
                                : QStringLiteral("%1 is no longer in the folder.").arg(visibleForMessage(path)));
        Pic_Label->setPicture(QImage(), {}, QString());
        m_stack->setCurrentWidget(Lbl_Reason);
        Mnu_SaveAs->setEnabled(false);
        return;
    }
    // Pictures drawn at --scale pixels per dot are shown at one pixel per dot, then enlarged as any other.
    if (picture.size() != label.dots && !label.dots.isEmpty())
        picture = picture.scaled(label.dots, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QString words = title;
    if (!label.fieldsInWords.isEmpty())
        words += QStringLiteral(", ") + label.fieldsInWords;
    if (!label.problems.isEmpty())
        words += QStringLiteral("; ") + label.problems.join(QStringLiteral("; "));
    Pic_Label->setPicture(picture, label.pastEdges, words);
    m_stack->setCurrentWidget(Pic_Label);
    Mnu_SaveAs->setEnabled(true);
}

void Frm_Printer::checkFault()
{
    switch (m_host.fault()) {
    case PrinterFault::None:
        Mnu_Ready->setChecked(true);
        break;
    case PrinterFault::HeadOpen:
        Mnu_HeadOpen->setChecked(true);
        break;
    case PrinterFault::PaperOut:
        Mnu_PaperOut->setChecked(true);
        break;
    case PrinterFault::Paused:
        Mnu_Paused->setChecked(true);
        break;
    }
}

void Frm_Printer::showStatus()
{
    QStringList parts;
    const QStringList where = m_host.listeningOn();
    parts << (where.isEmpty() ? QStringLiteral("Drawing job files")
                              : QStringLiteral("Listening on %1").arg(where.join(QStringLiteral(" and "))));
    const QMap<quint64, QString>& receiving = m_activity.receiving();
    if (receiving.isEmpty()) {
        parts << QStringLiteral("idle");
    } else {
        QStringList from;
        for (auto each = receiving.constBegin(); each != receiving.constEnd(); ++each)
            from << QStringLiteral("%1 (stream %2)").arg(safeMessageLine(each.value(), 80)).arg(each.key());
        parts << QStringLiteral("receiving from %1").arg(from.join(QStringLiteral(", ")));
    }
    parts << QStringLiteral("%1 drawn").arg(counted(qint64(m_activity.labelsPrinted()), "label"));
    parts << QStringLiteral("%1, %2, %3 stored")
                 .arg(counted(m_host.storedForms(), "form"), counted(m_host.storedGraphics(), "graphic"),
                      counted(m_host.storedSoftFonts(), "soft font"));
    QString fault;
    switch (m_host.fault()) {
    case PrinterFault::None:
        fault = QStringLiteral("ready");
        break;
    case PrinterFault::HeadOpen:
        fault = QStringLiteral("head open");
        break;
    case PrinterFault::PaperOut:
        fault = QStringLiteral("paper out");
        break;
    case PrinterFault::Paused:
        fault = QStringLiteral("paused");
        break;
    }
    if (m_activity.labelsHeld() > 0)
        fault += QStringLiteral(", %1 held").arg(counted(m_activity.labelsHeld(), "label"));
    parts << fault;
    Lbl_Status->setText(parts.join(QStringLiteral(" · ")));
    Lbl_Status->setAccessibleDescription(Lbl_Status->text());
}

QString Frm_Printer::saveShownLabel(const QString& path) const
{
    const int row = Lst_Labels->currentIndex().isValid() ? Lst_Labels->currentIndex().row() : -1;
    if (row < 0)
        return QStringLiteral("no label is shown");
    const ReceivedLabel& label = m_labels.at(row);
    const QString from = QDir(m_host.outFolder()).filePath(label.file);
    if (path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
        const QImage picture(from);
        if (picture.isNull())
            return QStringLiteral("cannot read %1").arg(visibleForMessage(from));
        return writeLabelPdf(path, picture, label.dots, m_host.dpi());
    }
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(visibleForMessage(from), source.errorString());
    return writeWholeFile(path, source.readAll());
}

void Frm_Printer::saveAs()
{
    const int row = Lst_Labels->currentIndex().isValid() ? Lst_Labels->currentIndex().row() : -1;
    if (row < 0)
        return;
    const QString pngFilter = QStringLiteral("PNG picture (*.png)");
    const QString pdfFilter = QStringLiteral("PDF document, the label's size (*.pdf)");
    QString chosenFilter = pngFilter;
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Label As"),
                                                QDir::home().filePath(m_labels.at(row).file),
                                                pngFilter + QStringLiteral(";;") + pdfFilter, &chosenFilter);
    if (path.isEmpty())
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("pdf"))
        path += chosenFilter == pdfFilter ? QStringLiteral(".pdf") : QStringLiteral(".png");
    const QString problem = saveShownLabel(path);
    if (!problem.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Save Label As"), problem);
    else
        statusBar()->showMessage(QStringLiteral("Saved %1").arg(visibleForMessage(path)), 5000);
}

void Frm_Printer::openFolder()
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(m_host.outFolder())))
        statusBar()->showMessage(QStringLiteral("The folder %1 cannot be opened: the system has no program for it")
                                     .arg(visibleForMessage(m_host.outFolder())),
                                 10000);
}
