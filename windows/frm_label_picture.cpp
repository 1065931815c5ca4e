#include "windows/frm_label_picture.h"

#include "printing/epl2_job.h"
#include "printing/presets.h"
#include "render/job_fields.h"
#include "windows/toolkit.h"

#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

const QColor kOverrun(0xE0, 0x00, 0x00);

QString spanText(int first, int last)
{
    return first == last ? QString::number(first) : QStringLiteral("%1 to %2").arg(first).arg(last);
}

// "Item AB1234 at x 88 to 99, y 100 to 147" or "Data empty".
QString fieldInWords(const LabelPicture& picture, int index)
{
    const RenderedField& field = picture.label.fields.at(index);
    const QString name = fieldNameIn(picture.job, picture.label, index);
    const QString text = field.text.trimmed();
    if (text.isEmpty())
        return name + QStringLiteral(" empty");
    return QStringLiteral("%1 %2 at x %3, y %4")
        .arg(name, text, spanText(field.cells.left(), field.cells.right()),
             spanText(field.cells.top(), field.cells.bottom()));
}

} // namespace

LabelPicture labelPictureOf(const LabelSettings& settings)
{
    LabelPicture picture;
    picture.job = composeJob(settings);
    const QString size = labelSizeName(settings.size);
    const QString kind = jobKindFor(settings) == JobKind::TwoMFiveAcross ? QStringLiteral(" five-across") : QString();
    picture.title = (size.isEmpty() ? QStringLiteral("Label") : size + kind + QStringLiteral(" label"));
    if (!picture.job.ok()) {
        picture.reason = QStringLiteral("No picture: Print would refuse this label.\n\n%1").arg(picture.job.cause());
        picture.description = picture.title + QStringLiteral(", no picture: ") + picture.job.cause();
        return picture;
    }

    RenderResult drawn = renderJob(picture.job.bytes);
    if (!drawn.error.isEmpty())
        picture.reason = QStringLiteral("No picture: %1.").arg(drawn.error);
    else if (drawn.labels.isEmpty())
        picture.reason = QStringLiteral("No picture: the job prints no label.");
    if (!picture.ok()) {
        picture.description = picture.title + QStringLiteral(", ") + picture.reason;
        return picture;
    }

    picture.label = std::move(drawn.labels.first());
    const RenderedLabel& label = picture.label;
    picture.title += QStringLiteral(", %1 by %2 dots").arg(label.dots.width()).arg(label.dots.height());
    for (const EdgeOverrun& overrun : label.overruns) {
        picture.overruns << describeFieldOverrun(picture.job, label, overrun);
        if (!picture.outlined.contains(overrun.field))
            picture.outlined << overrun.field;
    }
    // Jobs of this program are always understood; were one not, the picture would not be the whole truth.
    for (const JobNote& note : std::as_const(drawn.notUnderstood))
        picture.overruns << QStringLiteral("job line %1 not understood: %2").arg(note.line).arg(note.text);

    QStringList words{picture.title};
    for (int i = 0; i < label.fields.size(); ++i)
        words << fieldInWords(picture, i);
    picture.description = words.join(QStringLiteral(", "));
    if (!picture.overruns.isEmpty())
        picture.description += QStringLiteral("; ") + picture.overruns.join(QStringLiteral("; "));
    return picture;
}

Frm_LabelPicture::Frm_LabelPicture(QWidget* parent, std::function<LabelSettings()> settings)
    : QWidget(parent, Qt::Window), m_settings(std::move(settings))
{
    setObjectName(QStringLiteral("Frm_LabelPicture"));
    setWindowTitle(QStringLiteral("Label Picture"));
    resize(680, 600); // 2M five-across at 2 pixels per dot, 9M at 3

    Lbl_Title = new QLabel(this);
    Lbl_Title->setTextFormat(Qt::PlainText);
    Lbl_Title->setFont(uiFont(11.25, true));

    m_stack = new QStackedWidget(this);
    Pic_Label = new LabelPictureView(m_stack);
    Lbl_Reason = new QLabel(m_stack);
    Lbl_Reason->setTextFormat(Qt::PlainText);
    Lbl_Reason->setWordWrap(true);
    Lbl_Reason->setAlignment(Qt::AlignCenter);
    Lbl_Reason->setFont(uiFont(12, true));
    m_stack->addWidget(Pic_Label);
    m_stack->addWidget(Lbl_Reason);

    Lbl_Overruns = new QLabel(this);
    Lbl_Overruns->setTextFormat(Qt::PlainText);
    Lbl_Overruns->setWordWrap(true);
    Lbl_Overruns->setFont(uiFont(11.25, true));
    Lbl_Overruns->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for a few lines, so that the picture does not change size as fields come and go past the edges.
    Lbl_Overruns->setMinimumHeight(3 * Lbl_Overruns->fontMetrics().lineSpacing());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Lbl_Title);
    layout->addWidget(m_stack, 1);
    layout->addWidget(Lbl_Overruns);
}

void Frm_LabelPicture::placeBeside(const QRect& frame)
{
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
    if (!screen)
        return;
    constexpr int kGap = 8;
    constexpr int kNarrowest = 400;
    const QRect available = screen->availableGeometry();
    const int right = available.right() - frame.right() - kGap;
    const int left = frame.left() - kGap - available.left();
    QRect placed(frame.topLeft(), frameSize());
    if (right >= kNarrowest) {
        placed.setWidth(std::min(placed.width(), right));
        placed.moveLeft(frame.right() + 1 + kGap);
    } else if (left >= kNarrowest) {
        placed.setWidth(std::min(placed.width(), left));
        placed.moveRight(frame.left() - 1 - kGap);
    } else {
        placed.moveRight(available.right());
    }
    placed.moveBottom(std::min(placed.bottom(), available.bottom()));
    resize(size() - (frameSize() - placed.size()));
    move(placed.topLeft());
}

void Frm_LabelPicture::scheduleRefresh()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_refreshPending)
                refresh();
        },
        Qt::QueuedConnection);
}

void Frm_LabelPicture::refresh()
{
    m_refreshPending = false;
    m_picture = labelPictureOf(m_settings());
    Lbl_Title->setText(m_picture.title);
    QList<QRect> outlines;
    for (int field : std::as_const(m_picture.outlined))
        outlines << m_picture.label.fields.at(field).ink;
    Pic_Label->setPicture(m_picture.ok() ? m_picture.label.image : QImage(), outlines, m_picture.description);
    Lbl_Reason->setText(m_picture.reason);
    m_stack->setCurrentWidget(m_picture.ok() ? static_cast<QWidget*>(Pic_Label) : Lbl_Reason);
    const bool overrun = !m_picture.overruns.isEmpty();
    Lbl_Overruns->setText(overrun          ? m_picture.overruns.join(QLatin1Char('\n'))
                          : m_picture.ok() ? QStringLiteral("Every field lies on the label.")
                                           : QString());
    QPalette colours = palette();
    if (overrun)
        colours.setColor(QPalette::WindowText, kOverrun);
    Lbl_Overruns->setPalette(colours);
}

void Frm_LabelPicture::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Frm_LabelPicture::showEvent(QShowEvent* event)
{
    // While hidden it followed nothing.
    refresh();
    QWidget::showEvent(event);
}
