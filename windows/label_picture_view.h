#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>

// The picture of a label scaled by a whole number so that every dot is a square of pixels: the label's
// edges, a one-dot grid when the dots are large, and a red outline around each field that runs past an edge.
// The view leaves room around the label for those fields. Both the main window's label picture and the
// virtual printer's window show labels through it; it needs nothing but QtWidgets.
class LabelPictureView : public QWidget
{
    Q_OBJECT
public:
    explicit LabelPictureView(QWidget* parent);
    // `dots` is the label at one pixel per dot, black (0) and white (255), in any format QImage converts to
    // grey; `outlines` are the fields to frame in red, in dots; `description` is the picture in words, for a
    // screen reader. A null image shows the desk alone.
    void setPicture(const QImage& dots, const QList<QRect>& outlines, const QString& description);
    // What is shown, one pixel per dot, Format_Grayscale8; null with no picture.
    const QImage& dots() const { return m_image; }
    // Pixels per dot at the current size; 0 with no picture.
    int zoom() const;
    // Where the label's dots are drawn, in pixels of the view; dot (x, y) is the zoom by zoom square at
    // labelPixels().topLeft() + (x, y) * zoom.
    QRect labelPixels() const;
    // Pixels per dot from which the grid is drawn.
    static constexpr int kGridZoom = 8;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect extentInDots() const;
    // Pixels of a rectangle in dots.
    QRect toPixels(const QRect& dots) const;

    QImage m_image;          // the label, one pixel per dot
    QImage m_enlarged;       // m_image at the zoom it was last painted at, with its grid
    QList<QRect> m_outlines; // in dots
};
