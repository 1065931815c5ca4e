#pragma once

#include "printing/composed_job.h"
#include "printing/label_settings.h"
#include "render/label_render.h"
#include "windows/label_picture_view.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class QLabel;
class QStackedWidget;

// The first label of the job Print would send for `settings`, drawn from the job's bytes, or why there is
// none. Built without widgets.
struct LabelPicture
{
    ComposedJob job;
    QString title;        // "3M label, 150 by 86 dots"
    RenderedLabel label;  // one pixel per dot; meaningful only when `reason` is empty
    QString reason;       // why nothing can be drawn: the job cannot be composed, or not drawn
    QList<int> outlined;  // fields (indexes into label.fields) that run past an edge
    QStringList overruns; // "Item runs 30 dots past the bottom edge", one per field and edge
    QString description;  // the whole picture in words, for a screen reader
    bool ok() const { return reason.isEmpty(); }
};
LabelPicture labelPictureOf(const LabelSettings& settings);

// A window of its own beside the main window that shows the picture of the label Print would send now, and
// follows the main window as it changes. Escape closes it.
class Frm_LabelPicture : public QWidget
{
    Q_OBJECT
public:
    // `settings` reads the main window's state; `parent` is the main window, which the picture stays above.
    Frm_LabelPicture(QWidget* parent, std::function<LabelSettings()> settings);

    // Places the window beside `frame` (the main window's frame), right or left, narrowed to the room there, so
    // that neither hides the other; where neither side has room, at the screen's right edge, over the right of
    // the main window where its small preview panel is.
    void placeBeside(const QRect& frame);

    // Something the job depends on changed: the picture is drawn again once, after the handler that
    // changed it, however many changes it made.
    void scheduleRefresh();
    // Draws the picture of the main window's state now.
    void refresh();

    // What is shown.
    const LabelPicture& picture() const { return m_picture; }

    QLabel* Lbl_Title = nullptr;
    LabelPictureView* Pic_Label = nullptr;
    QLabel* Lbl_Reason = nullptr;
    QLabel* Lbl_Overruns = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::function<LabelSettings()> m_settings;
    QStackedWidget* m_stack = nullptr;
    LabelPicture m_picture;
    bool m_refreshPending = false;
};
