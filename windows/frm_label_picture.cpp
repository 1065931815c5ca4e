#include "windows/frm_label_picture.h"

#include "printing/epl2_job.h"
#include "printing/presets.h"
#include "render/job_fields.h"
#include "windows/toolkit.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace {

// Room kept around the label for fields that run past its edges, in dots at most; positions are bounded by
// the nudge buttons, so the fields of this program stay well inside it.
constexpr int kMaxOverhang = 64;
// Pixels between the picture and the edge of its view.
constexpr int kMargin = 8;
// Larger dots than this only make the picture harder to take in.
constexpr int kMaxZoom = 40;

const QColor kDesk(0x9A, 0x9A, 0x9A);
const QColor kEdge(0x20, 0x50, 0xC0);
// The grid line over a white dot and over a black one: mid grey laid on at 44 %.
constexpr QRgb kPaper = 0xFFFFFFFF;
constexpr QRgb kInk = 0xFF000000;
constexpr QRgb kPaperLine = 0xFFC7C7C7;
constexpr QRgb kInkLine = 0xFF383838;
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

// Every dot of a picture drawn one pixel per dot (black 0, white 255) as a square of zoom by zoom pixels;
// with the grid, the first column and row of every square after the first are the grid line. Built once per
// picture and zoom, so that painting is a plain copy.
QImage enlargedWithGrid(const QImage& dots, int zoom, bool grid)
{
    QImage pixels(dots.width() * zoom, dots.height() * zoom, QImage::Format_RGB32);
    for (int dotY = 0; dotY < dots.height(); ++dotY) {
        const uchar* from = dots.constScanLine(dotY);
        const int top = dotY * zoom;
        auto* plain = reinterpret_cast<QRgb*>(pixels.scanLine(top));
        for (int x = 0; x < pixels.width(); ++x) {
            const bool black = from[x / zoom] == 0;
            const bool line = grid && x >= zoom && x % zoom == 0;
            plain[x] = black ? (line ? kInkLine : kInk) : (line ? kPaperLine : kPaper);
        }
        for (int y = top + 1; y < top + zoom; ++y)
            std::memcpy(pixels.scanLine(y), plain, size_t(pixels.bytesPerLine()));
        if (grid && dotY > 0) {
            for (int x = 0; x < pixels.width(); ++x)
                plain[x] = from[x / zoom] == 0 ? kInkLine : kPaperLine;
        }
    }
    return pixels;
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

LabelPictureView::LabelPictureView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel is painted: nothing to clear first, no flicker
    setMinimumSize(160, 120);
    setAccessibleName(QStringLiteral("Label picture"));
}

void LabelPictureView::setPicture(const LabelPicture& picture)
{
    m_image = picture.ok() ? picture.label.image : QImage();
    m_dots = picture.ok() ? picture.label.dots : QSize();
    m_enlarged = QImage();
    m_outlines.clear();
    for (int field : picture.outlined)
        m_outlines << picture.label.fields.at(field).ink;
    setAccessibleDescription(picture.description);
    update();
}

QRect LabelPictureView::extentInDots() const
{
    const QRect label(QPoint(0, 0), m_dots);
    QRect extent = label;
    for (const QRect& outline : m_outlines)
        extent |= outline;
    // One dot of room on every side for the edge line and the outlines, which lie just outside what they frame.
    return extent.intersected(label.adjusted(-kMaxOverhang, -kMaxOverhang, kMaxOverhang, kMaxOverhang))
        .adjusted(-1, -1, 1, 1);
}

int LabelPictureView::zoom() const
{
    if (m_image.isNull())
        return 0;
    const QRect extent = extentInDots();
    const int across = (width() - 2 * kMargin) / extent.width();
    const int down = (height() - 2 * kMargin) / extent.height();
    return std::clamp(std::min(across, down), 1, kMaxZoom);
}

QRect LabelPictureView::toPixels(const QRect& dots) const
{
    // The extent centred in the view, each dot `z` by `z` pixels.
    const int z = zoom();
    const QRect extent = extentInDots();
    const QPoint origin = rect().center() - QPoint(extent.width() * z, extent.height() * z) / 2 -
                          QPoint(extent.left() * z, extent.top() * z);
    return QRect(origin + dots.topLeft() * z, dots.size() * z);
}

QRect LabelPictureView::labelPixels() const
{
    return m_image.isNull() ? QRect() : toPixels(QRect(QPoint(0, 0), m_dots));
}

void LabelPictureView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), kDesk);
    if (m_image.isNull())
        return;

    const int z = zoom();
    const QRect label = labelPixels();

    if (m_enlarged.isNull() || m_enlarged.size() != label.size())
        m_enlarged = enlargedWithGrid(m_image, z, z >= kGridZoom);
    painter.drawImage(label.topLeft(), m_enlarged);

    // Frames drawn on the pixels just outside what they frame, so that no dot is covered.
    const auto frame = [&painter](const QRect& pixels, const QColor& color, int width) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        const QRect outer = pixels.adjusted(-width, -width, width, width);
        painter.drawRect(outer.left(), outer.top(), outer.width(), width);
        painter.drawRect(outer.left(), pixels.bottom() + 1, outer.width(), width);
        painter.drawRect(outer.left(), pixels.top(), width, pixels.height());
        painter.drawRect(pixels.right() + 1, pixels.top(), width, pixels.height());
    };
    frame(label, kEdge, 1);
    for (const QRect& outline : std::as_const(m_outlines))
        frame(toPixels(outline), kOverrun, std::max(1, std::min(2, z / 2)));
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
    Pic_Label->setPicture(m_picture);
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
