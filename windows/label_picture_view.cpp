#include "windows/label_picture_view.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

namespace {

// Room kept around the label for fields that run past its edges, in dots at most: the main window's nudge
// buttons keep its fields well inside it, and a field farther out is framed where the room ends.
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

LabelPictureView::LabelPictureView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel is painted: nothing to clear first, no flicker
    setMinimumSize(160, 120);
    setAccessibleName(QStringLiteral("Label picture"));
}

void LabelPictureView::setPicture(const QImage& dots, const QList<QRect>& outlines, const QString& description)
{
    // The enlarging reads one byte per dot.
    m_image = dots.format() == QImage::Format_Grayscale8 ? dots : dots.convertToFormat(QImage::Format_Grayscale8);
    m_enlarged = QImage();
    m_outlines = m_image.isNull() ? QList<QRect>() : outlines;
    setAccessibleDescription(description);
    update();
}

QRect LabelPictureView::extentInDots() const
{
    const QRect label(QPoint(0, 0), m_image.size());
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
    return m_image.isNull() ? QRect() : toPixels(QRect(QPoint(0, 0), m_image.size()));
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
